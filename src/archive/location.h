#pragma once
// Where an archive is: a folder, whose database is an SQLite file in it, or a database on a
// PostgreSQL server, named by a connection URI as libpq reads it:
//
//   postgresql://[user@][host][:port][,host[:port]...][/database][?keyword=value[&...]]
//
// Any part may be left out (libpq's environment and defaults fill it in), any may be
// percent-encoded, and the keywords are libpq's own (host=/run/postgresql for a socket
// folder, service=NAME for an entry of the service file, sslmode=...). A password is
// refused: it would stand on a command line or in a settings file, where others can read
// it. It comes the libpq ways: ~/.pgpass, the file PGPASSFILE names, or a service file.

#include <QString>

namespace kfc::archive {

// True when the text names a PostgreSQL database (postgresql:// or postgres://).
bool isServerUri(const QString& location);

struct ServerAddress {
    // libpq's keyword='value' pairs, as Qt's PostgreSQL driver passes them on.
    QString connectOptions;
    QString server;     // "db.example:5433", "the local server": for the user's messages
    QString database;   // empty: libpq's default (the user's name)

    // "database fishcounts on db.example": never the password, which is never here.
    QString text() const;
};

// False with a text for the user when the URI is malformed or holds a password.
bool parseServerUri(const QString& uri, ServerAddress* address, QString* error);

} // namespace kfc::archive
