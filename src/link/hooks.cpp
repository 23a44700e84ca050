#include "hooks.h"

#include <QCoreApplication>
#include <QDebug>

namespace kfc {

LinkHooks& hooks()
{
    thread_local LinkHooks instance;
    return instance;
}

void showMessage(MessageKind kind, const QString& text)
{
    if (hooks().showMessage) {
        hooks().showMessage(kind, text);
        return;
    }
    qWarning().noquote() << text;
}

void showProgress(const QString& text)
{
    if (hooks().showProgress)
        hooks().showProgress(text);
}

} // namespace kfc
