#include "tfdirectcoms.h"

#include "demomode.h"

#include "app/buttonmnemonics.h"
#include "app/messageboxes.h"
#include "app/radiogroup.h"
#include "app/settingsstore.h"

#include "link/comport.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QAbstractItemView>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace kfc::connect {

namespace {

const QString kComPrefix = QStringLiteral("COM ");

// The port number of an entry "COM n"; 0 when the entry is not one.
int comNumberOf(const QString& entry)
{
    if (!entry.startsWith(kComPrefix))
        return 0;
    bool ok = false;
    const int number = entry.mid(kComPrefix.size()).toInt(&ok);
    return ok ? number : 0;
}

// The device of a port entry, marked when it is the demo's simulated counter or modem.
QString descriptionOf(const PresentPort& entry)
{
    const QString description = entry.description();
    return DemoSession::isSimulatedDevice(entry.device) ? description + QLatin1Char(' ') + DemoSession::kSimulatedMark
                                                        : description;
}

QLabel* makeLabel(const QString& name, const QString& caption, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setBuddy(buddy);
    return label;
}

// The drop-down list shows each entry with its device beside it; the entry's own text
// stays "COM n", which is what is chosen and stored.
class PortEntryDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString device = index.data(Qt::UserRole).toString();
        if (!device.isEmpty())
            option->text += QStringLiteral("    ") + device;
    }
};

} // namespace

const QStringList TfDirectComs::kRates = {
    QStringLiteral("300"),  QStringLiteral("1200"), QStringLiteral("2400"),
    QStringLiteral("4800"), QStringLiteral("9600"), QStringLiteral("19200")};

TfDirectComs::TfDirectComs(ComPort& port, QWidget* parent)
    : TfDirectComs(port,
                   [&port] {
                       auto store = app::SettingsStore::open();
                       port.portNames().load(*store);
                       return port.portNames().presentPorts();
                   },
                   parent)
{
}

TfDirectComs::TfDirectComs(ComPort& port, PortLister listPorts, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                          | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_port(port), m_listPorts(std::move(listPorts))
{
    setObjectName(QStringLiteral("DirectComs"));
    setWindowTitle(QStringLiteral("Com Port Setup"));

    auto* bevel1 = new QFrame(this);
    bevel1->setObjectName(QStringLiteral("Bevel1"));
    bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);

    m_cbComPort = new QComboBox(bevel1);
    m_cbComPort->setObjectName(QStringLiteral("cbComPort"));
    m_cbComPort->addItems({QStringLiteral("COM 1"), QStringLiteral("COM 2"),
                           QStringLiteral("COM 3"), QStringLiteral("COM 4")});
    m_cbComPort->setItemDelegate(new PortEntryDelegate(m_cbComPort));
    m_labDevice = new QLabel(bevel1);
    m_labDevice->setObjectName(QStringLiteral("labDevice"));
    m_labDevice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(m_cbComPort, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_labDevice->setText(index < 0 ? QString() : m_cbComPort->itemData(index).toString());
    });
    m_cbRate = new QComboBox(bevel1);
    m_cbRate->setObjectName(QStringLiteral("cbRate"));
    m_cbRate->addItems(kRates);

    m_rgDataBits = new app::RadioGroup(QStringLiteral("rgDataBits"), QStringLiteral(" Data Bits"),
                                  {QStringLiteral("&7 Bit"), QStringLiteral("&8 Bit")}, bevel1);
    m_rgParity = new app::RadioGroup(QStringLiteral("rgParity"), QStringLiteral(" Parity "),
                                {QStringLiteral("&Even"), QStringLiteral("&Odd"),
                                 QStringLiteral("&None")},
                                bevel1);
    m_rgStopBits = new app::RadioGroup(QStringLiteral("rgStopBits"), QStringLiteral(" Stop Bits"),
                                  {QStringLiteral("&1 Bit"), QStringLiteral("&2 Bits")}, bevel1);

    auto* choices = new QGridLayout(bevel1);
    choices->setContentsMargins(10, 10, 10, 10);
    choices->setHorizontalSpacing(8);
    choices->addWidget(makeLabel(QStringLiteral("Label1"), QStringLiteral("Port"), m_cbComPort, bevel1), 0, 0);
    choices->addWidget(m_cbComPort, 0, 1);
    choices->addWidget(makeLabel(QStringLiteral("Label2"), QStringLiteral("Rate"), m_cbRate, bevel1), 0, 2);
    choices->addWidget(m_cbRate, 0, 3);
    choices->addWidget(m_labDevice, 1, 1, 1, 3);
    auto* groups = new QHBoxLayout;
    groups->setSpacing(10);
    groups->addWidget(m_rgDataBits);
    groups->addWidget(m_rgParity);
    groups->addWidget(m_rgStopBits);
    choices->addLayout(groups, 2, 0, 1, 4);
    // Extra height goes below the groups, which are as high as the longest of them.
    choices->setRowStretch(3, 1);
    choices->setColumnStretch(1, 1);
    choices->setColumnStretch(3, 1);

    m_okBtn = new QPushButton(QStringLiteral("&OK"), this);
    m_okBtn->setObjectName(QStringLiteral("OKBtn"));
    m_okBtn->setDefault(true);
    connect(m_okBtn, &QPushButton::clicked, this, &TfDirectComs::OKBtnClick);
    m_cancelBtn = new QPushButton(QStringLiteral("&Cancel"), this);
    m_cancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    connect(m_cancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_okBtn);
    buttons->addWidget(m_cancelBtn);
    buttons->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(bevel1, 1);
    layout->addLayout(buttons);
    // At least the design size; larger where the fonts need it.
    setFixedSize(sizeHint().expandedTo(QSize(317, 214)));
    m_okBtn->setFocus();
    // "&OK" and "&Odd" share Alt+O: the key presses OK.
    app::giveButtonsMnemonicPriority(this);
}

