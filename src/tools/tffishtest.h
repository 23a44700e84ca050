#pragma once
// "Send Dummy Fish": the counter registers a test fish on a chosen enabled channel in a
// chosen direction. Outside continuous update the status is read again after each fish,
// and the dialog stays open for the next one; during continuous update the fish shows in
// the status window's event list and the dialog closes at once.

#include "tooldialog.h"

#include "counter/dummyfish.h"

#include <QList>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace kfc {
class Link;
}

namespace kfc::app {
class RadioGroup;
class StatusAccess;
}

namespace kfc::tools {

class TfFishTest : public ToolDialog {
    Q_OBJECT
public:
    TfFishTest(Link& link, app::StatusAccess& status, QWidget* parent = nullptr);

    static int open(Link& link, app::StatusAccess& status);

    // "&Exit" closes the dialog with this result.
    static constexpr int kAbort = 3;

    void FormActivate() override;
    void OKBtnClick();

private:
    // Sends the fish and, outside continuous update, reads the status again.
    void insertFish(int channel, FishDirection fish);

    Link& m_link;
    app::StatusAccess& m_status;
    app::RadioGroup* m_rgChannel = nullptr;
    QList<int> m_channels;   // the channel number of each item of rgChannel
    QVBoxLayout* m_channelPlace;
    app::RadioGroup* m_rgDirection;
    QLabel* m_labProgress;
    QPushButton* m_okBtn;
    QPushButton* m_cancelBtn;
};

} // namespace kfc::tools
