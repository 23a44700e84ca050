#pragma once
// The site list of a collection: an INI file, one group per site. The whole file is
// checked before any call is made, so that a typo never leaves half the sites unvisited.

#include "link/portdevice.h"

#include <QList>
#include <QString>

namespace kfc::cli {

struct Site {
    QString name;
    QString port;             // "COM n", a device path or tcp://HOST:PORT
    QString dial;             // empty: a direct line
    QString password;         // the first line of the password file; never printed
    int clockToleranceSecs = 120;
    bool setClock = false;
    bool flushAfter = false;
    SerialSettings line;      // comNumber is set when the port is opened
};

// Reads every site in the order of the file. False with a text that names the site and
// the key when the file cannot be taken as a whole.
bool loadSiteList(const QString& fileName, QList<Site>* sites, QString* error);

} // namespace kfc::cli
