#pragma once
// SIGTERM, SIGINT and SIGHUP (systemctl stop, Ctrl+C, a shutdown) ask a run to stop: the
// work in hand is finished and recorded, the counter hung up, and the run ends. While the
// run hangs up, a second such signal ends the process at once. Elsewhere than on Unix
// nothing is caught.

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace kfc::cli {

class StopSignals : public QObject {
    Q_OBJECT
public:
    // Catches the signals for the object's life; only one may live at a time.
    StopSignals();
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // A stop was asked for: true from the moment the signal came, whatever runs.
    static bool requested();
    // The signal's name ("SIGTERM"), empty before one came.
    static QString signalName();

    // While set, a signal that is not the first ends the process at once with status 1.
    static void exitAtOnceOnAnother(bool on);

signals:
    // Told in the event loop after the signal, so that a pause can be ended.
    void stopRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace kfc::cli
