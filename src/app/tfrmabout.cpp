#include "tfrmabout.h"

#include "application.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kfc::app {

namespace {

QLabel* makeLine(const QString& name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    return label;
}

} // namespace

// Newest first: a heading with the version and its release date, one line per change.
const QString TfrmAbout::kReleaseNotes = QStringLiteral(
    "Version 1.0.0  08/12/26\n"
    "First release.\n"
    "Built and tested on Debian 12 only.\n"
    "Direct connection, or modem and phone book.\n"
    "Counter logon; set and change the password.\n"
    "Status: read, edit and save the configuration.\n"
    "Continuous update: fish and conductivity live.\n"
    "Clear counts, recalibrate, flush the buffer.\n"
    "Download events to screen, file or printer.\n"
    "Conductivity profile and probe calibration.\n"
    "Current conductivity monitor.\n"
    "Dummy fish, weir dimensions, baud rates.\n"
    "Raw command, and a terminal on the line.\n"
    "Debug log of every command and reply.\n"
    "Command-line client: kestrova-cli.\n"
    "Simulated counter and modem: kestrova-sim.\n"
    "Demo mode (--demo): a simulated counter.\n"
    "Window size and port settings are kept.\n"
    "\n");

TfrmAbout::TfrmAbout(QWidget* parent, VersionResource resource)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                          | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_resource(std::move(resource))
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(347, 256);

    auto* panel1 = new QFrame(this);
    panel1->setObjectName(QStringLiteral("Panel1"));
    panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel1->setLineWidth(2);

    m_programIcon = makeLine(QStringLiteral("ProgramIcon"), panel1);
    m_programIcon->setFixedSize(32, 32);
    m_programIcon->setScaledContents(true);
    m_labProduct = makeLine(QStringLiteral("labProduct"), panel1);
    QFont bold = m_labProduct->font();
    bold.setBold(true);
    m_labProduct->setFont(bold);
    m_lblCopyright = makeLine(QStringLiteral("lblCopyright"), panel1);
    m_labVersion = makeLine(QStringLiteral("labVersion"), panel1);
    m_labBuild = makeLine(QStringLiteral("labBuild"), panel1);
    m_labReleased = makeLine(QStringLiteral("labReleased"), panel1);

    m_memLog = new QPlainTextEdit(panel1);
    m_memLog->setObjectName(QStringLiteral("memLog"));
    m_memLog->setReadOnly(true);
    m_memLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_memLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memLog->setPlainText(kReleaseNotes);
    m_memLog->setFocusPolicy(Qt::NoFocus);

    auto* lines = new QGridLayout(panel1);
    lines->setContentsMargins(8, 8, 8, 8);
    lines->setVerticalSpacing(2);
    lines->addWidget(m_labProduct, 0, 0);
    lines->addWidget(m_lblCopyright, 1, 0);
    lines->addWidget(m_labVersion, 2, 0);
    lines->addWidget(m_labBuild, 3, 0);
    lines->addWidget(m_labReleased, 4, 0);
    lines->addWidget(m_programIcon, 0, 1, 2, 1, Qt::AlignTop | Qt::AlignRight);
    lines->addWidget(m_memLog, 5, 0, 1, 2);
    lines->setRowStretch(5, 1);
    lines->setColumnStretch(0, 1);

    m_okButton = new QPushButton(QStringLiteral("&OK"), this);
    m_okButton->setObjectName(QStringLiteral("OKButton"));
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(panel1, 1);
    layout->addWidget(m_okButton, 0, Qt::AlignHCenter);
    m_okButton->setFocus();
}

void TfrmAbout::FormActivate()
{
    initResources();
    m_programIcon->setPixmap(QPixmap(QStringLiteral(":/kestrova/mainicon.png")));
    m_info = ReadVersionInfo(m_resource);
    m_labProduct->setText(m_info.value(QStringLiteral("FileDescription")));
    m_lblCopyright->setText(m_info.value(QStringLiteral("LegalCopyright")));
    m_labVersion->setText(QStringLiteral("Version %1.%2.%3")
                              .arg(m_info.major)
                              .arg(m_info.minor)
                              .arg(m_info.release));
    m_labBuild->setText(QStringLiteral("Build %1").arg(m_info.build));
    m_labReleased->setText(QStringLiteral("Released ") + m_info.value(QStringLiteral("ReleaseDate")));
}

void TfrmAbout::showEvent(QShowEvent* event)
{
    FormActivate();
    QDialog::showEvent(event);
}

void TfrmAbout::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

} // namespace kfc::app
