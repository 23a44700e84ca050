#pragma once
// Starts kestrova-sim as a separate process, so that the benchmark's CPU figure is the
// program's own and not the simulated counter's.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace kfc::bench {

class SimProcess {
public:
    // Starts the simulator with these extra arguments; returns its device path, or an
    // empty text (with the reason in *error).
    QString start(const QStringList& arguments, QString* error);
    ~SimProcess();

private:
    QProcess m_process;
};

// The CPU time this process has used, in seconds.
double processCpuSeconds();

// This process's resident memory in MB (Linux; 0 elsewhere).
double residentMb();

} // namespace kfc::bench
