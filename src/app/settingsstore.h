#pragma once
// The per-user settings store: the nine values of the main frame, the terminal's choice
// of a new line on CR, and the "Ports" group of COM-number mappings. On Windows it is the
// key HKEY_CURRENT_USER\Software\Kestrova\Control, on Linux the file
// ~/.config/Kestrova/Control.conf. Tests and demo runs point it at an INI file in a folder
// of their own, so that the user's store is left alone.

#include <QSettings>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace kfc::app {

namespace SettingName {
inline const QString Top = QStringLiteral("Top");
inline const QString Left = QStringLiteral("Left");
inline const QString Width = QStringLiteral("Width");
inline const QString Height = QStringLiteral("Height");
inline const QString DirectComPort = QStringLiteral("DirectComPort");
inline const QString DirectBaud = QStringLiteral("DirectBaud");
inline const QString DirectParity = QStringLiteral("DirectParity");
inline const QString DirectStopBits = QStringLiteral("DirectStopBits");
inline const QString DirectDataBits = QStringLiteral("DirectDataBits");
// In the order they are read and written.
inline const QStringList All = {Top, Left, Width, Height, DirectComPort, DirectBaud,
                                DirectParity, DirectStopBits, DirectDataBits};
// Not one of the nine above: the terminal's "New Line on CR" (true or false; on when
// absent), written when it is changed.
inline const QString TerminalNewLineOnCR = QStringLiteral("TerminalNewLineOnCR");
// The collection archive that Counts History reads and the download window adds to: a
// folder or a PostgreSQL URI; written when it is chosen.
inline const QString CountsHistoryArchive = QStringLiteral("CountsHistoryArchive");
// The group of the site that each phone book entry's or port's downloads were last added
// to the archive as, keyed by "modem/ENTRY" or "port/COMn".
inline const QString ArchiveSites = QStringLiteral("ArchiveSites");
// The folder Counts History last exported a CSV file to; written after each export.
inline const QString CountsHistoryExportFolder = QStringLiteral("CountsHistoryExportFolder");
} // namespace SettingName

// Where the nightly collection writes: ~/.local/share/Kestrova/archive on Linux.
QString defaultArchiveFolder();
// The archive chosen in Counts History (a folder or a PostgreSQL URI), else the default one.
QString keptArchive();

class SettingsStore {
public:
    // The store in use: the user's, or the folder given to useFolder.
    static std::unique_ptr<QSettings> open();
    // Always the user's own store.
    static std::unique_ptr<QSettings> openUserStore();

    // From now on open() gives the INI file "Control.ini" in this folder.
    static void useFolder(const QString& folder);
    // Back to the user's store.
    static void useUserStore();
    static bool redirected();

    // Copies every value, groups included.
    static void copyValues(const QSettings& from, QSettings& to);

    // The value as an integer; nothing when it is absent. A value that is there but is
    // not an integer counts as absent, and a line saying so is added to problems.
    static std::optional<int> readInteger(const QSettings& store, const QString& name,
                                          QStringList* problems);
};

} // namespace kfc::app
