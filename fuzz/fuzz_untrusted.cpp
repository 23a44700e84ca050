// Text from the line made printable: no control character survives, printable text is
// left alone, and the other helpers for untrusted text agree with each other.

#include "fuzzsupport.h"

#include "link/untrusted.h"

using namespace kfc;
using kfc::fuzz::require;

namespace {

void check(const QString& text)
{
    const QString shown = printable(text);
    for (QChar c : shown)
        require(!fuzz::isControl(c.unicode()), "a control character in printable text");
    require(printable(shown) == shown, "printable is not stable when applied twice");
    bool anyControl = false;
    for (QChar c : text)
        anyControl = anyControl || fuzz::isControl(c.unicode());
    require(anyControl || shown == text, "text without control characters was changed");

    const QString unsendable = firstUnsendable(text);
    require(fitsOnLine(text) == unsendable.isEmpty(), "fitsOnLine and firstUnsendable disagree");
    require(unsendable.isEmpty() || text.contains(unsendable), "firstUnsendable named a character not there");
    require(maskedCommand(text, QStringLiteral("9")).size() == text.size(), "masking changed the length");
    require(maskedCommand(text, QString()).size() == text.size(), "masking changed the length");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // As bytes from the line, and as any UTF-16 text (unpaired surrogates included).
    check(fuzz::latin1(data, size));
    check(QString(reinterpret_cast<const QChar*>(data), qsizetype(size / 2)));
    return 0;
}
