#include "windows1252.h"

#include <array>

namespace kfc {

namespace {

// 0x80 to 0x9F; the rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,   // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,   // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,   // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};  // 0x98

char16_t characterFor(quint8 byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t(byte);
}

std::optional<char> byteFor(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == c)
            return char(0x80 + i);
    }
    return std::nullopt;
}

} // namespace

QString fromWindows1252(const QByteArray& bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        text[i] = QChar(characterFor(quint8(bytes[i])));
    return text;
}

std::optional<QByteArray> toWindows1252(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text) {
        const std::optional<char> byte = byteFor(c.unicode());
        if (!byte)
            return std::nullopt;
        bytes += *byte;
    }
    return bytes;
}

QString firstNotInWindows1252(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (byteFor(text[i].unicode()))
            continue;
        // A character beyond the first plane is a pair: name it whole.
        const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        return text.mid(i, pair ? 2 : 1).toString();
    }
    return {};
}

} // namespace kfc
