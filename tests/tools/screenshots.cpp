// Writes the picture of the download window during a run, against the simulated counter,
// for the documentation. Run offscreen:
//   QT_QPA_PLATFORM=offscreen tools_screenshots docs

#include "support/statustest.h"

#include "support/screenshot.h"

#include <QDir>
#include <QMenu>

using namespace kfc;

int main(int argc, char** argv)
{
    app::Application application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    QTemporaryDir files;
    bool ok = false;
    {
        test::StatusSession session;
        if (!session.line.started)
            return 1;
        session.counter().logPastEvents(300);
        session.main->resize(900, 620);
        if (!session.connect())
            return 1;
        QAction* item = session.item(QStringLiteral("menuDownload"));
        for (QObject* menu : item->associatedObjects())
            if (auto* shown = qobject_cast<QMenu*>(menu))
                emit shown->aboutToShow();
        item->trigger();
        QWidget* dump = session.main->mdiArea()->activeSubWindow();
        test::child<QCheckBox>(dump, QStringLiteral("cboxFile"))->click();
        app::messageBoxes().queueSaveFileName(files.filePath(QStringLiteral("WEIR-2026-12.LG2")));
        test::child<QPushButton>(dump, QStringLiteral("btnFile"))->click();
        test::child<QCheckBox>(dump, QStringLiteral("cboxStatus"))->click();
        QTimer::singleShot(2500, session.main, [&] {
            ok = test::saveScreenshot(session.main, folder, QStringLiteral("download-running.png"));
        });
        test::child<QPushButton>(dump, QStringLiteral("bbtnStart"))->click();
    }
    return ok ? 0 : 1;
}
