// The status form's controls, their captions, items, ranges and defaults, and their
// layout. The form is kept compact for the main frame's default size; the window holds it
// in a scroll area, so that a smaller frame reaches every control instead of cutting them
// off.

#include "statusform.h"

#include "app/wheelguard.h"
#include "channelcolumns.h"
#include "contupdate.h"
#include "counter/counterstatus.h"
#include "livechart.h"

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
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTextDocument>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

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

bool sameGroup(const ChannelColumn& a, const ChannelColumn& b)
{
    return a.group && b.group && QLatin1String(a.group) == QLatin1String(b.group);
}

// The control of one column in the row of channel n.
QWidget* makeChannelControl(const ChannelColumn& column, int n, QWidget& parent)
{
    const QString name = QLatin1String(column.prefix) + QString::number(n);
    switch (column.kind) {
    case ChannelColumn::Kind::RowSwitch:
    case ChannelColumn::Kind::Check: {
        auto* box = new QCheckBox(&parent);
        box->setObjectName(name);
        return box;
    }
    case ChannelColumn::Kind::Spin:
        return makeChannelSpin(name, column.minimum, column.maximum, column.initial, &parent);
    case ChannelColumn::Kind::Value: {
        QLineEdit* value = makeReadOnlyText(name, QStringLiteral("0"), &parent);
        // Centred, as their titles are.
        value->setFixedWidth(digitsWidth(parent, column.digits) + column.padding);
        value->setAlignment(Qt::AlignCenter);
        return value;
    }
    }
    return nullptr;
}

} // namespace

StatusForm::StatusForm()
{
    setObjectName(QStringLiteral("panStatusContent"));
    buildControls();
    connectHandlers();
    showDisabledValuesReadably();
}

void StatusForm::showDisabledValuesReadably()
{
    // In view mode every setting is disabled, and disabled text is a light grey that cannot
    // be read outdoors. A value keeps the normal text colour: its frame and background
    // alone show that it cannot be changed now.
    QList<QWidget*> values;
    for (QAbstractSpinBox* spin : findChildren<QAbstractSpinBox*>())
        values << spin;
    for (QComboBox* combo : findChildren<QComboBox*>())
        values << combo;
    for (QCheckBox* box : findChildren<QCheckBox*>())
        values << box;
    for (QWidget* value : values) {
        QPalette readable = value->palette();
        for (QPalette::ColorRole role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
            readable.setColor(QPalette::Disabled, role, readable.color(QPalette::Active, role));
        value->setPalette(readable);
    }
}

void StatusForm::buildControls()
{
    auto* layout = new QVBoxLayout(this);
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

    eCondType = new QLineEdit(this);
    eCondType->setObjectName(QStringLiteral("eCondType"));
    eCondType->hide();

    // The wheel scrolls the window; it changes a value only in the focused control.
    app::keepWheelToFocusedControls(this);
}

QWidget* StatusForm::buildSettings()
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

QWidget* StatusForm::buildCounterBox()
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
    QPushButton* bbtnSyncTime = makeButton(QStringLiteral("bbtnSyncTime"), QStringLiteral("S&ync Time"), panel);
    bbtnSyncTime->setToolTip(QStringLiteral("Synchronize counter to PC date and time"));
    m_buttons.syncTime = bbtnSyncTime;

    QLabel* labCond = makeLabel(QStringLiteral("Conductivity Table Value "), panel);
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

QWidget* StatusForm::buildProfile()
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

    QPushButton* bbtnProfile = makeButton(QStringLiteral("bbtnProfile"), QStringLiteral("&Profile"), panel);
    m_buttons.profile = bbtnProfile;

    row->addWidget(sgCond);
    row->addWidget(bbtnProfile, 0, Qt::AlignVCenter);
    row->addStretch(1);
    return panel;
}

int StatusForm::gridTitleWidth() const
{
    // 45 wide, unless the font in use needs more for "Gain(%)".
    constexpr int kTitleWidth = 45;
    constexpr int kCellPadding = 8;
    return std::max(kTitleWidth, sgCond->fontMetrics().horizontalAdvance(QStringLiteral("Gain(%)"))
                                     + kCellPadding);
}

void StatusForm::setGridTitles()
{
    sgCond->setColumnWidth(0, gridTitleWidth());
    sgCond->item(0, 0)->setText(QStringLiteral("Cond"));
    sgCond->item(1, 0)->setText(QStringLiteral("Gain(%)"));
}

