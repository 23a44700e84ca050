// The status window's controls, their captions, items, ranges and defaults, and their
// layout. The window is kept compact for the main frame's default size; a scroll area
// lets a smaller frame reach every control instead of cutting them off.

#include "tfstatus.h"

#include "app/wheelguard.h"
#include "counter/counterstatus.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTableWidget>
#include <QTextDocument>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace kfc::status {

namespace {

constexpr int kGridColumnWidth = 40;
constexpr int kGridColumns = 1 + kProfilePointCount;
constexpr int kGridRows = 2;
// The continuous-update list shows at least this many lines, more when there is room.
constexpr int kMemoLines = 4;
// The earliest and latest day that the counter's two-digit year can hold.
const QDate kFirstCounterDay(1950, 1, 1);
const QDate kLastCounterDay(2049, 12, 31);

QLabel* makeLabel(const QString& text, QWidget* parent, QWidget* buddy = nullptr)
{
    auto* label = new QLabel(text, parent);
    if (buddy)
        label->setBuddy(buddy);
    return label;
}

QComboBox* makeCombo(const QString& name, const QStringList& items, QWidget* parent)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->addItems(items);
    combo->setCurrentIndex(0);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return combo;
}

QSpinBox* makeSpin(const QString& name, int minimum, int maximum, int initial, QWidget* parent)
{
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(minimum, maximum);
    spin->setValue(initial);
    spin->setAlignment(Qt::AlignRight);
    return spin;
}

// A spin edit of the channel rows. Thirteen of them share a row, so they go without
// arrows to fit the frame; the arrow keys, and the wheel once focused, still step them.
QSpinBox* makeChannelSpin(const QString& name, int minimum, int maximum, int initial, QWidget* parent)
{
    QSpinBox* spin = makeSpin(name, minimum, maximum, initial, parent);
    spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
    spin->setAlignment(Qt::AlignCenter);
    const int digits = int(QString::number(maximum).size());
    spin->setFixedWidth(spin->fontMetrics().horizontalAdvance(QString(digits, QLatin1Char('0'))) + 14);
    return spin;
}

// A read-only text without a border: a value the operator reads but never types.
QLineEdit* makeReadOnlyText(const QString& name, const QString& text, QWidget* parent)
{
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setFrame(false);
    edit->setFocusPolicy(Qt::NoFocus);
    edit->setAlignment(Qt::AlignRight);
    edit->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    return edit;
}

QPushButton* makeButton(const QString& name, const QString& caption, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

// A column title of the channel group.
QLabel* makeTitle(const QString& text, QWidget* parent)
{
    // A title of several words takes a line a word. Broken by hand, not wrapped: a wrapped
    // label makes the whole window's height follow its width, and the window would then
    // ask for the memo's full preferred height and scroll at its default size.
    auto* title = new QLabel(QString(text).replace(QLatin1Char(' '), QLatin1Char('\n')), parent);
    title->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    // Neighbouring titles never run into one another.
    title->setContentsMargins(1, 0, 1, 0);
    return title;
}

int digitsWidth(const QWidget& widget, int digits)
{
    return widget.fontMetrics().horizontalAdvance(QString(digits, QLatin1Char('0')));
}

} // namespace

void TfStatus::buildControls()
{
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("panStatusContent"));
    m_content = content;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(6, 2, 6, 0);
    layout->setSpacing(2);

    auto* top = new QHBoxLayout;
    top->setSpacing(12);
    top->addWidget(buildSettings());
    top->addWidget(buildCounterBox(), 1);
    layout->addLayout(top);
    m_profileRow = buildProfile();
    layout->addWidget(m_profileRow);
    // As wide as its columns: on a large frame an empty stretch of frame would follow them.
    layout->addWidget(buildChannels(), 0, Qt::AlignLeft);
    layout->addWidget(buildButtons(), 1);

    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("scrStatus"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    setWidget(scroll);

    eCondType = new QLineEdit(content);
    eCondType->setObjectName(QStringLiteral("eCondType"));
    eCondType->hide();

    // The wheel scrolls the window; it changes a value only in the focused control.
    app::keepWheelToFocusedControls(content);
    connectHandlers();
}

