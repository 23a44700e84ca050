#pragma once
// The debug log: a hidden window collecting the trace of every exchange with the counter
// ("Tx  " + command, "Rx  " + reply) for the whole run. The link has masked passwords
// and escaped control bytes before a line gets here. The log can be saved to a file,
// each line with the moment it was logged.

#include <QDateTime>
#include <QList>
#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace kfc::app {

class TfrmDebug : public QWidget {
    Q_OBJECT
public:
    explicit TfrmDebug(QWidget* parent = nullptr);

    QPlainTextEdit* Memo1() const { return m_memo; }
    QPushButton* btnSaveLog() const { return m_save; }
    void LogLine(const QString& text);

    // The log as saved: "yyyy-MM-dd hh:mm:ss.zzz  " + line, one line each.
    QString stampedText() const;
    // Asks for a file through the message-box service and writes the log there; false
    // when cancelled or not written (the failure is shown).
    bool saveLog();

private:
    QPlainTextEdit* m_memo;
    QPushButton* m_save;
    QList<QDateTime> m_stamps;  // one per line of m_memo
};

} // namespace kfc::app
