#pragma once
// "Phone Book": the named telephone numbers of counter sites, kept in "PhoneNumbers.ini".
// The book reads the file when it is made and writes it back when it is freed, whatever
// its result, unless the file was there but could not be read: then the stored entries
// are never overwritten with an empty list.

#include <QDialog>
#include <QKeySequence>
#include <QStringList>

class QAction;
class QLineEdit;
class QTableWidget;
class QToolBar;

namespace kfc::connect {

// "Add Phone Number" / "Edit Phone Number": one entry's name and number, taken as typed.
// At most 30 characters may be typed into a field; an entry the program puts in is never
// cut, and typing may then go on up to its own length. OK refuses a character that the
// phone book file cannot hold, saying which, so that it never becomes a '?' in a number.
class TfrmAddPhone : public QDialog {
    Q_OBJECT
public:
    TfrmAddPhone(bool adding, QWidget* parent = nullptr);
    static constexpr int kMaxLength = 30;

    // Fills a field with a stored text, whole.
    static void fill(QLineEdit* field, const QString& text);

    void accept() override;

    QLineEdit* edtName;
    QLineEdit* edtNumber;
};

class TfrmPhoneBook : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPhoneBook(QWidget* parent = nullptr);
    ~TfrmPhoneBook() override;

    bool HasSelection() const;
    int SelectedIndex() const;
    QString SelectedName() const;
    QString SelectedNumber() const;

    const QStringList& entries() const { return m_entries; }
    const QString& FileName() const { return m_fileName; }

    void RefreshGrid();
    void LoadPhoneBook();
    // False (and said) when the file could not be written, or was not because it could
    // not be read.
    bool SavePhoneBook();

    void actnSelectExecute();
    void actnCancelExecute();
    void actnAddExecute();
    void actnEditExecute();
    void actnDeleteExecute();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void selectLine(const QString& line);
    QAction* addAction(const QString& name, const QString& hint, QIcon icon, void (TfrmPhoneBook::*handler)(),
                       const QKeySequence& key = {});

    QStringList m_entries;
    QString m_fileName;
    bool m_readFailed = false;
    QToolBar* m_toolBar;
    QTableWidget* m_strgrdContacts;
};

} // namespace kfc::connect