QWidget* TfStatus::buildSettings()
{
    auto* panel = new QWidget;
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    const QStringList disabledEnabled{QStringLiteral("Disabled"), QStringLiteral("Enabled")};

    cbPrinter = makeCombo(QStringLiteral("cbPrinter"), disabledEnabled, panel);
    cbEvents = makeCombo(QStringLiteral("cbEvents"), disabledEnabled, panel);
    cbRelay = makeCombo(QStringLiteral("cbRelay"), {QStringLiteral("Delayed"), QStringLiteral("Instant")}, panel);
    cbLogging = makeCombo(QStringLiteral("cbLogging"), disabledEnabled, panel);
    cbBuffer = makeCombo(QStringLiteral("cbBuffer"), {QStringLiteral("Linear"), QStringLiteral("Circular")}, panel);
    cbAlgorithm = makeCombo(QStringLiteral("cbAlgorithm"), {QStringLiteral("Slow"), QStringLiteral("Fast")}, panel);
    cbContOutput = makeCombo(QStringLiteral("cbContOutput"), disabledEnabled, panel);
    // Reversed, as the counter holds it: 0 is enabled.
    cbDump = makeCombo(QStringLiteral("cbDump"), {QStringLiteral("Enabled"), QStringLiteral("Disabled")}, panel);
    cbMaxSize = makeCombo(QStringLiteral("cbMaxSize"), {QStringLiteral("100"), QStringLiteral("127")}, panel);
    seLengthComp = makeSpin(QStringLiteral("seLengthComp"), 20, 500, 20, panel);

    const QList<std::pair<QString, QWidget*>> left{{QStringLiteral("Printer"), cbPrinter},
                                                   {QStringLiteral("Events"), cbEvents},
                                                   {QStringLiteral("Relay"), cbRelay},
                                                   {QStringLiteral("Event Logging"), cbLogging},
                                                   {QStringLiteral("Buffer"), cbBuffer}};
    const QList<std::pair<QString, QWidget*>> right{{QStringLiteral("Algorithm"), cbAlgorithm},
                                                    {QStringLiteral("Cont. Output"), cbContOutput},
                                                    {QStringLiteral(" Dump"), cbDump},
                                                    {QStringLiteral("Max Size"), cbMaxSize},
                                                    {QStringLiteral("Length Comp."), seLengthComp}};
    for (int row = 0; row < int(left.size()); ++row) {
        grid->addWidget(makeLabel(left[row].first, panel, left[row].second), row, 0);
        grid->addWidget(left[row].second, row, 1);
        grid->addWidget(makeLabel(right[row].first, panel, right[row].second), row, 2);
        grid->addWidget(right[row].second, row, 3);
    }
    grid->setColumnMinimumWidth(2, 0);
    return panel;
}

QWidget* TfStatus::buildCounterBox()
{
    auto* panel = new QWidget;
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);

    labVersion = makeLabel(QStringLiteral("Counter Version: "), panel);
    labVersion->setObjectName(QStringLiteral("labVersion"));
    labEvents = makeLabel(QStringLiteral("There are 0 events in the buffer"), panel);
    labEvents->setObjectName(QStringLiteral("labEvents"));

    dtpDate = new QDateEdit(panel);
    dtpDate->setObjectName(QStringLiteral("dtpDate"));
    dtpDate->setDisplayFormat(QStringLiteral("dd MMMM yyyy"));
    dtpDate->setCalendarPopup(true);
    dtpDate->setDateRange(kFirstCounterDay, kLastCounterDay);
    dtpDate->setDate(QDate::currentDate());
    dtpTime = new QTimeEdit(panel);
    dtpTime->setObjectName(QStringLiteral("dtpTime"));
    dtpTime->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    dtpTime->setTime(QTime::currentTime());
    bbtnSyncTime = makeButton(QStringLiteral("bbtnSyncTime"), QStringLiteral("S&ync Time"), panel);
    bbtnSyncTime->setToolTip(QStringLiteral("Synchronize counter to PC date and time"));

    labCond = makeLabel(QStringLiteral("Conductivity Table Value "), panel);
    labCond->setObjectName(QStringLiteral("labCond"));
    eCond = makeReadOnlyText(QStringLiteral("eCond"), QString(), panel);
    eCond->setAlignment(Qt::AlignLeft);
    eCond->setFixedWidth(digitsWidth(*eCond, 5));

    grid->addWidget(labVersion, 0, 0, 1, 3);
    grid->addWidget(labEvents, 1, 0, 1, 3);
    grid->addWidget(dtpDate, 2, 0, 1, 2);
    grid->addWidget(dtpTime, 3, 0);
    grid->addWidget(bbtnSyncTime, 3, 1);
    grid->addWidget(labCond, 4, 0);
    grid->addWidget(eCond, 4, 1);
    grid->setColumnStretch(2, 1);
    return panel;
}

