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
    // numbers is shown as an error; the channels read before it are shown, the others
    // are left empty and cannot be edited.
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
    // range is never sent by itself. A channel that was not read is shown empty, cannot be
    // edited and sends nothing.
    struct Shown {
        bool read = false;
        int length = 0;
        int depth = 0;
    };
    std::array<Shown, 4> m_shown{};
    bool m_readOnOpen = true;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* btnRead = nullptr;
};

} // namespace kfc::tools
