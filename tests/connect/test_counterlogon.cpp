// The password window against the simulated counter: its three modes, the padding of the
// password, the attempts and every text the user sees.

#include "support/apptest.h"

#include "connect/tfcounterlogon.h"
#include "counter/password.h"

#include <QLabel>
#include <QLineEdit>

using namespace kfc;
using namespace kfc::app;
using namespace kfc::connect;
using kfc::test::AppFixture;
using kfc::test::child;

namespace {

// The program's windows with the port open on a simulated counter.
struct Connected {
    explicit Connected(const QString& password = {}) : line(*fixture.store())
    {
        line.pty.counter().state.password = password;
        windows = test::makeWindows();
        ok = windows->main().comPort().OpenPort();
    }
    TfCounterLogon& logon() { return dynamic_cast<TfCounterLogon&>(*fCounterLogon); }
    QStringList commands() { return line.commands(); }

    AppFixture fixture;
    test::SimulatedLine line;
    std::unique_ptr<ProgramWindows> windows;
    bool ok = false;
};

void type(QWidget* dialog, const QString& text)
{
    auto* entry = child<QLineEdit>(dialog, "mePassword");
    entry->clear();
    QTest::keyClicks(entry, text);
}

void clickOk(QWidget* dialog) { child<QPushButton>(dialog, "BitBtn1")->click(); }

} // namespace

class TestCounterLogon : public QObject {
    Q_OBJECT
private slots:
    void passwordStateOfEachReply_data();
    void passwordStateOfEachReply();
    void controlsAndCaptions();
    void rightPasswordLogsOn();
    void shortPasswordIsPaddedWithZeros();
    void fiveCharactersAreSentUnchanged();
    void threeWrongPasswords();
    void attemptsStartAgainEachShowing();
    void noPasswordSetSendsNothingMore();
    void noReplyToStateQueryCountsAsAttempt();
    void setModeSetsThePassword();
    void changeModeWhileLoggedOn();
    void setWhileNotLoggedOnIsRefusedButClosesWithOk();
    void onlyPrintableCharactersAreTaken();
    void cancelClosesWithCancel();
    void deadLineClosesAsRefused();
};

// Only the exact replies count; silence is told apart from a reply that makes no sense.
void TestCounterLogon::passwordStateOfEachReply_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<PasswordState>("state");
    QTest::newRow("new") << "NEW" << PasswordState::New;
    QTest::newRow("old") << "OLD" << PasswordState::Old;
    QTest::newRow("logged on") << "1OR2" << PasswordState::LoggedOn;
    QTest::newRow("silence") << "" << PasswordState::NoAnswer;
    QTest::newRow("lower case") << "new" << PasswordState::Invalid;
    QTest::newRow("trailing blank") << "OLD " << PasswordState::Invalid;
}

void TestCounterLogon::passwordStateOfEachReply()
{
    QFETCH(QString, reply);
    QTEST(ClassifyPasswordState(reply), "state");
}

void TestCounterLogon::controlsAndCaptions()
{
    Connected c;
    QVERIFY(c.ok);
    TfCounterLogon& w = c.logon();
    QCOMPARE(child<QLabel>(&w, "Label1")->text(), QString("Password:"));
    QCOMPARE(child<QLineEdit>(&w, "mePassword")->echoMode(), QLineEdit::Password);
    QCOMPARE(child<QPushButton>(&w, "BitBtn1")->text(), QString("&OK"));
    QVERIFY(child<QPushButton>(&w, "BitBtn1")->isDefault());
    QCOMPARE(child<QPushButton>(&w, "BitBtn2")->text(), QString("&Cancel"));
    QVERIFY(!(w.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint)));

    QStringList captions;
    for (auto show : {&TfCounterLogon::showForLogon, &TfCounterLogon::showForSet,
                      &TfCounterLogon::showForChange}) {
        test::onNextModal([&captions](QWidget* dialog) {
            captions << dialog->windowTitle();
            child<QPushButton>(dialog, "BitBtn2")->click();
        });
        QCOMPARE((w.*show)(), int(QDialog::Rejected));
    }
    QCOMPARE(captions, QStringList({"Counter Logon", "Set Counter Password", "Change Counter Password"}));
    QCOMPARE(c.commands(), QStringList());
}

