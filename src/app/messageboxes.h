#pragma once
// The program's one way of asking or telling the user something in a box. Every message
// box goes through here, and so do the file-save and printer dialogs, so that tests can
// answer them in advance and read back what the program said.

#include "link/hooks.h"

#include <QList>
#include <QStringList>
#include <QString>

#include <deque>

class QPrinter;
class QWidget;

namespace kfc::app {

struct RecordedMessage {
    MessageKind kind;
    QString text;
    bool question;   // Yes and No buttons (else OK)
    bool answeredYes;
    bool defaultNo = false; // Enter answers No (questions that destroy data)

    friend bool operator==(const RecordedMessage&, const RecordedMessage&) = default;
};

class MessageBoxes {
public:
    // A box with an OK button.
    void show(MessageKind kind, const QString& text);
    // A box with Yes and No buttons; true when the answer is Yes. A question whose Yes
    // destroys data on the counter takes No as its default, so that Enter is safe.
    enum class Default { Yes, No };
    bool ask(MessageKind kind, const QString& text, Default byDefault = Default::Yes);

    // The file-save dialog: the chosen file name, empty when cancelled. It asks before
    // replacing a file; a name typed without an extension gets defaultSuffix (when given).
    QString askSaveFileName(QWidget* parent, const QString& caption, const QString& folder,
                            const QString& filter, const QString& defaultSuffix = {});
    // The printer-setup dialog: true when the user accepted it.
    bool askPrinterSetup(QWidget* parent, QPrinter& printer);
    // The folder dialog: the chosen folder, which exists; empty when cancelled.
    QString askFolder(QWidget* parent, const QString& caption, const QString& folder);
    // A line of text, typed or picked from `items`, with `text` filled in; empty when
    // cancelled.
    QString askText(QWidget* parent, const QString& caption, const QString& label, const QStringList& items,
                    const QString& text);

    // Scripted answers. Once scripted, no dialog is shown: questions take the queued
    // answers in order (No when none is left, which is also counted as unanswered),
    // and every text is recorded.
    void setScripted(bool scripted);
    bool scripted() const { return m_scripted; }
    void queueAnswer(bool yes) { m_answers.push_back(yes); }
    void queueSaveFileName(const QString& fileName) { m_fileNames.push_back(fileName); }
    void queuePrinterAnswer(bool accepted) { m_printerAnswers.push_back({accepted, {}}); }
    // The print dialog is accepted with "Print to File" and this PDF file chosen in it.
    void queuePrintToFile(const QString& pdfFileName) { m_printerAnswers.push_back({true, pdfFileName}); }
    // Empty: the dialog is cancelled.
    void queueFolder(const QString& folder) { m_folders.push_back(folder); }
    // Empty: the dialog is cancelled. The label and the items it offered, a line each, are
    // recorded.
    void queueText(const QString& text) { m_texts.push_back(text); }
    const QStringList& textPrompts() const { return m_textPrompts; }

    const QList<RecordedMessage>& recorded() const { return m_recorded; }
    // Where each file-save dialog started: the folder or the file name it suggested.
    const QStringList& saveDialogFolders() const { return m_saveDialogFolders; }
    QStringList recordedTexts() const;
    int unansweredQuestions() const { return int(m_unanswered.size()); }
    // What was asked with no answer queued: a question's text, a dialog's caption.
    const QStringList& unansweredTexts() const { return m_unanswered; }
    // Forgets recorded texts and queued answers.
    void reset();

    static QString captionFor(MessageKind kind);

private:
    bool takeAnswer(const QString& text);

    bool m_scripted = false;
    std::deque<bool> m_answers;
    std::deque<QString> m_fileNames;
    struct PrinterAnswer {
        bool accepted;
        QString pdfFileName;   // empty: the printer as it was
    };
    std::deque<PrinterAnswer> m_printerAnswers;
    std::deque<QString> m_folders;
    std::deque<QString> m_texts;
    QStringList m_textPrompts;   // the label and the items of each text asked, a line each
    QList<RecordedMessage> m_recorded;
    QStringList m_saveDialogFolders;
    QStringList m_unanswered;
};

// The program-wide service.
MessageBoxes& messageBoxes();

} // namespace kfc::app
