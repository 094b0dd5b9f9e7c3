#include "irc/User.h"

#include "irc/IrcSession.h"

TUser::TUser(TIrcSession *form, const QString &nick, TUDPQueue *queue, TNxPing *pinger)
    : Queue(queue), Pinger(pinger), Form(form)
{
    SetNick(nick);
}

void TUser::SetNick(const QString &nick)
{
    Nick = nick.startsWith(QLatin1Char('@')) ? nick.mid(1) : nick;
}

void TUser::SetHost(const QString &host)
{
    Host = host;
    if (PingPending && Form)
        emit Form->UserHostKnown(this);
}

void TUser::RequestInfo(bool open)
{
    if (open)
        InfoRequested = true;
    if (Form)
        emit Form->UserInfoChanged(this);
}

bool TUser::IsFriend() const
{
    return Form && Form->IsFriend(Nick);
}

void TUser::SetPingResult(quint32 sentTick, quint32 now)
{
    PingTime = now - sentTick; // modulo 2^32, as the tick count wraps
    PingPending = false;
}
