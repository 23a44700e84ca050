#include "messageboxes.h"

#include <QApplication>
#include <QDebug>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace kfc::app {

namespace {

QMessageBox::Icon iconFor(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Error: return QMessageBox::Critical;
    case MessageKind::Warning: return QMessageBox::Warning;
    case MessageKind::Information: return QMessageBox::Information;
    case MessageKind::Confirmation: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// A box belongs to whatever window the user is looking at, so that it stays in front of
// a modal dialog that caused it.
QWidget* boxParent()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

QMessageBox::StandardButton runBox(MessageKind kind, const QString& text,
                                   QMessageBox::StandardButtons buttons,
                                   QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(iconFor(kind), MessageBoxes::captionFor(kind), text, buttons, boxParent());
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(buttons.testFlag(QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok);
    return QMessageBox::StandardButton(box.exec());
}

} // namespace

MessageBoxes& messageBoxes()
{
    static MessageBoxes service;
    return service;
}

QString MessageBoxes::captionFor(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Error: return QStringLiteral("Error");
    case MessageKind::Warning: return QStringLiteral("Warning");
    case MessageKind::Information: return QStringLiteral("Information");
    case MessageKind::Confirmation: return QStringLiteral("Confirm");
    }
    return {};
}

void MessageBoxes::show(MessageKind kind, const QString& text)
{
    if (!m_scripted) {
        runBox(kind, text, QMessageBox::Ok, QMessageBox::Ok);
        return;
    }
    m_recorded.append({kind, text, false, false});
}

bool MessageBoxes::ask(MessageKind kind, const QString& text, Default byDefault)
{
    if (!m_scripted)
        return runBox(kind, text, QMessageBox::Yes | QMessageBox::No,
                      byDefault == Default::No ? QMessageBox::No : QMessageBox::Yes)
               == QMessageBox::Yes;
    const bool yes = takeAnswer(text);
    m_recorded.append({kind, text, true, yes, byDefault == Default::No});
    return yes;
}

bool MessageBoxes::takeAnswer(const QString& text)
{
    if (m_answers.empty()) {
        m_unanswered << text;
        qWarning("A question was asked with no scripted answer; taken as No.");
        return false;
    }
    const bool yes = m_answers.front();
    m_answers.pop_front();
    return yes;
}

QString MessageBoxes::askSaveFileName(QWidget* parent, const QString& caption,
                                      const QString& folder, const QString& filter,
                                      const QString& defaultSuffix)
{
    if (!m_scripted) {
        QFileDialog dialog(parent, caption, folder, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(defaultSuffix);
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    }
    m_saveDialogFolders << folder;
    if (m_fileNames.empty()) {
        m_unanswered << caption;
        return {};
    }
    QString name = m_fileNames.front();
    m_fileNames.pop_front();
    return name;
}

bool MessageBoxes::askPrinterSetup(QWidget* parent, QPrinter& printer)
{
    if (!m_scripted) {
        QPrintDialog dialog(&printer, parent);
        return dialog.exec() == QDialog::Accepted;
    }
    if (m_printerAnswers.empty()) {
        m_unanswered << QStringLiteral("Printer setup");
        return false;
    }
    const PrinterAnswer answer = m_printerAnswers.front();
    m_printerAnswers.pop_front();
    if (answer.accepted && !answer.pdfFileName.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(answer.pdfFileName);
    }
    return answer.accepted;
}

QString MessageBoxes::askFolder(QWidget* parent, const QString& caption, const QString& folder)
{
    if (!m_scripted)
        return QFileDialog::getExistingDirectory(parent, caption, folder);
    if (m_folders.empty()) {
        m_unanswered << caption;
        return {};
    }
    QString chosen = m_folders.front();
    m_folders.pop_front();
    return chosen;
}

QString MessageBoxes::askText(QWidget* parent, const QString& caption, const QString& label,
                              const QStringList& items, const QString& text)
{
    if (!m_scripted) {
        QStringList offered = items;
        if (!text.isEmpty() && !offered.contains(text))
            offered.prepend(text);
        bool ok = false;
        const QString chosen = QInputDialog::getItem(parent, caption, label, offered,
                                                     std::max<qsizetype>(0, offered.indexOf(text)), true, &ok);
        return ok ? chosen.trimmed() : QString();
    }
    m_textPrompts << label + QLatin1Char('\n') + items.join(QLatin1Char('\n'));
    if (m_texts.empty()) {
        m_unanswered << caption;
        return {};
    }
    QString chosen = m_texts.front();
    m_texts.pop_front();
    return chosen;
}

void MessageBoxes::setScripted(bool scripted)
{
    m_scripted = scripted;
}

QStringList MessageBoxes::recordedTexts() const
{
    QStringList texts;
    for (const RecordedMessage& message : m_recorded)
        texts << message.text;
    return texts;
}

void MessageBoxes::reset()
{
    m_answers.clear();
    m_fileNames.clear();
    m_printerAnswers.clear();
    m_folders.clear();
    m_texts.clear();
    m_textPrompts.clear();
    m_recorded.clear();
    m_saveDialogFolders.clear();
    m_unanswered.clear();
}

} // namespace kfc::app
