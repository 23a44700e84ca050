#pragma once
// A label whose text stays whole while only what fits is shown: a file's path gives way in
// the middle ("/home/ann/Docu…/events-1.LG2"), so that the file's own name stays in sight;
// a message at its end. The whole text shows as the tool tip then, and the label never
// pushes its neighbours aside to make room for its text.

#include <QLabel>

namespace kfc::app {

class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(Qt::TextElideMode mode = Qt::ElideMiddle, QWidget* parent = nullptr)
        : QLabel(parent), m_mode(mode)
    {
    }
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    QString shownText() const;

    Qt::TextElideMode m_mode;
};

} // namespace kfc::app
