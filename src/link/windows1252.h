#pragma once
// Windows-1252, the single-byte code page of the counter sites' PCs, by a fixed table, so
// that a file written on Windows reads the same on every system. Every byte has a
// character: the five that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// stand for the control characters of the same number, as Windows itself reads them, so
// any file comes back byte for byte when it is written again.

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

namespace kfc {

QString fromWindows1252(const QByteArray& bytes);

// The bytes of the text; nothing when a character has no Windows-1252 byte (it is never
// replaced by '?').
std::optional<QByteArray> toWindows1252(QStringView text);

// The first character of the text that has no Windows-1252 byte; empty when there is none.
QString firstNotInWindows1252(QStringView text);

} // namespace kfc
