#pragma once
// The debug log: a hidden window collecting the trace of every exchange with the counter
// ("Tx  " + command, "Rx  " + reply) for the whole run.

#include <QWidget>

class QPlainTextEdit;

namespace kfc::app {

class TfrmDebug : public QWidget {
    Q_OBJECT
public:
    explicit TfrmDebug(QWidget* parent = nullptr);

    QPlainTextEdit* Memo1() const { return m_memo; }
    void LogLine(const QString& text);

private:
    QPlainTextEdit* m_memo;
};

} // namespace kfc::app