QWidget* TfStatus::buildProfile()
{
    auto* panel = new QWidget;
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);

    sgCond = new QTableWidget(kGridRows, kGridColumns, panel);
    sgCond->setObjectName(QStringLiteral("sgCond"));
    sgCond->horizontalHeader()->hide();
    sgCond->verticalHeader()->hide();
    sgCond->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sgCond->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The values come from the profile window, not from typing in the grid.
    sgCond->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sgCond->setSelectionMode(QAbstractItemView::NoSelection);
    sgCond->setFocusPolicy(Qt::NoFocus);
    const int rowHeight = fontMetrics().height() + 6;
    for (int r = 0; r < kGridRows; ++r)
        sgCond->setRowHeight(r, rowHeight);
    for (int c = 0; c < kGridColumns; ++c) {
        sgCond->setColumnWidth(c, c == 0 ? gridTitleWidth() : kGridColumnWidth);
        for (int r = 0; r < kGridRows; ++r) {
            auto* cell = new QTableWidgetItem;
            cell->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::Alignment(Qt::AlignCenter));
            if (c == 0)
                cell->setBackground(palette().button());
            sgCond->setItem(r, c, cell);
        }
    }
    const int frame = 2 * sgCond->frameWidth();
    sgCond->setFixedSize(gridTitleWidth() + kProfilePointCount * kGridColumnWidth + frame,
                         kGridRows * rowHeight + frame);
    setGridTitles();

    bbtnProfile = makeButton(QStringLiteral("bbtnProfile"), QStringLiteral("&Profile"), panel);

    row->addWidget(sgCond);
    row->addWidget(bbtnProfile, 0, Qt::AlignVCenter);
    row->addStretch(1);
    return panel;
}

