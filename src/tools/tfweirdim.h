#pragma once
// "Weir Dimensions": the length and depth the counter holds for each channel, read when
// the dialog opens (and again on "&Read"), changed entries sent on "&OK".

#include <QDialog>

#include <array>

class QPushButton;
class QSpinBox;

namespace kfc {
class Link;
struct WeirDimensions;
}

namespace kfc::tools {

class TfWeirDim : public QDialog {
    Q_OBJECT
public:
    TfWeirDim(Link& link, WeirDimensions& weir, QWidget* parent = nullptr);

    static inline const QString kCaption = QStringLiteral("Weir Dimensions");

    // Reads every channel and shows what the counter holds. A reply that does not hold the
    // numbers is shown as an error; the channels read before it are shown.
    void readFromCounter();
    void OKBtnClick();

    // The spin edit "seLength" or "seDepth" of channel n.
    QSpinBox* spinOf(const QString& prefix, int n) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Sends the changed entries ("&OK").
    void writeToCounter();
    void showEntries();
    void setBusy(bool busy);

    Link& m_link;
    WeirDimensions& m_weir;
    // What the dialog last showed, per channel. A channel counts as changed when the
    // operator moved a value away from it, so a value the spin edit had to bring into its
    // range, or a channel whose read failed, is never sent by itself.
    std::array<int, 4> m_shownLength{};
    std::array<int, 4> m_shownDepth{};
    bool m_readOnOpen = true;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* btnRead = nullptr;
};

} // namespace kfc::tools
