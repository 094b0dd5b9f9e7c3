#include "servers/StatusReply.h"

namespace StatusReply {
namespace {

// Applies one key with its value; false when the value was not taken.
bool ApplyKey(const QString &key, QStringView value, const TTarget &target)
{
    if (key == u"gamever") {
        target.GameVersion = value.toString();
        return true;
    }
    QChar *flag = key == u"brightships"     ? &target.BrightShips
                  : key == u"acccollisions" ? &target.AccCollisions
                  : key == u"randpowerup"   ? &target.RandPowerup
                                            : nullptr;
    if (flag) {
        if (value.isEmpty())
            return false;
        *flag = value.front();
        return true;
    }
    if (key.startsWith(u"player_")) {
        bool ok = false;
        qint32 index = QStringView(key).mid(7).toInt(&ok, 10);
        if (!ok)
            index = 0;
        for (TServerUser *player : target.PlayerList) {
            if (player && player->Name == value) {
                player->Index = index;
                break;
            }
        }
        return true;
    }
    QString TServerUser::*field = key.startsWith(u"frags_")    ? &TServerUser::Frags
                                  : key.startsWith(u"deaths_") ? &TServerUser::Deaths
                                  : key.startsWith(u"team_")   ? &TServerUser::Team
                                  : key.startsWith(u"ping_")   ? &TServerUser::PlayerPing
                                                               : nullptr;
    if (!field)
        return false;
    bool ok = false;
    const qint32 index = QStringView(key).mid(key.indexOf(u'_') + 1).toInt(&ok, 10);
    TServerUser *player = ok ? FindPlayer(target.PlayerList, index) : nullptr;
    if (!player)
        return false;
    player->*field = value.toString();
    return true;
}

} // namespace

QStringView NextField(QStringView &text)
{
    qsizetype start = 0;
    while (start < text.size() && text[start] == u'\\')
        ++start;
    qsizetype end = text.indexOf(u'\\', start);
    if (end < 0)
        end = text.size();
    const QStringView field = text.mid(start, end - start);
    text = text.mid(end);
    return field;
}

TServerUser *FindPlayer(const QList<TServerUser *> &players, qint32 index)
{
    for (TServerUser *player : players) {
        if (player && player->Index == index)
            return player;
    }
    return nullptr;
}

void Apply(QStringView text, const TTarget &target)
{
    while (!text.isEmpty()) {
        const QString key = NextField(text).trimmed().toString().toLower();
        QStringView afterValue = text;
        const QStringView value = NextField(afterValue);
        if (ApplyKey(key, value, target))
            text = afterValue;
    }
}

} // namespace StatusReply
