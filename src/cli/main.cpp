#include "cli.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrova-cli"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QTextStream in(stdin);
    const int code = kfc::cli::run(QCoreApplication::arguments(), out, err, &in);
    out.flush();
    err.flush();
    return code;
}
