// Keys that must reach their controls: one table of window, key and what must happen, for
// the windows whose keys a keyboard user relies on; then the phone book's buttons in the
// tab order, and the debug log opening wholly on the screen.

#include "support/apptest.h"

#include "app/tfrmdebug.h"
#include "connect/phonebookfile.h"
#include "connect/tfdirectcoms.h"
#include "connect/tfrmphonebook.h"
#include "support/fakeportdevice.h"

#include <QAbstractButton>
#include <QScreen>
#include <QTableWidget>
#include <QToolBar>

using namespace kfc;
using namespace kfc::test;

namespace {

// The window a row opens, shown and active. Freed with the row.
std::unique_ptr<QWidget> openWindow(const QString& name, ComPort& port)
{
    std::unique_ptr<QWidget> window;
    if (name == "Com Port Setup")
        window = std::make_unique<connect::TfDirectComs>(port, [] { return QList<PresentPort>{{1, "COM 1", {}, {}}}; });
    else if (name == "Phone Book")
        window = std::make_unique<connect::TfrmPhoneBook>();
    else
        window = std::make_unique<app::TfrmDebug>();
    window->show();
    window->activateWindow();
    return window;
}

} // namespace

class TestKeys : public QObject {
    Q_OBJECT

private slots:
    void keyReachesItsControl_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QKeySequence>("key");
        // The button or action that the key must press, or "hidden" for a window it closes.
        QTest::addColumn<QString>("effect");
        // "&OK" and "&Odd" mark one letter: the button wins, as in the download and status windows.
        QTest::newRow("Com Port Setup: Alt+O presses OK") << "Com Port Setup" << QKeySequence("Alt+O") << "OKBtn";
        QTest::newRow("Phone Book: Insert adds") << "Phone Book" << QKeySequence(Qt::Key_Insert) << "actnAdd";
        QTest::newRow("Phone Book: F2 edits") << "Phone Book" << QKeySequence(Qt::Key_F2) << "actnEdit";
        QTest::newRow("Phone Book: Delete deletes") << "Phone Book" << QKeySequence(Qt::Key_Delete) << "actnDelete";
        QTest::newRow("Debug: Escape closes") << "Debug" << QKeySequence(Qt::Key_Escape) << "hidden";
    }
    void keyReachesItsControl()
    {
        QFETCH(QString, window);
        QFETCH(QKeySequence, key);
        QFETCH(QString, effect);
        AppFixture fixture;
        connect::usePhoneBookFolder(fixture.folder());
        const auto phoneBookBack = qScopeGuard([] { connect::usePhoneBookFolder({}); });
        QString error;
        QVERIFY(connect::writePhoneBook(connect::phoneBookPath(), {"Weir=0161"}, &error));
        ComPort port(std::make_unique<FakePortDevice>());

        const std::unique_ptr<QWidget> shown = openWindow(window, port);
        QVERIFY(QTest::qWaitForWindowActive(shown.get()));
        QStringList pressed;
        for (auto* button : shown->findChildren<QAbstractButton*>())
            connect(button, &QAbstractButton::clicked, this, [&pressed, button] { pressed << button->objectName(); });
        for (auto* action : shown->findChildren<QAction*>())
            connect(action, &QAction::triggered, this, [&pressed, action] { pressed << action->objectName(); });
        // What the pressed action opens is left at once: the key is what is tested here.
        if (effect == "actnAdd" || effect == "actnEdit")
            onNextModal([](QDialog* entry) { entry->reject(); });
        if (effect == "actnDelete")
            app::messageBoxes().queueAnswer(false);

        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus && (focus == shown.get() || shown->isAncestorOf(focus)));
        QTest::keyClick(focus, Qt::Key(key[0].key()), key[0].keyboardModifiers());
        if (effect == "hidden")
            QTRY_VERIFY(!shown->isVisible());
        else
            QTRY_COMPARE(pressed, QStringList{effect});
        QVERIFY(!QApplication::activePopupWidget());
    }

    // From the entries on, Tab reaches every button of the phone book's toolbar in order.
    void phoneBookButtonsAreInTheTabOrder()
    {
        AppFixture fixture;
        connect::usePhoneBookFolder(fixture.folder());
        const auto phoneBookBack = qScopeGuard([] { connect::usePhoneBookFolder({}); });
        connect::TfrmPhoneBook book;
        auto* entries = child<QTableWidget>(&book, "strgrdContacts");
        auto* toolBar = child<QToolBar>(&book, "ToolBar1");
        QStringList order;
        // The chain goes round: from the entries back to them.
        for (QWidget* next = entries->nextInFocusChain(); next != entries; next = next->nextInFocusChain())
            for (QAction* action : toolBar->actions())
                if (toolBar->widgetForAction(action) == next && (next->focusPolicy() & Qt::TabFocus))
                    order << action->objectName();
        QCOMPARE(order, QStringList({"actnSelect", "actnCancel", "actnAdd", "actnEdit", "actnDelete"}));
    }

    // Whatever the place of the main frame, the debug log opens wholly on the screen.
    void debugLogOpensOnTheScreen()
    {
        AppFixture fixture;
        auto windows = makeWindows();
        app::TfMain& main = windows->main();
        const QRect room = main.screen()->availableGeometry();
        // Most of the frame below the bottom of the screen, as a user may leave it.
        main.move(room.right() - main.width() / 2, room.bottom() - main.height() / 4);
        app::frmDebug->showWithinScreen();
        QVERIFY(app::frmDebug->isVisible() && room.contains(app::frmDebug->frameGeometry()));
        app::frmDebug->close();
    }
};

KFC_APP_TEST_MAIN(TestKeys)
#include "test_keys.moc"
