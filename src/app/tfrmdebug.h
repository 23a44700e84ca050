#pragma once
// The debug log: a hidden window collecting the trace of every command sent to the counter
// ("Tx  " + command + the frame's time) and every reply ("Rx  " + reply) for the whole
// run. The link has masked passwords and escaped control bytes before a line gets here.
// The window keeps the latest lines only, and its first line then says how many older
// ones it dropped. The log can be saved to a file, each line with the moment it was logged.

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

    // Shows the window in front, on the screen of the main frame and wholly within it.
    void showWithinScreen();

    QPlainTextEdit* Memo1() const { return m_memo; }
    QPushButton* btnSaveLog() const { return m_save; }
    void LogLine(const QString& text);
    // A download of a full buffer logs two lines an event: beyond this the oldest go.
    static constexpr int kCapacity = 50000;

    // The log as saved: "yyyy-MM-dd hh:mm:ss.zzz  " + line, one line each, after the
    // notice of dropped lines when there is one.
    QString stampedText() const;
    // Asks for a file through the message-box service and writes the log there; false
    // when cancelled or not written (the failure is shown).
    bool saveLog();

protected:
    // Escape closes it, as it does a dialog.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void noteOldestLineDropped();

    QPlainTextEdit* m_memo;
    qint64 m_dropped = 0;       // while above 0, the memo's first line is the notice
    QPushButton* m_save;
    QList<QDateTime> m_stamps;  // one per logged line of m_memo
};

} // namespace kfc::app