QGroupBox* TfStatus::buildChannels()
{
    gbChannels = new QGroupBox(QStringLiteral(" Channels "));
    gbChannels->setObjectName(QStringLiteral("gbChannels"));
    auto* grid = new QGridLayout(gbChannels);
    grid->setContentsMargins(4, 0, 4, 3);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(1);

    // Two title rows: a group title over its two columns, or one title over both rows.
    auto pair = [&](int column, const QString& group, const QString& first, const QString& second) {
        grid->addWidget(makeTitle(group, gbChannels), 0, column, 1, 2, Qt::AlignHCenter | Qt::AlignBottom);
        grid->addWidget(makeTitle(first, gbChannels), 1, column);
        grid->addWidget(makeTitle(second, gbChannels), 1, column + 1);
    };
    auto single = [&](int column, const QString& title) {
        grid->addWidget(makeTitle(title, gbChannels), 0, column, 2, 1, Qt::AlignHCenter | Qt::AlignBottom);
    };
    single(1, QStringLiteral("Enab"));
    pair(2, QStringLiteral("Thresholds"), QStringLiteral("Up"), QStringLiteral("Down"));
    pair(4, QStringLiteral("Counts"), QStringLiteral("Up"), QStringLiteral("Down"));
    pair(6, QStringLiteral("Up Relays"), QStringLiteral("1"), QStringLiteral("2"));
    pair(8, QStringLiteral("Down Relays"), QStringLiteral("1"), QStringLiteral("2"));
    single(10, QStringLiteral("Up/Down Time"));
    pair(11, QStringLiteral("Event Relays"), QStringLiteral("1"), QStringLiteral("2"));
    single(13, QStringLiteral("Event Time"));
    single(14, QStringLiteral("Graph Enab"));
    single(15, QStringLiteral("SA"));
    single(16, QStringLiteral("WA"));

    const int countWidth = digitsWidth(*gbChannels, 5) + 2;
    const int attWidth = digitsWidth(*gbChannels, 3) + 4;
    for (int n = 1; n <= kChannelCount; ++n) {
        const int row = n + 1;
        const QString digit = QString::number(n);
        grid->addWidget(makeLabel(digit + QLatin1Char('.'), gbChannels), row, 0);

        auto* enabled = new QCheckBox(gbChannels);
        enabled->setObjectName(QStringLiteral("cBoxChannel") + digit);
        grid->addWidget(enabled, row, 1, Qt::AlignHCenter);

        grid->addWidget(makeChannelSpin(QStringLiteral("seUpTh") + digit, 0, 99, 0, gbChannels), row, 2);
        grid->addWidget(makeChannelSpin(QStringLiteral("seDnTh") + digit, 0, 99, 0, gbChannels), row, 3);
        auto* upCount = makeReadOnlyText(QStringLiteral("eUpCnt") + digit, QStringLiteral("0"), gbChannels);
        auto* downCount = makeReadOnlyText(QStringLiteral("eDnCnt") + digit, QStringLiteral("0"), gbChannels);
        // Centred, as their titles are.
        for (QLineEdit* count : {upCount, downCount}) {
            count->setFixedWidth(countWidth);
            count->setAlignment(Qt::AlignCenter);
        }
        grid->addWidget(upCount, row, 4);
        grid->addWidget(downCount, row, 5);

        grid->addWidget(makeChannelSpin(QStringLiteral("seUpRel1Ch") + digit, 1, 12, 1, gbChannels), row, 6);
        grid->addWidget(makeChannelSpin(QStringLiteral("seUpRel2Ch") + digit, 0, 12, 0, gbChannels), row, 7);
        grid->addWidget(makeChannelSpin(QStringLiteral("seDnRel1Ch") + digit, 1, 12, 1, gbChannels), row, 8);
        grid->addWidget(makeChannelSpin(QStringLiteral("seDnRel2Ch") + digit, 0, 12, 0, gbChannels), row, 9);
        grid->addWidget(makeChannelSpin(QStringLiteral("seRelTimeCh") + digit, 1, 300, 1, gbChannels), row, 10);
        grid->addWidget(makeChannelSpin(QStringLiteral("seEvRel1Ch") + digit, 1, 12, 1, gbChannels), row, 11);
        grid->addWidget(makeChannelSpin(QStringLiteral("seEvRel2Ch") + digit, 0, 12, 0, gbChannels), row, 12);
        grid->addWidget(makeChannelSpin(QStringLiteral("seEvTimeCh") + digit, 1, 300, 1, gbChannels), row, 13);

        auto* graph = new QCheckBox(gbChannels);
        graph->setObjectName(QStringLiteral("cBoxGraphCh") + digit);
        grid->addWidget(graph, row, 14, Qt::AlignHCenter);

        auto* sAtt = makeReadOnlyText(QStringLiteral("eSattCh") + digit, QStringLiteral("0"), gbChannels);
        auto* wAtt = makeReadOnlyText(QStringLiteral("eWattCh") + digit, QStringLiteral("0"), gbChannels);
        for (QLineEdit* attenuation : {sAtt, wAtt}) {
            attenuation->setFixedWidth(attWidth);
            attenuation->setAlignment(Qt::AlignCenter);
        }
        grid->addWidget(sAtt, row, 15);
        grid->addWidget(wAtt, row, 16);
    }
    // A column wider than its spin edits (for its title) keeps them under the title's middle.
    for (int i = 0; i < grid->count(); ++i) {
        QLayoutItem* item = grid->itemAt(i);
        if (qobject_cast<QSpinBox*>(item->widget()) || qobject_cast<QLineEdit*>(item->widget()))
            item->setAlignment(Qt::AlignHCenter);
    }
    return gbChannels;
}

