#pragma once
// Per-channel controls of the status window are named by a prefix and the channel digit
// ("seUpRel1Ch" and 3 make seUpRel1Ch3). The code reaches them by composing that name, and
// the lookup ignores letter case.

#include <QObject>
#include <QString>

#include <stdexcept>

namespace kfc::status {

// The child of window of type T whose name is name, ignoring letter case; null when none.
template <typename T>
T* findControl(const QObject& window, const QString& name)
{
    const QList<T*> candidates = window.findChildren<T*>();
    for (T* candidate : candidates) {
        if (candidate->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return candidate;
    }
    return nullptr;
}

template <typename T>
T* findChannelControl(const QObject& window, const QString& prefix, int n)
{
    return findControl<T>(window, prefix + QString::number(n));
}

// As findChannelControl, for controls the window must have: a missing one is a fault of
// the program, reported like any other failure rather than crashing on a null pointer.
template <typename T>
T& channelControlOf(const QObject& window, const QString& prefix, int n)
{
    if (T* control = findChannelControl<T>(window, prefix, n))
        return *control;
    throw std::logic_error(
        QStringLiteral("The status window has no control %1%2").arg(prefix).arg(n).toStdString());
}

} // namespace kfc::status
