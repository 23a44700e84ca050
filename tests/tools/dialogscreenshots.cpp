// Writes the pictures of the tool dialogs used in the documentation, each against the
// simulated counter. Run offscreen:
//   QT_QPA_PLATFORM=offscreen tools_dialog_screenshots docs

#include "support/tooltest.h"

#include "support/screenshot.h"

#include "app/radiogroup.h"

#include <QDialog>
#include <QDir>
#include <QRadioButton>
#include <QSlider>

using namespace kfc;

namespace {

// Opens a dialog from the status window, lets prepare act on it, pictures it.
bool picture(const std::function<void()>& open, const QString& file, const QDir& folder,
             const std::function<void(QDialog*)>& prepare)
{
    bool ok = false;
    test::withDialog(open, [&](QDialog* dialog) {
        prepare(dialog);
        QTest::qWait(300);
        ok = test::saveScreenshot(dialog, folder, file);
    });
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    app::Application application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    test::StatusSession s;
    s.counterState().channels[2].enabled = 0;
    if (!s.line.started || !s.connect())
        return 1;
    bool ok = true;
    s.button(QStringLiteral("bbtnChange"))->click();
    ok = picture([&] { s.button(QStringLiteral("bbtnProfile"))->click(); }, "tool-profile.png", folder,
                 [](QDialog* d) {
                     d->findChild<QRadioButton*>(QStringLiteral("rbManual"))->click();
                     d->findChild<QSpinBox*>(QStringLiteral("SpinEdit8"))->setValue(240);
                 }) && ok;
    s.button(QStringLiteral("bbtnCancel"))->click();
    ok = picture([&] { test::chooseEntry(s, "menuCounterSetup", QStringLiteral("menuProbe")); },
                 "tool-probe.png", folder,
                 [](QDialog* d) { d->findChild<QPushButton*>(QStringLiteral("OKBtn"))->click(); }) && ok;
    ok = picture([&] { test::chooseEntry(s, "Information1", QStringLiteral("menuConductivity")); },
                 "tool-conductivity.png", folder,
                 [](QDialog* d) { d->findChild<QPushButton*>(QStringLiteral("bbtnStart"))->click(); }) && ok;
    ok = picture([&] { test::chooseEntry(s, "menuCounterSetup", QStringLiteral("menuDummyFish")); },
                 "tool-dummy-fish.png", folder,
                 [](QDialog* d) {
                     d->findChild<app::RadioGroup*>(QStringLiteral("rgChannel"))->setItemIndex(1);
                     d->findChild<app::RadioGroup*>(QStringLiteral("rgDirection"))->setItemIndex(0);
                     d->findChild<QPushButton*>(QStringLiteral("OKBtn"))->click();
                 }) && ok;
    return ok ? 0 : 1;
}
