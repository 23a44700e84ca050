#include "tfrmphonebook.h"

#include "phonebookfile.h"

#include "app/messageboxes.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace kfc::connect {

namespace {

constexpr int kNameColumnWidth = 180;
constexpr int kRowHeight = 18;

void centreOn(QWidget* window, QWidget* parent)
{
    if (!parent)
        return;
    QRect frame(QPoint(), window->size());
    frame.moveCenter(parent->frameGeometry().center());
    window->move(frame.topLeft());
}

} // namespace

// ---- entry window -------------------------------------------------------------------

TfrmAddPhone::TfrmAddPhone(bool adding, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAddPhone"));
    setWindowTitle(adding ? QStringLiteral("Add Phone Number") : QStringLiteral("Edit Phone Number"));
    auto* grid = new QGridLayout(this);
    auto* label1 = new QLabel(QStringLiteral("Name"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    edtName = new QLineEdit(this);
    edtName->setObjectName(QStringLiteral("edtName"));
    edtName->setMaxLength(kMaxLength);
    auto* label2 = new QLabel(QStringLiteral("Number"), this);
    label2->setObjectName(QStringLiteral("Label2"));
    edtNumber = new QLineEdit(this);
    edtNumber->setObjectName(QStringLiteral("edtNumber"));
    edtNumber->setMaxLength(kMaxLength);
    label1->setBuddy(edtName);
    label2->setBuddy(edtNumber);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("BitBtn1"));
    ok->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("BitBtn2"));
    cancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    grid->addWidget(label1, 0, 0);
    grid->addWidget(edtName, 0, 1);
    grid->addWidget(label2, 1, 0);
    grid->addWidget(edtNumber, 1, 1);
    grid->addWidget(buttons, 2, 0, 1, 2);
    resize(QSize(252, 154).expandedTo(sizeHint()));
    centreOn(this, parent);
}

void TfrmAddPhone::fill(QLineEdit* field, const QString& text)
{
    // The limit is for typing: a longer stored entry must reach OK uncut.
    field->setMaxLength(qMax(kMaxLength, int(text.size())));
    field->setText(text);
}

void TfrmAddPhone::accept()
{
    for (QLineEdit* field : {edtName, edtNumber}) {
        const QString why = unwritableEntryText(field->text());
        if (why.isEmpty())
            continue;
        app::messageBoxes().show(MessageKind::Warning, why + QStringLiteral("\nPlease change it."));
        field->setFocus();
        return;
    }
    QDialog::accept();
}

// ---- phone book ---------------------------------------------------------------------

