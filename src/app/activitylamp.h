#pragma once
// A 16 x 16 activity lamp of the status bar: grey while unlit, its own colour while lit.

#include <QColor>
#include <QWidget>

namespace kfc::app {

class ActivityLamp : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool lit READ isLit WRITE setLit NOTIFY litChanged)
public:
    ActivityLamp(const QString& name, const QColor& litColour, QWidget* parent = nullptr);

    bool isLit() const { return m_lit; }
    void setLit(bool lit);
    QColor currentColour() const { return m_lit ? m_litColour : unlitColour(); }
    static QColor unlitColour() { return QColor(0x80, 0x80, 0x80); }

    static constexpr int kSize = 16;

signals:
    void litChanged(bool lit);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_litColour;
    bool m_lit = false;
};

} // namespace kfc::app
