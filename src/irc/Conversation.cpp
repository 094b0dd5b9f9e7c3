#include "irc/Conversation.h"

#include "irc/IrcLine.h"
#include "irc/User.h"

#include <algorithm>

namespace {
void InsertSorted(QStringList &list, const QString &name)
{
    const auto it = std::lower_bound(list.begin(), list.end(), name);
    if (it == list.end() || *it != name)
        list.insert(it, name);
}
} // namespace

bool TConversation::IsChannel() const
{
    return Name.startsWith(QLatin1Char('#')) || Name.startsWith(QLatin1Char('+'));
}

QString TConversation::Caption() const
{
    return IsChannel() ? Name.mid(1) : Name;
}

TUser *TConversation::FindUser(const QString &nick) const
{
    return m_index.value(Irc::StripAt(nick), nullptr);
}

bool TConversation::IsOp(const QString &nick) const
{
    return std::binary_search(Ops.cbegin(), Ops.cend(), Irc::StripAt(nick));
}

bool TConversation::AddUser(TUser *user)
{
    if (!user || m_index.contains(user->Nick))
        return false;
    Users.append(user);
    m_index.insert(user->Nick, user);
    return true;
}

TUser *TConversation::RemoveUser(const QString &nick)
{
    TUser *user = m_index.take(Irc::StripAt(nick));
    if (!user)
        return nullptr;
    Ops.removeAll(user->Nick);
    Users.removeAll(user);
    return user;
}

void TConversation::AddOp(const QString &nick)
{
    InsertSorted(Ops, nick);
}

void TConversation::RemoveOp(const QString &nick)
{
    Ops.removeAll(nick);
}

void TConversation::Rename(const QString &oldNick, const QString &newNick)
{
    if (TUser *user = m_index.take(oldNick))
        m_index.insert(newNick, user);
    if (Ops.removeAll(oldNick) > 0)
        InsertSorted(Ops, newNick);
}

void TConversation::Clear()
{
    Users.clear();
    Ops.clear();
    m_index.clear();
}
