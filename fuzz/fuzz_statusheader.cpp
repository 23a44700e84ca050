// The status header read back from the start of any file. A file that is no header must
// raise ConversionError with a text and nothing else; a header that is read must be written
// and read again to the same record.

#include "fuzzsupport.h"

#include "counter/counterstatus.h"
#include "counter/download.h"
#include "link/errors.h"

using namespace kfc;
using kfc::fuzz::require;

// The input is the file's text, split into lines at each LF.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QStringList lines = fuzz::latin1(data, size).split(QLatin1Char('\n'));
    CounterStatus read;
    try {
        read = ReadStatusHeader(lines);
    } catch (const ConversionError& e) {
        require(!e.text().isEmpty(), "a refused header without a text");
        return 0;
    }
    require(read.dateTime.isValid() && read.dateTime.date().year() >= 2000 && read.dateTime.date().year() <= 2099,
            "a clock outside the counter's century");
    try {
        require(ReadStatusHeader(StatusHeaderLines(read)) == read, "a header written again reads differently");
    } catch (const ConversionError&) {
        require(false, "a header written again is refused");
    }
    return 0;
}
