#pragma once
// The program's version resource: the four product-version numbers and the string blocks
// that the about box reads. Windows keeps them in the executable; this program's build
// writes them into a generated header, and builtInVersionResource() returns them in the
// same shape, so that the about box reads them the same way on every system.

#include <QMap>
#include <QString>
#include <QStringList>

#include <array>

namespace kfc::app {

struct VersionResource {
    bool present = false;
    bool hasFixedInfo = false;
    // Product version: major, minor, release, build.
    std::array<int, 4> productVersion{0, 0, 0, 0};
    // String blocks by language and code page ("080904E4"), each key to its value.
    QMap<QString, QMap<QString, QString>> stringBlocks;
};

// The block the about box reads: English (United Kingdom), code page 1252.
inline const QString kVersionBlock = QStringLiteral("080904E4");

// The keys read from that block, in the order they are read.
const QStringList& versionKeys();

// This build's own version resource.
VersionResource builtInVersionResource();

// What the about box takes out of a version resource.
struct VersionInfo {
    int major = 0, minor = 0, release = 0, build = 0;
    // "Key=value" for every key found, sorted without regard to case.
    QStringList VersionStrings;

    // The value of a key, found without regard to case; empty when absent.
    QString value(const QString& key) const;
};

VersionInfo ReadVersionInfo(const VersionResource& resource);

} // namespace kfc::app
