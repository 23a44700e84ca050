#pragma once
// Writes a window's picture for the documentation.

#include <QDir>
#include <QWidget>

namespace kfc::test {

inline bool saveScreenshot(QWidget* window, const QDir& folder, const QString& name)
{
    const QString path = folder.filePath(name);
    if (!window->grab().save(path)) {
        qWarning("Could not write %s", qPrintable(path));
        return false;
    }
    qInfo("Wrote %s", qPrintable(path));
    return true;
}

} // namespace kfc::test
