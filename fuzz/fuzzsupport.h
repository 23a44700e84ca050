#pragma once
// Shared by the fuzz targets: the input as the program would see it, and a check that
// stops the run with a message when a property does not hold.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace kfc::fuzz {

// The bytes as the line gives them: one character per byte, every byte value allowed.
inline QString latin1(const uint8_t* data, size_t size)
{
    return QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
}

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// A broken property is a finding: abort so that libFuzzer saves the input.
inline void require(bool holds, const char* what)
{
    if (holds)
        return;
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

inline bool isControl(char16_t c) { return c < 0x20 || (c >= 0x7f && c <= 0x9f); }

} // namespace kfc::fuzz
