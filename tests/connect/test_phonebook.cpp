// The phone book: its file format, order, and the window's add, delete, Cancel and the
// files it must not overwrite.

#include "connect/phonebookfile.h"
#include "connect/tfrmphonebook.h"
#include "support/apptest.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableWidget>

using namespace kfc;
using namespace kfc::app;
using namespace kfc::connect;

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
        // Written on a Windows PC: the same on every system.
        QTest::newRow("Windows-1252") << QByteArray("Z\xfcrich \x80\x8a\x9f=0161\r\n")
                                      << QStringList{QString::fromUtf8("Zürich €ŠŸ=0161")};
        QTest::newRow("undefined bytes") << QByteArray("\x81\x8d\x8f\x90\x9d\r\n")
                                         << QStringList{QString::fromUtf16(u"\u0081\u008d\u008f\u0090\u009d")};
    }
    void parse()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, entries);
        QCOMPARE(parsePhoneBook(bytes), entries);
        // What is written reads back the same.
        QCOMPARE(parsePhoneBook(formatPhoneBook(entries).value()), entries);
    }

    // Every byte but the line ends and zero comes back as it was; a character that the
    // file cannot hold is refused, never written as '?'.
    void everyByteComesBack()
    {
        QByteArray bytes;
        for (int b = 1; b < 256; ++b) {
            if (b != '\r' && b != '\n')
                bytes += char(b);
        }
        bytes += "\r\n";
        QCOMPARE(formatPhoneBook(parsePhoneBook(bytes)), std::optional<QByteArray>(bytes));
        QString error;
        QVERIFY(!writePhoneBook(phoneBookPath(), {QString::fromUtf8("Łódź=0161")}, &error));
        QVERIFY(error.contains(QString::fromUtf8("\"Łódź=0161\" holds the character \"Ł\"")));
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
        QVERIFY(writePhoneBook(phoneBookPath(), {"smith=2", "", "Carter=3", "Adams=1", "bob=4"}, &error));
        {
            TfrmPhoneBook book;
            QCOMPARE(book.entries(), (QStringList{"", "Adams=1", "bob=4", "Carter=3", "smith=2"}));
            auto* grid = test::child<QTableWidget>(&book, "strgrdContacts");
            QCOMPARE(grid->item(1, 0)->text(), QStringLiteral("Adams"));
            QVERIFY(book.HasSelection());
            QCOMPARE(book.SelectedIndex(), 0);
            book.actnCancelExecute();
            QCOMPARE(book.result(), int(QDialog::Rejected));
            QFile::remove(phoneBookPath());
        }
        QCOMPARE(fileBytes(), QByteArray("\r\nAdams=1\r\nbob=4\r\nCarter=3\r\nsmith=2\r\n"));
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

    // Edit: typing stops at 30 characters, but a longer stored entry is never cut, and an
    // entry left as it was is written back byte for byte.
    void edit_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("replace");   // select the field's text before typing
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QStringList>("messages");
        const QByteArray longName = "River Tay, upper weir, left bank 2";    // 34
        const QByteArray longNumber = "9,,01632 960001,,,,,,,,,,,,,,,,,,,,,,,,4";   // 40
        const QByteArray longEntry = longName + '=' + longNumber + "\r\n";
        QTest::newRow("long entry unchanged") << longEntry << "edtName" << false << "" << longEntry << QStringList{};
        QTest::newRow("only the name changed") << longEntry << "edtName" << true << "Weir 7" << "Weir 7=" + longNumber + "\r\n"
                                               << QStringList{};
        QTest::newRow("no typing past a long entry") << longEntry << "edtNumber" << false << "99" << longEntry
                                                     << QStringList{};
        QTest::newRow("30 typed at most") << QByteArray("Bob=1\r\n") << "edtNumber" << false << QString(40, '7')
                                          << QByteArray("Bob=1" + QByteArray(29, '7') + "\r\n") << QStringList{};
        QTest::newRow("line without = kept") << QByteArray("Bob\r\n") << "edtName" << false << "" << QByteArray("Bob\r\n")
                                             << QStringList{};
        QTest::newRow("character refused") << QByteArray("Bob=1\r\n") << "edtName" << true << QString::fromUtf8("Łukasz")
                                           << QByteArray("Bob=1\r\n")
                                           << QStringList{QString::fromUtf8(
                                                  "\"Łukasz\" holds the character \"Ł\", which the phone book cannot "
                                                  "store (its file is in the Windows-1252 code page).\nPlease change it.")};
    }
    void edit()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, field);
        QFETCH(bool, replace);
        QFETCH(QString, typed);
        {
            QFile stored(phoneBookPath());
            QVERIFY(stored.open(QIODevice::WriteOnly) && stored.write(file) == file.size());
        }
        {
            TfrmPhoneBook book;
            test::onNextModal([&](QWidget* entry) {
                auto* edit = test::child<QLineEdit>(entry, field);
                if (replace)
                    edit->selectAll();
                else
                    edit->end(false);
                for (const QChar c : typed) {   // as typed, letters beyond ASCII too
                    QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
                    QApplication::sendEvent(edit, &key);
                }
                test::child<QPushButton>(entry, "BitBtn1")->click();
                if (entry->isVisible())
                    test::child<QPushButton>(entry, "BitBtn2")->click();
            });
            book.actnEditExecute();
        }
        QTEST(fileBytes(), "written");
        QTEST(messageBoxes().recordedTexts(), "messages");
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
