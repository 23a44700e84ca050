// The field readers on any reply text. A malformed field must raise ConversionError and
// nothing else; a field that is read must leave the rest shorter and within the working
// string's capacity.

#include "fuzzsupport.h"

#include "counter/readers.h"
#include "link/errors.h"

#include <cmath>

using namespace kfc;
using kfc::fuzz::require;

namespace {

constexpr int kCapacity = 255;

// One reader on the working string; false when it refused the field.
bool readOne(int which, QString& working, QChar delimiter)
{
    const qsizetype before = working.size();
    try {
        switch (which) {
        case 0: require(TakeInteger(working) >= 0, "an integer without a sign is negative"); break;
        case 1: {
            const double value = TakeFloat(working);
            require(std::isfinite(value) && value >= 0, "a float is negative or not finite");
            break;
        }
        case 2: require(TakeDate(working).isValid(), "a date read is invalid"); break;
        case 3: require(TakeTime(working).isValid(), "a time read is invalid"); break;
        default: TakeToken(working, delimiter); break;
        }
    } catch (const ConversionError& e) {
        require(!e.text().isEmpty(), "a conversion error without a text");
        return false;
    }
    require(working.size() <= kCapacity, "the working string grew past its capacity");
    require(working.size() < before || before == 0, "a field was read but nothing was taken");
    return true;
}

} // namespace

// Byte 0: the delimiter for TakeToken; byte 1: which readers run, two bits each;
// the rest: the reply text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const QChar delimiter = QChar(char16_t(data[0]));
    const unsigned schedule = data[1];
    const QString text = fuzz::latin1(data + 2, size - 2);

    // Each reader alone until it refuses or the text is used up.
    for (int which = 0; which < 5; ++which) {
        QString working = text;
        for (int n = 0; n < 300 && !working.isEmpty(); ++n)
            if (!readOne(which, working, delimiter))
                break;
    }
    // The readers in turn, as a reply is read field by field.
    QString working = text;
    for (int n = 0; n < 300 && !working.isEmpty(); ++n) {
        const int which = n % 5 == 4 ? 4 : int((schedule >> ((n % 4) * 2)) & 3);
        if (!readOne(which, working, delimiter))
            break;
    }
    require(PickText(data[0], QStringLiteral("a"), QStringLiteral("b"))
                == (data[0] ? QStringLiteral("a") : QStringLiteral("b")),
            "PickText picked the wrong text");
    return 0;
}
