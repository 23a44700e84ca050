// The phone book file as it may be found on disk. No entry holds a line end or a zero
// byte, each entry splits into name and number around its first "=", and what is written
// back reads back the same.

#include "fuzzsupport.h"

#include "connect/phonebookfile.h"

using namespace kfc;
using kfc::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QStringList entries = connect::parsePhoneBook(fuzz::bytes(data, size));
    for (const QString& entry : entries) {
        require(!entry.contains(QLatin1Char('\r')) && !entry.contains(QLatin1Char('\n'))
                    && !entry.contains(QChar(0)),
                "an entry holds a line end or a zero byte");
        const QString name = connect::entryName(entry);
        const QString number = connect::entryNumber(entry);
        if (entry.contains(QLatin1Char('=')))
            require(name + QLatin1Char('=') + number == entry, "name and number do not make the line");
        else
            require(name.isEmpty() && number.isEmpty(), "a line without '=' has a name or number");
    }
    // Whatever was read can be written: every byte has its character.
    const std::optional<QByteArray> written = connect::formatPhoneBook(entries);
    require(written.has_value(), "a phone book that was read cannot be written");
    require(connect::parsePhoneBook(*written) == entries, "the phone book does not read back as written");
    QStringList sorted = entries;
    connect::sortPhoneBook(sorted);
    require(sorted.size() == entries.size(), "sorting lost or added entries");
    return 0;
}