void TestCounterLogon::rightPasswordLogsOn()
{
    Connected c("1234");
    test::onNextModal([](QWidget* dialog) {
        type(dialog, "1234");
        clickOk(dialog);
    });
    QCOMPARE(c.logon().showForLogon(), int(QDialog::Accepted));
    QCOMPARE(c.commands(), QStringList({"9D", "9", "1234"}));
    QVERIFY(c.line.pty.counter().state.loggedOn);
    QVERIFY(messageBoxes().recorded().isEmpty());
}

void TestCounterLogon::shortPasswordIsPaddedWithZeros()
{
    Connected c("0007");
    test::onNextModal([](QWidget* dialog) {
        type(dialog, "7");
        clickOk(dialog);
    });
    QCOMPARE(c.logon().showForLogon(), int(QDialog::Accepted));
    QCOMPARE(c.commands().last(), QString("0007"));
}

void TestCounterLogon::fiveCharactersAreSentUnchanged()
{
    Connected c("98765");
    test::onNextModal([](QWidget* dialog) {
        type(dialog, "98765");
        clickOk(dialog);
    });
    QCOMPARE(c.logon().showForLogon(), int(QDialog::Accepted));
    QCOMPARE(c.commands().last(), QString("98765"));
}

void TestCounterLogon::threeWrongPasswords()
{
    Connected c("1234");
    QList<bool> openAfter;
    QStringList entryAfter;
    test::onNextModal([&](QWidget* dialog) {
        for (int i = 0; i < 3; ++i) {
            type(dialog, "11");
            clickOk(dialog);
            openAfter << dialog->isVisible();
            entryAfter << child<QLineEdit>(dialog, "mePassword")->text();
        }
        // A window left open after the third attempt would otherwise hang the test.
        if (dialog->isVisible())
            qobject_cast<QDialog*>(dialog)->done(-1);
    });
    QCOMPARE(c.logon().showForLogon(), int(QDialog::Rejected));
    QCOMPARE(openAfter, QList<bool>({true, true, false}));
    QCOMPARE(entryAfter, QStringList({"11", "11", "11"}));
    QCOMPARE(c.logon().attempts(), 3);
    QCOMPARE(messageBoxes().recorded(),
             (QList<RecordedMessage>{
                 {MessageKind::Information, "Response DENIED", false, false},
                 {MessageKind::Error, "Password Incorrect - you have 2 left", false, false},
                 {MessageKind::Information, "Response DENIED", false, false},
                 {MessageKind::Error, "Password Incorrect - you have 1 left", false, false},
                 {MessageKind::Information, "Response DENIED", false, false},
                 {MessageKind::Error, "Password Incorrect - Too many attempts", false, false}}));
    QCOMPARE(c.commands(), QStringList({"9D", "9", "0011", "9D", "9", "0011", "9D", "9", "0011"}));
}

void TestCounterLogon::attemptsStartAgainEachShowing()
{
    Connected c("1234");
    test::onNextModal([](QWidget* dialog) {
        type(dialog, "1");
        clickOk(dialog);
        child<QPushButton>(dialog, "BitBtn2")->click();
    });
    QCOMPARE(c.logon().showForLogon(), int(QDialog::Rejected));
    QCOMPARE(c.logon().attempts(), 1);

    QString entryAtShow;
    test::onNextModal([&entryAtShow](QWidget* dialog) {
        entryAtShow = child<QLineEdit>(dialog, "mePassword")->text();
        type(dialog, "2");
        clickOk(dialog);
        child<QPushButton>(dialog, "BitBtn2")->click();
    });
    messageBoxes().reset();
    QCOMPARE(c.logon().showForLogon(), int(QDialog::Rejected));
    QCOMPARE(entryAtShow, QString());
    QCOMPARE(messageBoxes().recordedTexts().last(), QString("Password Incorrect - you have 2 left"));
}

void TestCounterLogon::noPasswordSetSendsNothingMore()
{
    Connected c;
    test::onNextModal([](QWidget* dialog) {
        type(dialog, "5555");
        clickOk(dialog);
    });
    QCOMPARE(c.logon().showForLogon(), int(QDialog::Accepted));
    QCOMPARE(c.commands(), QStringList({"9D"}));
}

