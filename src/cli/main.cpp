#include "cli.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrova-cli"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int code = kfc::cli::run(QCoreApplication::arguments(), out, err);
    out.flush();
    err.flush();
    return code;
}
