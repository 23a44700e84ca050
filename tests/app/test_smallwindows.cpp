// The about box, the debug log and the placeholder.

#include "support/apptest.h"
#include "support/logtext.h"

#include "app/tfblank.h"
#include "app/tfrmabout.h"
#include "app/tfrmdebug.h"
#include "app/versioninfo.h"
#include "counter/password.h"

#include <QLabel>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>

using namespace kfc;
using namespace kfc::app;
using kfc::test::AppFixture;
using kfc::test::child;
using kfc::test::withoutFrameTimes;

namespace {

QString label(const QWidget* window, const char* name) { return child<QLabel>(window, name)->text(); }
} // namespace

class TestSmallWindows : public QObject {
    Q_OBJECT
private slots:
    void aboutShowsTheBuildsVersion();
    void aboutLayout();
    void aboutOpensFromTheHelpMenu();
    void stringsOnlyInAnotherBlockLeaveTheTextsEmpty();
    void noVersionResourceShowsZeros();
    void versionStringsAreSortedAndFoundWithoutRegardToCase();
    void partsAbove255AreShownWhole();
    void debugLogGetsTwoLinesPerExchange();
    void debugLogKeepsTheLatestLinesAndSaysSo();
    void placeholderWindow();
    void messageServiceTakesQueuedAnswersInOrder();
};

void TestSmallWindows::aboutShowsTheBuildsVersion()
{
    TfrmAbout about;
    about.show();
    // The expected values come from the build (tests/app/CMakeLists.txt passes them on).
    QCOMPARE(label(&about, "labProduct"), QString(KFC_TEST_DESCRIPTION));
    QCOMPARE(label(&about, "lblCopyright"), QString(KFC_TEST_COPYRIGHT));
    QCOMPARE(label(&about, "labVersion"), QString("Version " KFC_TEST_VERSION));
    QCOMPARE(label(&about, "labBuild"), QString("Build " KFC_TEST_BUILD));
    QCOMPARE(label(&about, "labReleased"), QString("Released " KFC_TEST_RELEASE_DATE));
}