QWidget* TfStatus::buildButtons()
{
    auto* panel = new QWidget;
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(3);
    auto* row = new QHBoxLayout;
    row->setSpacing(6);

    bbtnRefresh = makeButton(QStringLiteral("bbtnRefresh"), QStringLiteral("&Refresh"), panel);
    bbtnChange = makeButton(QStringLiteral("bbtnChange"), QStringLiteral("&Change"), panel);
    bbtnSave = makeButton(QStringLiteral("bbtnSave"), QStringLiteral("&Save"), panel);
    // Enter and Escape are taken by the window (keyPressEvent); the look says which.
    bbtnSave->setDefault(true);
    bbtnSave->setEnabled(false);
    bbtnCancel = makeButton(QStringLiteral("bbtnCancel"), QStringLiteral("&Cancel"), panel);
    bbtnCancel->setEnabled(false);
    bbtnContUpd = makeButton(QStringLiteral("bbtnContUpd"), QStringLiteral("Cont. &Update"), panel);
    // All five as wide as the widest.
    int width = 0;
    for (QPushButton* button : {bbtnRefresh, bbtnChange, bbtnSave, bbtnCancel, bbtnContUpd})
        width = qMax(width, button->sizeHint().width());
    for (QPushButton* button : {bbtnRefresh, bbtnChange, bbtnSave, bbtnCancel, bbtnContUpd})
        button->setMinimumWidth(width);
    for (QPushButton* button : {bbtnRefresh, bbtnChange, bbtnSave, bbtnCancel})
        row->addWidget(button);
    row->addSpacing(12);
    row->addWidget(bbtnContUpd);
    row->addStretch(1);
    column->addLayout(row);

    // In continuous update the memo takes the place of "Cont. &Update", with the whole
    // width of the window for its lines.
    memLastEvent = new QPlainTextEdit(panel);
    memLastEvent->setObjectName(QStringLiteral("memLastEvent"));
    memLastEvent->setReadOnly(true);
    memLastEvent->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memLastEvent->document()->setDocumentMargin(2);
    memLastEvent->setMinimumHeight(memLastEvent->fontMetrics().lineSpacing() * kMemoLines
                                   + 2 * memLastEvent->frameWidth()
                                   + int(2 * memLastEvent->document()->documentMargin()) + 2);
    memLastEvent->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    memLastEvent->hide();
    // The memo takes the room left below the buttons; without it the room stays empty.
    column->addWidget(memLastEvent, 1);
    column->addStretch(0);
    return panel;
}

void TfStatus::connectHandlers()
{
    connect(bbtnRefresh, &QPushButton::clicked, this, &TfStatus::bbtnRefreshClick);
    connect(bbtnChange, &QPushButton::clicked, this, &TfStatus::bbtnChangeClick);
    connect(bbtnSave, &QPushButton::clicked, this, &TfStatus::bbtnSaveClick);
    connect(bbtnCancel, &QPushButton::clicked, this, &TfStatus::bbtnCancelClick);
    connect(bbtnContUpd, &QPushButton::clicked, this, &TfStatus::bbtnContUpdClick);
    connect(bbtnProfile, &QPushButton::clicked, this, &TfStatus::bbtnProfileClick);
    connect(bbtnSyncTime, &QPushButton::clicked, this, &TfStatus::bbtnSyncTimeClick);
    connect(sgCond, &QTableWidget::cellDoubleClicked, this, &TfStatus::sgCondDblClick);

    // "activated" is the operator's choice only; setting the index from the record does
    // not emit it, so a read never sends a command.
    connect(cbEvents, &QComboBox::activated, this, &TfStatus::cbEventsChange);
    connect(cbContOutput, &QComboBox::activated, this, &TfStatus::cbContOutputChange);
    connect(cbDump, &QComboBox::activated, this, &TfStatus::cbDumpChange);
    connect(cbMaxSize, &QComboBox::activated, this, &TfStatus::cbDumpChange);
    connect(dtpDate, &QDateEdit::dateChanged, this, [this] {
        if (!m_showing)
            dtpDateChange();
    });
    connect(dtpTime, &QTimeEdit::timeChanged, this, [this] {
        if (!m_showing)
            dtpTimeChange();
    });
    for (int n = 1; n <= kChannelCount; ++n) {
        auto& box = channelControlOf<QCheckBox>(*this, QStringLiteral("cBoxChannel"), n);
        // Also when the record sets it: the row's controls follow the box.
        connect(&box, &QCheckBox::toggled, this, [this, box = &box] { cBoxChannelClick(box); });
    }
}

} // namespace kfc::status
