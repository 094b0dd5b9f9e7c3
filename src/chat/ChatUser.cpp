#include "chat/ChatUser.h"

#include "chat/ChatSettings.h"
#include "chat/UfrmChat.h"

#include <QCollator>

namespace {
const QCollator &NameCollator()
{
    // Made per thread on first use so a change of the default locale before it is kept.
    thread_local const QCollator collator = [] {
        QCollator c{QLocale()};
        c.setCaseSensitivity(Qt::CaseSensitive);
        return c;
    }();
    return collator;
}
} // namespace

int CompareNames(const QString &a, const QString &b)
{
    return NameCollator().compare(a, b);
}

TUser::TUser(TfrmChat *form, const QString &nick, TUDPQueue *queue, TNxPing *pinger)
    : Queue(queue), Pinger(pinger), Form(form)
{
    SetNick(nick);
}

TUser::~TUser() = default;

void TUser::SetNick(const QString &nick)
{
    Nick = nick.startsWith(QLatin1Char('@')) ? nick.mid(1) : nick;
}

void TUser::SetHost(const QString &host)
{
    Host = host;
    if (PingPending && Form)
        Form->PingUser(this);
}

void TUser::RequestInfo(bool open)
{
    if (open)
        InfoRequested = true;
    if (Form)
        Form->UserInfoChanged(this);
}

bool TUser::IsFriend() const
{
    return ChatSettings::IsFriend(Nick);
}

void TUser::SetPingResult(quint32 sentTick, quint32 now)
{
    PingTime = now - sentTick; // modulo 2^32, as the tick count wraps
    PingPending = false;
}

TChannel::TChannel(const QString &name, qint32 users, const QString &topic) : Name(name), Users(users), Topic(topic) {}

const QCollatorSortKey &TChannel::SortKey() const
{
    if (!m_sortKey)
        m_sortKey = NameCollator().sortKey(Name);
    return *m_sortKey;
}