void TestSmallWindows::aboutLayout()
{
    TfrmAbout about;
    about.show();
    QCOMPARE(about.windowTitle(), QString("About"));
    QCOMPARE(about.size(), QSize(347, 256));
    auto* ok = child<QPushButton>(&about, "OKButton");
    QCOMPARE(ok->text(), QString("&OK"));
    auto* icon = child<QLabel>(&about, "ProgramIcon");
    QCOMPARE(icon->size(), QSize(32, 32));
    QVERIFY(!icon->pixmap().isNull());
    auto* notes = child<QPlainTextEdit>(&about, "memLog");
    QVERIFY(notes->isReadOnly());
    QCOMPARE(notes->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(notes->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(notes->toPlainText().startsWith("Version " KFC_TEST_VERSION "  "));
    QVERIFY(notes->toPlainText().contains("\nBuilt and tested on Debian 12 only.\n"));
    // Every label lies inside the panel, none cut off.
    for (const char* name : {"labProduct", "lblCopyright", "labVersion", "labBuild", "labReleased"}) {
        auto* line = child<QLabel>(&about, name);
        QVERIFY2(line->width() >= line->sizeHint().width(), name);
    }
}

void TestSmallWindows::aboutOpensFromTheHelpMenu()
{
    AppFixture fixture;
    auto windows = test::makeWindows();
    QString opened;
    test::onNextModal([&opened](QWidget* dialog) {
        opened = dialog->windowTitle() + " " + label(dialog, "labVersion");
        child<QPushButton>(dialog, "OKButton")->click();
    });
    test::menuItem(windows->main(), "menuAbout")->trigger();
    QCOMPARE(opened, QString("About Version " KFC_TEST_VERSION));
    QVERIFY(!windows->main().findChild<TfrmAbout*>());
}

void TestSmallWindows::stringsOnlyInAnotherBlockLeaveTheTextsEmpty()
{
    VersionResource resource = builtInVersionResource();
    resource.stringBlocks = {{"040904B0", resource.stringBlocks.value(kVersionBlock)}};
    resource.productVersion = {2, 3, 4, 5};
    TfrmAbout about(nullptr, resource);
    about.show();
    QCOMPARE(label(&about, "labProduct"), QString());
    QCOMPARE(label(&about, "lblCopyright"), QString());
    QCOMPARE(label(&about, "labVersion"), QString("Version 2.3.4"));
    QCOMPARE(label(&about, "labBuild"), QString("Build 5"));
    QCOMPARE(label(&about, "labReleased"), QString("Released "));
}

void TestSmallWindows::noVersionResourceShowsZeros()
{
    TfrmAbout about(nullptr, VersionResource{});
    about.show();
    QCOMPARE(label(&about, "labProduct"), QString());
    QCOMPARE(label(&about, "labVersion"), QString("Version 0.0.0"));
    QCOMPARE(label(&about, "labBuild"), QString("Build 0"));
    QCOMPARE(label(&about, "labReleased"), QString("Released "));
}

void TestSmallWindows::versionStringsAreSortedAndFoundWithoutRegardToCase()
{
    VersionResource resource;
    resource.present = true;
    resource.stringBlocks[kVersionBlock] = {{"ReleaseDate", "01/02/03"},
                                            {"CompanyName", "Kestrova Ltd"},
                                            {"FileDescription", "Counter"},
                                            {"Unlisted", "not read"}};
    const VersionInfo info = ReadVersionInfo(resource);
    QCOMPARE(info.VersionStrings,
             QStringList({"CompanyName=Kestrova Ltd", "FileDescription=Counter", "ReleaseDate=01/02/03"}));
    QCOMPARE(info.value("releasedate"), QString("01/02/03"));
    QCOMPARE(info.value("Unlisted"), QString());
}

void TestSmallWindows::partsAbove255AreShownWhole()
{
    VersionResource resource;
    resource.present = true;
    resource.hasFixedInfo = true;
    resource.productVersion = {1, 300, 0, 1024};
    TfrmAbout about(nullptr, resource);
    about.show();
    QCOMPARE(label(&about, "labVersion"), QString("Version 1.300.0"));
    QCOMPARE(label(&about, "labBuild"), QString("Build 1024"));
}

void TestSmallWindows::debugLogGetsTwoLinesPerExchange()
{
    test::MainFrameSession s;
    TfMain& main = *s.main;
    test::SimulatedLine& line = s.line;
    QVERIFY(main.comPort().OpenPort());
    main.link().Exchange("9D");
    main.link().Exchange("9D");
    // Passwords appear as '*' (logon, set, change); a reply's control bytes escaped.
    line.pty.counter().state.password = "0042";
    QVERIFY(CounterLogon(main.link(), "0042"));
    QVERIFY(SetCounterPassword(main.link(), "7777"));
    main.link().Exchange("91" + QString("7777"));
    main.link().LogLine(QString("Rx  a") + QChar(0) + "\x1b[2J");
    QCOMPARE(frmDebug->windowTitle(), QString("Debug"));
    QVERIFY(!frmDebug->isVisible());
    // The password set gets no reply, and is logged all the same.
    const QString expected = "Tx  9D\nRx  NEW\nTx  9D\nRx  NEW\nTx  9D\nRx  OLD\nTx  9\nRx  PASSWORD\nTx  ****\nRx  OK\n"
                             "Tx  9D\nRx  1OR2\nTx  9*****\nTx  9*****\nRx  \nRx  a\\x00\\x1B[2J";
    QCOMPARE(withoutFrameTimes(child<QPlainTextEdit>(frmDebug, "Memo1")->toPlainText()), expected);
    QVERIFY(line.commands().contains("0042"));  // masked in the log only

    // Saved through the file dialog, each line stamped, masked as shown.
    QTemporaryDir folder;
    messageBoxes().queueSaveFileName(folder.filePath("debug.log"));
    QTest::mouseClick(child<QPushButton>(frmDebug, "btnSaveLog"), Qt::LeftButton);
    QFile saved(folder.filePath("debug.log"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(saved.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), expected.count('\n') + 1);
    static const QRegularExpression stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  ");
    for (int i = 0; i < lines.size(); ++i) {
        QVERIFY2(stamp.match(lines[i]).hasMatch(), qPrintable(lines[i]));
        QCOMPARE(withoutFrameTimes(lines[i].mid(25)), expected.split('\n')[i]);
    }
    // A file that cannot be written is reported, not passed over.
    messageBoxes().queueSaveFileName(folder.filePath("no/such/folder/debug.log"));
    QVERIFY(!frmDebug->saveLog());
    QVERIFY2(messageBoxes().recordedTexts().last().startsWith("Cannot save the debug log to "),
             qPrintable(messageBoxes().recordedTexts().join('|')));
}

void TestSmallWindows::debugLogKeepsTheLatestLinesAndSaysSo()
{
    AppFixture fixture;
    TfrmDebug debug;
    for (int n = 1; n <= TfrmDebug::kCapacity + 3; ++n)
        debug.LogLine(QString("Rx  %1").arg(n));
    const QTextDocument* memo = debug.Memo1()->document();
    QCOMPARE(memo->blockCount(), TfrmDebug::kCapacity + 1);
    const QString notice = "--  3 older lines dropped: this log keeps the latest 50000.";
    QCOMPARE(memo->firstBlock().text(), notice);
    QCOMPARE(memo->firstBlock().next().text(), QString("Rx  4"));
    QCOMPARE(memo->lastBlock().text(), QString("Rx  %1").arg(TfrmDebug::kCapacity + 3));

    // The saved log opens with the same notice, then the lines kept, each stamped.
    const QStringList saved = debug.stampedText().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(saved.size(), TfrmDebug::kCapacity + 1);
    QCOMPARE(saved.first(), notice);
    QCOMPARE(saved[1].mid(25), QString("Rx  4"));
    QCOMPARE(saved.last().mid(25), QString("Rx  %1").arg(TfrmDebug::kCapacity + 3));
}

void TestSmallWindows::placeholderWindow()
{
    AppFixture fixture;
    auto windows = test::makeWindows();
    QCOMPARE(fBlank->windowTitle(), QString("Not Connected"));
    QVERIFY(!(fBlank->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint
                                       | Qt::WindowSystemMenuHint)));
    QCOMPARE(fBlank->panMain()->objectName(), QString("panMain"));
    QCOMPARE(fBlank->panMain()->text(), QString());
    QCOMPARE(fBlank->panMain()->frameStyle(), int(QFrame::NoFrame));
    QVERIFY(fBlank->isMaximized());
    fBlank->showNormal();
    windows->main().mdiArea()->setActiveSubWindow(nullptr);
    windows->main().showBlank();
    QVERIFY(fBlank->isMaximized());
}

void TestSmallWindows::messageServiceTakesQueuedAnswersInOrder()
{
    AppFixture fixture;
    messageBoxes().queueAnswer(true);
    messageBoxes().queueAnswer(false);
    QVERIFY(messageBoxes().ask(MessageKind::Warning, "first"));
    QVERIFY(!messageBoxes().ask(MessageKind::Warning, "second"));
    QCOMPARE(messageBoxes().unansweredQuestions(), 0);
    QVERIFY(!messageBoxes().ask(MessageKind::Confirmation, "third"));
    QCOMPARE(messageBoxes().unansweredQuestions(), 1);
    QCOMPARE(messageBoxes().unansweredTexts(), QStringList{"third"});
    // Left unanswered on purpose, above: the fixture's own check would fail the test.
    messageBoxes().reset();
    messageBoxes().queueSaveFileName("/tmp/events.LG2");
    QCOMPARE(messageBoxes().askSaveFileName(nullptr, "Save", {}, {}), QString("/tmp/events.LG2"));
    QCOMPARE(MessageBoxes::captionFor(MessageKind::Error), QString("Error"));
}

KFC_APP_TEST_MAIN(TestSmallWindows)
#include "test_smallwindows.moc"
