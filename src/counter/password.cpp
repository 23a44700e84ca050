#include "password.h"

#include "link/hooks.h"
#include "link/link.h"
#include "link/untrusted.h"

namespace kfc {

namespace {

void reportInvalidState(const QString& reply)
{
    showMessage(MessageKind::Error, QStringLiteral("Invalid Password Response - ") + printable(reply));
}

} // namespace

PasswordState ClassifyPasswordState(const QString& reply)
{
    if (reply == QLatin1String("NEW"))
        return PasswordState::New;
    if (reply == QLatin1String("OLD"))
        return PasswordState::Old;
    if (reply == QLatin1String("1OR2"))
        return PasswordState::LoggedOn;
    return reply.isEmpty() ? PasswordState::NoAnswer : PasswordState::Invalid;
}

QString PadPassword(const QString& typed)
{
    return typed.size() >= 4 ? typed : QString(4 - typed.size(), QLatin1Char('0')) + typed;
}

QString QueryPasswordStateOnConnect(Link& link)
{
    auto hold = link.holdLine();
    const QString reply = link.QueryPasswordState();
    if (ClassifyPasswordState(reply) != PasswordState::Invalid)
        return reply;
    link.LogLine(QStringLiteral("--  no password state: the counter's session is ended and the state asked again"));
    link.SendCommand(QStringLiteral("e"));
    return link.QueryPasswordState();
}

bool CounterLogon(Link& link, const QString& password)
{
    auto hold = link.holdLine();
    const QString stateReply = link.QueryPasswordState();
    const PasswordState state = ClassifyPasswordState(stateReply);
    if (state == PasswordState::New || state == PasswordState::LoggedOn)
        return true;
    if (state != PasswordState::Old) {
        reportInvalidState(stateReply);
        return false;
    }
    link.Exchange(QStringLiteral("9"));
    const QString reply = link.Exchange(password);
    if (reply == QLatin1String("OK"))
        return true;
    showMessage(MessageKind::Information, QStringLiteral("Response ") + printable(reply));
    return false;
}

bool CounterLogoff(Link& link)
{
    auto hold = link.holdLine();
    const QString stateReply = link.QueryPasswordState();
    const PasswordState state = ClassifyPasswordState(stateReply);
    if (state == PasswordState::New)
        return true;
    if (state == PasswordState::LoggedOn || state == PasswordState::Old) {
        link.SendCommand(QStringLiteral("92"));
        return true;
    }
    reportInvalidState(stateReply);
    return false;
}

bool SetCounterPassword(Link& link, const QString& newPassword)
{
    auto hold = link.holdLine();
    const QString stateReply = link.QueryPasswordState();
    const PasswordState state = ClassifyPasswordState(stateReply);
    if (state == PasswordState::New) {
        link.SendCommand(QStringLiteral("9") + newPassword);
        return true;
    }
    if (state == PasswordState::LoggedOn) {
        link.SendCommand(QStringLiteral("91") + newPassword);
        return true;
    }
    if (state == PasswordState::Old) {
        showMessage(MessageKind::Error, QStringLiteral("Must logon before changing password"));
        return false;
    }
    reportInvalidState(stateReply);
    return false;
}

} // namespace kfc
