// The phone book: its file format, order, and the window's add, delete, Cancel and the
// files it must not overwrite.

#include "app/phonebookfile.h"
#include "app/tfrmphonebook.h"
#include "support/apptest.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTableWidget>

using namespace kfc;
using namespace kfc::app;

class TestPhoneBook : public QObject {
    Q_OBJECT

    std::unique_ptr<test::AppFixture> fixture;

    QByteArray fileBytes() const
    {
        QFile file(phoneBookPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

private slots:
    void init()
    {
        fixture = std::make_unique<test::AppFixture>();
        usePhoneBookFolder(fixture->folder());
    }
    void cleanup()
    {
        usePhoneBookFolder({});
        fixture.reset();
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("CR LF") << QByteArray("a=1\r\nb=2\r\n") << QStringList{"a=1", "b=2"};
        QTest::newRow("lone CR") << QByteArray("a=1\rb=2") << QStringList{"a=1", "b=2"};
        QTest::newRow("lone LF") << QByteArray("a=1\nb=2\n") << QStringList{"a=1", "b=2"};
        QTest::newRow("blank line") << QByteArray("a=1\r\n\r\nb=2\r\n") << QStringList{"a=1", "", "b=2"};
        QTest::newRow("LF CR is two ends") << QByteArray("a=1\n\rb=2") << QStringList{"a=1", "", "b=2"};
        QTest::newRow("zero byte ends") << QByteArray("a=1\r\nb=2\0c=3\r\n", 15) << QStringList{"a=1", "b=2"};
        QTest::newRow("spaces kept") << QByteArray(" Bob =0123 456 \r\n") << QStringList{" Bob =0123 456 "};
        QTest::newRow("empty") << QByteArray() << QStringList{};
    }
    void parse()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, entries);
        QCOMPARE(parsePhoneBook(bytes), entries);
        // What is written reads back the same.
        QCOMPARE(parsePhoneBook(formatPhoneBook(entries)), entries);
    }

    void split_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("number");
        QTest::newRow("plain") << "Bob=0123 456" << "Bob" << "0123 456";
        QTest::newRow("= in number") << "Bob=12=34" << "Bob" << "12=34";
        QTest::newRow("no =") << "Bob" << "" << "";
        QTest::newRow("empty") << "" << "" << "";
    }
    void split()
    {
        QFETCH(QString, line);
        QFETCH(QString, name);
        QFETCH(QString, number);
        QCOMPARE(entryName(line), name);
        QCOMPARE(entryNumber(line), number);
    }

    // Loaded sorted without regard to case; Cancel still writes the file, with CR LF.
    void cancelWritesSorted()
    {
        QString error;
        QVERIFY(writePhoneBook(phoneBookPath(), {"smith=2", "", "Adams=1"}, &error));
        {
            TfrmPhoneBook book;
            QCOMPARE(book.entries(), (QStringList{"", "Adams=1", "smith=2"}));
            auto* grid = test::child<QTableWidget>(&book, "strgrdContacts");
            QCOMPARE(grid->item(1, 0)->text(), QStringLiteral("Adams"));
            QVERIFY(book.HasSelection());
            QCOMPARE(book.SelectedIndex(), 0);
            book.actnCancelExecute();
            QCOMPARE(book.result(), int(QDialog::Rejected));
            QFile::remove(phoneBookPath());
        }
        QCOMPARE(fileBytes(), QByteArray("\r\nAdams=1\r\nsmith=2\r\n"));
    }

    // Add through the entry window, then delete with its question.
    void addAndDelete()
    {
        {
            TfrmPhoneBook book;
            QVERIFY(!book.HasSelection());
            test::onNextModal([](QWidget* entry) {
                QCOMPARE(entry->windowTitle(), QStringLiteral("Add Phone Number"));
                test::child<QLineEdit>(entry, "edtName")->setText("Bob");
                test::child<QLineEdit>(entry, "edtNumber")->setText("0123 456");
                test::child<QPushButton>(entry, "BitBtn1")->click();
            });
            book.actnAddExecute();
            test::onNextModal([](QWidget* entry) {
                test::child<QLineEdit>(entry, "edtName")->setText("adam");
                test::child<QPushButton>(entry, "BitBtn1")->click();
            });
            book.actnAddExecute();
            QCOMPARE(book.SelectedName(), QStringLiteral("adam"));   // the new row, after sorting
            messageBoxes().queueAnswer(true);
            book.actnDeleteExecute();
            QCOMPARE(messageBoxes().recordedTexts(),
                     QStringList{"Are you sure you want to delete adam () ?"});
            QCOMPARE(book.SelectedNumber(), QStringLiteral("0123 456"));
        }
        QCOMPARE(fileBytes(), QByteArray("Bob=0123 456\r\n"));
    }

    // Edit with an empty book replaces nothing.
    void editEmptyBook()
    {
        {
            TfrmPhoneBook book;
            book.actnEditExecute();
            QVERIFY(book.entries().isEmpty());
        }
        QCOMPARE(messageBoxes().recordedTexts(), QStringList{"There is no phone number to edit."});
        QCOMPARE(fileBytes(), QByteArray());
    }

    // A file that is there but cannot be read is never replaced by an empty book; a file
    // that cannot be written is named.
    void unreadableAndUnwritable()
    {
        QVERIFY(QDir(fixture->folder()).mkdir(kPhoneBookFileName));   // a folder: cannot be read
        {
            TfrmPhoneBook book;
            QVERIFY(!book.SavePhoneBook());
        }
        QVERIFY(QFileInfo(phoneBookPath()).isDir());
        QCOMPARE(messageBoxes().recorded().size(), 1);
        QVERIFY(messageBoxes().recordedTexts().first().startsWith("Cannot read the phone book "));

        messageBoxes().reset();
        QFile blocker(QDir(fixture->folder()).filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        usePhoneBookFolder(blocker.fileName());   // a folder inside a file
        { TfrmPhoneBook book; }
        QCOMPARE(messageBoxes().recorded().size(), 1);
        QVERIFY(messageBoxes().recordedTexts().first().contains(
            QDir::toNativeSeparators(QDir(blocker.fileName()).filePath(kPhoneBookFileName))));
    }
};

KFC_APP_TEST_MAIN(TestPhoneBook)
#include "test_phonebook.moc"