void TfDirectComs::showEvent(QShowEvent* event)
{
    // The window is made for each use and nothing else of the program activates it while
    // it is up, so it is filled when it is shown: a user who looks at another program
    // and comes back keeps the choices made so far.
    FormActivate();
    QDialog::showEvent(event);
}

void TfDirectComs::FormActivate()
{
    m_cbComPort->clear();
    const QList<PresentPort> present = m_listPorts ? m_listPorts() : QList<PresentPort>{};
    for (const PresentPort& entry : present)
        m_cbComPort->addItem(entry.entry, descriptionOf(entry));
    m_cbComPort->setCurrentIndex(m_cbComPort->findText(kComPrefix + QString::number(m_port.settings.comNumber)));
    m_labDevice->setText(m_cbComPort->currentData().toString());
    // The drop-down list is as wide as its longest entry with its device.
    int widest = 0;
    for (const PresentPort& entry : present)
        widest = qMax(widest, m_cbComPort->fontMetrics().horizontalAdvance(entry.entry + QStringLiteral("    ")
                                                                             + descriptionOf(entry)));
    m_cbComPort->view()->setMinimumWidth(widest + 2 * m_cbComPort->style()->pixelMetric(QStyle::PM_ScrollBarExtent));

    m_cbRate->setCurrentIndex(-1);
    m_cbRate->setCurrentIndex(kRates.indexOf(QString::number(m_port.settings.baud)));

    m_rgDataBits->setItemIndex(m_port.settings.dataBits == 7 ? 0 : 1);
    m_rgStopBits->setItemIndex(m_port.settings.stopBits == 1 ? 0 : 1);
    switch (m_port.settings.parity) {
    case Parity::Even: m_rgParity->setItemIndex(0); break;
    case Parity::Odd: m_rgParity->setItemIndex(1); break;
    default: m_rgParity->setItemIndex(2); break;
    }
    m_okBtn->setFocus();
}

QString TfDirectComs::missingChoices() const
{
    const bool noPort = comNumberOf(m_cbComPort->currentText()) == 0;
    const bool noRate = m_cbRate->currentIndex() < 0;
    if (noPort && noRate)
        return QStringLiteral("Choose a port and a rate before pressing OK.");
    if (noPort)
        return QStringLiteral("Choose a port before pressing OK.");
    if (noRate)
        return QStringLiteral("Choose a rate before pressing OK.");
    return {};
}

void TfDirectComs::OKBtnClick()
{
    setResult(QDialog::Rejected);
    // Both choices are checked before anything is stored, so a missing one leaves the
    // port's settings as they were.
    const QString missing = missingChoices();
    if (!missing.isEmpty()) {
        app::messageBoxes().show(MessageKind::Error, missing);
        reject();
        return;
    }
    m_port.TapiMode = false;
    SerialSettings& settings = m_port.settings;
    settings.comNumber = comNumberOf(m_cbComPort->currentText());
    settings.dataBits = m_rgDataBits->itemIndex() == 1 ? 8 : 7;
    settings.stopBits = m_rgStopBits->itemIndex() == 1 ? 2 : 1;
    switch (m_rgParity->itemIndex()) {
    case 0: settings.parity = Parity::Even; break;
    case 1: settings.parity = Parity::Odd; break;
    default: settings.parity = Parity::None; break;
    }
    settings.baud = m_cbRate->currentText().toInt();
    if (!m_port.OpenPort()) {
        reject();
        return;
    }
    accept();
}

} // namespace kfc::connect