QGroupBox* StatusForm::buildChannels()
{
    gbChannels = new QGroupBox(QStringLiteral(" Channels "));
    gbChannels->setObjectName(QStringLiteral("gbChannels"));
    auto* grid = new QGridLayout(gbChannels);
    grid->setContentsMargins(4, 0, 4, 3);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(1);
    addChannelTitles(*grid);
    for (int n = 1; n <= kChannelCount; ++n)
        addChannelRow(*grid, n);
    return gbChannels;
}

// Two title rows: a group's title over its columns with each column's own below, or a
// column's title alone over both rows. Grid column 0 holds the row titles.
void StatusForm::addChannelTitles(QGridLayout& grid)
{
    const Qt::Alignment alignment = Qt::AlignHCenter | Qt::AlignBottom;
    const int count = int(std::size(kChannelColumns));
    for (int i = 0; i < count; ++i) {
        const ChannelColumn& column = kChannelColumns[i];
        const QString title = QLatin1String(column.title);
        if (!column.group) {
            grid.addWidget(makeTitle(title, gbChannels), 0, i + 1, 2, 1, alignment);
            continue;
        }
        if (i == 0 || !sameGroup(kChannelColumns[i - 1], column)) {
            int span = 1;
            while (i + span < count && sameGroup(kChannelColumns[i + span], column))
                ++span;
            grid.addWidget(makeTitle(QLatin1String(column.group), gbChannels), 0, i + 1, 1, span, alignment);
        }
        grid.addWidget(makeTitle(title, gbChannels), 1, i + 1);
    }
}

void StatusForm::addChannelRow(QGridLayout& grid, int n)
{
    const int row = n + 1;
    grid.addWidget(makeLabel(QString::number(n) + QLatin1Char('.'), gbChannels), row, 0);
    int gridColumn = 1;
    // A column wider than its controls (for its title) keeps them under the title's middle.
    for (const ChannelColumn& column : kChannelColumns)
        grid.addWidget(makeChannelControl(column, n, *gbChannels), row, gridColumn++, Qt::AlignHCenter);
}

QWidget* StatusForm::buildButtons()
{
    auto* panel = new QWidget;
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(3);
    auto* row = new QHBoxLayout;
    row->setSpacing(6);

    QPushButton* bbtnRefresh = makeButton(QStringLiteral("bbtnRefresh"), QStringLiteral("&Refresh"), panel);
    QPushButton* bbtnChange = makeButton(QStringLiteral("bbtnChange"), QStringLiteral("&Change"), panel);
    QPushButton* bbtnSave = makeButton(QStringLiteral("bbtnSave"), QStringLiteral("&Save"), panel);
    // Enter and Escape are taken by the window (keyPressEvent); the look says which.
    bbtnSave->setDefault(true);
    bbtnSave->setEnabled(false);
    QPushButton* bbtnCancel = makeButton(QStringLiteral("bbtnCancel"), QStringLiteral("&Cancel"), panel);
    bbtnCancel->setEnabled(false);
    QPushButton* bbtnContUpd = makeButton(QStringLiteral("bbtnContUpd"), QStringLiteral("Cont. &Update"), panel);
    m_buttons.refresh = bbtnRefresh;
    m_buttons.change = bbtnChange;
    m_buttons.save = bbtnSave;
    m_buttons.cancel = bbtnCancel;
    m_buttons.contUpd = bbtnContUpd;
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
    // Wide enough for its lines; the chart beside it takes the rest of the width.
    const QDateTime longestDay(QDate(2026, 12, 31), QTime(23, 59, 59), Qt::UTC);
    memLastEvent->setFixedWidth(memLastEvent->fontMetrics().horizontalAdvance(
                                    ContinuousUpdate::eventStamp(longestDay) + QStringLiteral(" Cond. and Atten. Change"))
                                + memLastEvent->verticalScrollBar()->sizeHint().width()
                                + 2 * memLastEvent->frameWidth() + 12);
    m_chart = new LiveChart(panel);
    m_chart->setMinimumSize(260, memLastEvent->minimumHeight());
    m_chart->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_chart->hide();
    auto* lines = new QHBoxLayout;
    lines->setSpacing(6);
    lines->addWidget(memLastEvent);
    lines->addWidget(m_chart, 1);
    // The memo and the chart take the room left below the buttons; without them the room
    // stays empty.
    column->addLayout(lines, 1);
    column->addStretch(0);
    return panel;
}

} // namespace kfc::status
