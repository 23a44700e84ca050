#pragma once
// The terminal's text view: paints a TerminalScreen in a fixed-pitch font, silver on
// black, with a block cursor, and turns typed keys into the bytes to send. It echoes
// nothing itself; what it shows comes only from the line.

#include "terminalscreen.h"

#include <QFont>
#include <QWidget>

namespace kfc::connect {

class TerminalView : public QWidget {
    Q_OBJECT
public:
    explicit TerminalView(QWidget* parent = nullptr);

    TerminalScreen& screen() { return m_screen; }
    const TerminalScreen& screen() const { return m_screen; }
    // Puts received bytes on the screen and repaints (once per turn of the event loop,
    // however many bursts arrive).
    void receive(const QByteArray& bytes);

    // The bytes a key press sends: Backspace is DEL (127); keys that make no character
    // send nothing.
    static QByteArray bytesForKey(int key, const QString& text);

    QSize sizeHint() const override;

signals:
    void typed(const QByteArray& bytes);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Tab is a character to send here, not a move to the next control.
    bool focusNextPrevChild(bool next) override;

private:
    TerminalScreen m_screen;
    QFont m_font;
    int m_lastBells = 0;
};

} // namespace kfc::connect
