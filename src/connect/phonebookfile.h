#pragma once
// The phone book file "PhoneNumbers.ini": one entry a line, name "=" number, no sections
// and no quoting. Read: lines end at CR LF, a lone CR or a lone LF; a last line without an
// end still counts; an empty line is an entry with an empty name and number; a zero byte
// ends the text. Written: every entry followed by CR LF, through QSaveFile so that a crash
// or a full disk never leaves a cut-off file in place of the good one.
//
// The bytes are Windows-1252 on every system (link/windows1252.h), so a book made on a
// Windows PC, accented names and all, reads and writes back unchanged anywhere. A
// character that code page cannot hold is refused where it is typed; it never becomes a
// '?' in a number.
//
// Where it lives: beside the executable on Windows; on other systems, where the program's
// folder is not the user's to write, in the user's data folder
// (QStandardPaths::AppDataLocation: ~/.local/share/Kestrova/Kestrova Fish Counter/ on Linux).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace kfc::connect {

inline const QString kPhoneBookFileName = QStringLiteral("PhoneNumbers.ini");

// The name is the text before the first "=", the number the text after it (it may hold
// "=" itself). A line without "=" is an entry with an empty name and an empty number.
QString entryName(const QString& line);
QString entryNumber(const QString& line);

QStringList parsePhoneBook(const QByteArray& bytes);
// Nothing when an entry holds a character that Windows-1252 cannot hold.
std::optional<QByteArray> formatPhoneBook(const QStringList& entries);
// Why a text cannot go into the phone book, for a message; empty when it can.
QString unwritableEntryText(const QString& entry);
// By the whole line, without regard to case, in the user's collation.
void sortPhoneBook(QStringList& entries);

// The file in use: the folder given to usePhoneBookFolder, else the platform's place.
QString phoneBookPath();
// Tests and demo runs keep their phone book in a folder of their own; empty: the user's.
void usePhoneBookFolder(const QString& folder);

// A missing file is an empty book. False with the reason when the file is there but
// cannot be read.
bool readPhoneBook(const QString& path, QStringList* entries, QString* error);
// False with a reason that names the file when it could not be written; the old file is
// then still in place.
bool writePhoneBook(const QString& path, const QStringList& entries, QString* error);

} // namespace kfc::connect
