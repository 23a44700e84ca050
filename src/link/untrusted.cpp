#include "untrusted.h"

namespace kfc {

namespace {

bool isControl(char16_t c) { return c < 0x20 || (c >= 0x7f && c <= 0x9f); }

const QString kLogon = QStringLiteral("9");
const QString kPasswordState = QStringLiteral("9D");
const QString kLogoff = QStringLiteral("92");

} // namespace

QString printable(const QString& text, Backslashes backslashes)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (isControl(c.unicode()))
            out += QStringLiteral("\\x")
                   + QString::number(c.unicode(), 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else if (c == QLatin1Char('\\') && backslashes == Backslashes::Doubled)
            out += QStringLiteral("\\\\");
        else
            out += c;
    }
    return out;
}

bool fitsOnLine(const QString& text) { return firstUnsendable(text).isEmpty(); }

QString firstUnsendable(const QString& text)
{
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() <= 0xff)
            continue;
        // A character outside the basic plane is two UTF-16 units; name it whole.
        if (c.isHighSurrogate() && i + 1 < text.size())
            return text.mid(i, 2);
        return QString(c);
    }
    return {};
}

QString maskedCommand(const QString& command, const QString& previousCommand)
{
    if (previousCommand == kLogon)
        return QString(command.size(), QLatin1Char('*'));
    if (command.startsWith(kLogon) && command != kLogon && command != kPasswordState
        && command != kLogoff)
        return kLogon + QString(command.size() - 1, QLatin1Char('*'));
    return command;
}

} // namespace kfc