TfrmPhoneBook::TfrmPhoneBook(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPhoneBook"));
    setWindowTitle(QStringLiteral("Phone Book"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("ToolBar1"));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    QStyle* s = style();
    addAction(QStringLiteral("actnSelect"), QStringLiteral("Dial selected phone number"),
              s->standardIcon(QStyle::SP_DialogApplyButton), &TfrmPhoneBook::actnSelectExecute);
    addAction(QStringLiteral("actnCancel"), QStringLiteral("Cancel dial up"),
              s->standardIcon(QStyle::SP_DialogCancelButton), &TfrmPhoneBook::actnCancelExecute);
    m_toolBar->addSeparator()->setObjectName(QStringLiteral("ToolButton3"));
    // The keys a list of entries usually has.
    addAction(QStringLiteral("actnAdd"), QStringLiteral("Add a new phone number"),
              s->standardIcon(QStyle::SP_FileDialogNewFolder), &TfrmPhoneBook::actnAddExecute, Qt::Key_Insert);
    addAction(QStringLiteral("actnEdit"), QStringLiteral("Edit selected phone number"),
              s->standardIcon(QStyle::SP_FileDialogDetailedView), &TfrmPhoneBook::actnEditExecute, Qt::Key_F2);
    addAction(QStringLiteral("actnDelete"), QStringLiteral("Delete selected phone number"),
              s->standardIcon(QStyle::SP_TrashIcon), &TfrmPhoneBook::actnDeleteExecute, Qt::Key_Delete);
    layout->addWidget(m_toolBar);

    m_strgrdContacts = new QTableWidget(0, 2, this);
    m_strgrdContacts->setObjectName(QStringLiteral("strgrdContacts"));
    m_strgrdContacts->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Number")});
    m_strgrdContacts->verticalHeader()->hide();
    // The number takes the rest of the width, whatever the window's size.
    m_strgrdContacts->setColumnWidth(0, kNameColumnWidth);
    m_strgrdContacts->horizontalHeader()->setStretchLastSection(true);
    m_strgrdContacts->verticalHeader()->setDefaultSectionSize(kRowHeight);
    m_strgrdContacts->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_strgrdContacts->setSelectionMode(QAbstractItemView::SingleSelection);
    m_strgrdContacts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_strgrdContacts->setTabKeyNavigation(true);
    m_strgrdContacts->setShowGrid(true);
    m_strgrdContacts->installEventFilter(this);
    connect(m_strgrdContacts, &QTableWidget::cellDoubleClicked, this, [this] {
        if (HasSelection())
            actnSelectExecute();
    });
    layout->addWidget(m_strgrdContacts);

    // After the entries Tab reaches the buttons in their order, and Space presses them.
    for (QAction* action : m_toolBar->actions()) {
        if (QWidget* button = m_toolBar->widgetForAction(action); button && !action->isSeparator())
            button->setFocusPolicy(Qt::TabFocus);
    }

    resize(313, 276);
    centreOn(this, parent);
    LoadPhoneBook();
}

TfrmPhoneBook::~TfrmPhoneBook() { SavePhoneBook(); }

QAction* TfrmPhoneBook::addAction(const QString& name, const QString& hint, QIcon icon,
                                  void (TfrmPhoneBook::*handler)(), const QKeySequence& key)
{
    QAction* action = m_toolBar->addAction(icon, hint);
    action->setObjectName(name);
    action->setShortcut(key);
    const QString tip = key.isEmpty() ? hint : QStringLiteral("%1 (%2)").arg(hint, key.toString(QKeySequence::NativeText));
    action->setToolTip(tip);
    action->setStatusTip(hint);
    connect(action, &QAction::triggered, this, handler);
    return action;
}

bool TfrmPhoneBook::HasSelection() const
{
    return !m_entries.isEmpty() && m_strgrdContacts->currentRow() >= 0
           && m_strgrdContacts->currentRow() < m_entries.size();
}

int TfrmPhoneBook::SelectedIndex() const { return m_strgrdContacts->currentRow(); }

QString TfrmPhoneBook::SelectedName() const
{
    return HasSelection() ? entryName(m_entries[SelectedIndex()]) : QString();
}

QString TfrmPhoneBook::SelectedNumber() const
{
    return HasSelection() ? entryNumber(m_entries[SelectedIndex()]) : QString();
}

void TfrmPhoneBook::LoadPhoneBook()
{
    m_fileName = phoneBookPath();
    QString error;
    if (!readPhoneBook(m_fileName, &m_entries, &error)) {
        // The stored entries stay as they are: this window will not write the file.
        m_readFailed = true;
        app::messageBoxes().show(MessageKind::Error,
                            error + QStringLiteral("\nThe phone book is shown empty and will not be saved."));
    }
    RefreshGrid();
}

bool TfrmPhoneBook::SavePhoneBook()
{
    if (m_readFailed)
        return false;
    QString error;
    if (writePhoneBook(m_fileName, m_entries, &error))
        return true;
    app::messageBoxes().show(MessageKind::Error, error);
    return false;
}

void TfrmPhoneBook::RefreshGrid()
{
    sortPhoneBook(m_entries);
    m_strgrdContacts->clearContents();
    m_strgrdContacts->setRowCount(int(m_entries.size()));
    for (int i = 0; i < m_entries.size(); ++i) {
        m_strgrdContacts->setItem(i, 0, new QTableWidgetItem(entryName(m_entries[i])));
        m_strgrdContacts->setItem(i, 1, new QTableWidgetItem(entryNumber(m_entries[i])));
    }
    if (!m_entries.isEmpty())
        m_strgrdContacts->setCurrentCell(0, 0);
    else
        m_strgrdContacts->setCurrentCell(-1, -1);
}

void TfrmPhoneBook::selectLine(const QString& line)
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].compare(line, Qt::CaseInsensitive) == 0) {
            m_strgrdContacts->setCurrentCell(i, 0);
            return;
        }
    }
}

void TfrmPhoneBook::actnSelectExecute() { accept(); }

void TfrmPhoneBook::actnCancelExecute() { reject(); }

void TfrmPhoneBook::actnAddExecute()
{
    TfrmAddPhone entry(true, this);
    if (entry.exec() != QDialog::Accepted)
        return;
    const QString line = entry.edtName->text() + QLatin1Char('=') + entry.edtNumber->text();
    m_entries << line;
    RefreshGrid();
    selectLine(line);
}

void TfrmPhoneBook::actnEditExecute()
{
    // With nothing selected there is nothing to replace.
    if (!HasSelection()) {
        app::messageBoxes().show(MessageKind::Information, QStringLiteral("There is no phone number to edit."));
        return;
    }
    const int index = SelectedIndex();
    TfrmAddPhone entry(false, this);
    TfrmAddPhone::fill(entry.edtName, SelectedName());
    TfrmAddPhone::fill(entry.edtNumber, SelectedNumber());
    if (entry.exec() != QDialog::Accepted)
        return;
    // An entry left as it was keeps its own line, also one without "=".
    if (entry.edtName->text() == SelectedName() && entry.edtNumber->text() == SelectedNumber())
        return;
    const QString line = entry.edtName->text() + QLatin1Char('=') + entry.edtNumber->text();
    m_entries[index] = line;
    RefreshGrid();
    selectLine(line);
}

void TfrmPhoneBook::actnDeleteExecute()
{
    if (!HasSelection())
        return;
    if (!app::messageBoxes().ask(MessageKind::Confirmation, QStringLiteral("Are you sure you want to delete %1 (%2) ?")
                                                           .arg(SelectedName(), SelectedNumber())))
        return;
    m_entries.removeAt(SelectedIndex());
    RefreshGrid();
}

bool TfrmPhoneBook::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_strgrdContacts && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && HasSelection()) {
            actnSelectExecute();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace kfc::connect