void TestCounterLogon::noReplyToStateQueryCountsAsAttempt()
{
    Connected c("1234");
    c.line.pty.counter().addFault({sim::SimFault::NoReply, "9D", 1, 0});
    test::onNextModal([](QWidget* dialog) {
        type(dialog, "1234");
        clickOk(dialog);
        child<QPushButton>(dialog, "BitBtn2")->click();
    });
    QCOMPARE(c.logon().showForLogon(), int(QDialog::Rejected));
    QCOMPARE(messageBoxes().recorded(),
             (QList<RecordedMessage>{
                 {MessageKind::Error, "Invalid Password Response - ", false, false},
                 {MessageKind::Error, "Password Incorrect - you have 2 left", false, false}}));
    QCOMPARE(c.commands(), QStringList({"9D"}));
}

void TestCounterLogon::setModeSetsThePassword()
{
    Connected c;
    test::onNextModal([](QWidget* dialog) {
        type(dialog, "42");
        clickOk(dialog);
    });
    QCOMPARE(c.logon().showForSet(), int(QDialog::Accepted));
    QTRY_COMPARE(c.commands(), QStringList({"9D", "90042"}));
    QCOMPARE(c.line.pty.counter().state.password, QString("0042"));
}

void TestCounterLogon::changeModeWhileLoggedOn()
{
    Connected c("1234");
    QVERIFY(CounterLogon(c.windows->main().link(), "1234"));
    c.line.pty.counter().clearCommands();
    test::onNextModal([](QWidget* dialog) {
        type(dialog, "24680");
        clickOk(dialog);
    });
    QCOMPARE(c.logon().showForChange(), int(QDialog::Accepted));
    QTRY_COMPARE(c.commands(), QStringList({"9D", "9124680"}));
    QCOMPARE(c.line.pty.counter().state.password, QString("24680"));
}

void TestCounterLogon::setWhileNotLoggedOnIsRefusedButClosesWithOk()
{
    Connected c("1234");
    test::onNextModal([](QWidget* dialog) {
        type(dialog, "9999");
        clickOk(dialog);
    });
    QCOMPARE(c.logon().showForChange(), int(QDialog::Accepted));
    QCOMPARE(messageBoxes().recorded(),
             (QList<RecordedMessage>{{MessageKind::Error, "Must logon before changing password", false, false}}));
    QCOMPARE(c.commands(), QStringList({"9D"}));
    QCOMPARE(c.line.pty.counter().state.password, QString("1234"));
}

void TestCounterLogon::onlyPrintableCharactersAreTaken()
{
    Connected c;
    auto* entry = child<QLineEdit>(&c.logon(), "mePassword");
    // As a paste would bring it: an end-of-frame byte inside would cut the command short.
    entry->insert(QString("ab") + QChar(0x03) + "cd");
    QCOMPARE(entry->text(), QString());
    entry->insert("ab cd~");
    QCOMPARE(entry->text(), QString("ab cd~"));
    QCOMPARE(entry->maxLength(), 252);
}

void TestCounterLogon::cancelClosesWithCancel()
{
    Connected c("1234");
    test::onNextModal([](QWidget* dialog) {
        type(dialog, "1234");
        child<QPushButton>(dialog, "BitBtn2")->click();
    });
    QCOMPARE(c.logon().showForLogon(), int(QDialog::Rejected));
    QCOMPARE(c.commands(), QStringList());
}

// Nothing is left to log on to: the window does not ask again on a dead line.
void TestCounterLogon::deadLineClosesAsRefused()
{
    Connected c("1234");
    QObject::connect(&c.line.pty.counter(), &sim::SimCounter::commandReceived, &c.logon(), [&] { c.line.pty.hangUp(); });
    test::onNextModal([](QWidget* dialog) {
        type(dialog, "1234");
        clickOk(dialog);
        if (dialog->isVisible())
            qobject_cast<QDialog*>(dialog)->done(-1);
    });
    QCOMPARE(c.logon().showForLogon(), int(QDialog::Rejected));
}

KFC_APP_TEST_MAIN(TestCounterLogon)
#include "test_counterlogon.moc"
