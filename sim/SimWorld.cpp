#include "sim/SimWorld.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <array>

namespace {

constexpr std::array Adjectives{"Crimson", "Silent", "Molten", "Frozen", "Rusty", "Hidden", "Broken",
                                "Golden",  "Hollow", "Iron",   "Lunar",  "Swift", "Distant"};
constexpr std::array Places{"Reactor", "Mine",  "Foundry", "Outpost", "Citadel", "Vault",
                            "Depot",   "Shaft", "Relay",   "Core",    "Bastion"};
constexpr std::array Levels{"polaris.mn3", "cobalt.mn3", "vortex.mn3", "abyss.mn3",   "citadel.mn3",
                            "foundry.mn3", "nexus.mn3",  "pyre.mn3",   "glacier.mn3", "tunnels.mn3"};
constexpr std::array GameTypes{"Anarchy", "Team Anarchy", "CTF", "Hoard", "Robo-Anarchy", "Monsterball", "Entropy"};
constexpr std::array Callsigns{"Ace",   "Blaze",  "Cobra", "Dart", "Echo",   "Flux", "Ghost", "Havoc", "Ion",
                               "Jinx",  "Kilo",   "Lynx",  "Mako", "Nova",   "Onyx", "Pyro",  "Quark", "Raven",
                               "Sable", "Torque", "Umbra", "Vex",  "Wraith", "Xeno", "Yaw",   "Zephyr"};
constexpr std::array MaxPlayerChoices{4, 8, 8, 12, 16, 16, 32};

// A generator for one purpose, so that one value does not shift the others.
QRandomGenerator Stream(quint32 seed, quint32 purpose, quint32 index)
{
    return QRandomGenerator(seed ^ (purpose * 0x9E3779B9u) ^ (index * 0x85EBCA6Bu + 0x27D4EB2Fu));
}

quint32 NameHash(const QByteArray &text)
{
    const QByteArray digest = QCryptographicHash::hash(text, QCryptographicHash::Sha1);
    return quint32(quint8(digest[0])) << 24 | quint32(quint8(digest[1])) << 16 | quint32(quint8(digest[2])) << 8 |
           quint32(quint8(digest[3]));
}

template <typename Array> auto Pick(QRandomGenerator &rng, const Array &array)
{
    return array[rng.bounded(quint32(array.size()))];
}

} // namespace

TSimServerInfo MakeServerInfo(quint32 seed, int index)
{
    QRandomGenerator rng = Stream(seed, 1, quint32(index));
    TSimServerInfo s;
    s.info.name = QByteArray(Pick(rng, Adjectives)) + ' ' + Pick(rng, Places) + ' ' + QByteArray::number(index + 1);
    s.info.level = Pick(rng, Levels);
    s.info.description = "Simulated server " + QByteArray::number(index + 1);
    s.info.gameType = Pick(rng, GameTypes);
    s.info.levelNumber = quint16(1 + rng.bounded(5));
    s.info.maxPlayers = quint16(Pick(rng, MaxPlayerChoices));
    s.info.mode = quint8(rng.bounded(6));
    s.info.dedicated = rng.bounded(2) == 1;
    s.info.difficulty = quint8(rng.bounded(5));
    s.gameVersion = rng.bounded(4) == 0 ? "1.3" : "1.4";
    s.brightShips = rng.bounded(2) ? '1' : '0';
    s.accCollisions = rng.bounded(2) ? '1' : '0';
    s.randPowerup = rng.bounded(2) ? '1' : '0';
    // Never full by chance: full servers are asked for explicitly.
    s.players = MakePlayers(seed, index, int(rng.bounded(quint32(s.info.maxPlayers))));
    s.info.players = quint16(s.players.size());
    return s;
}

QList<TSimPlayer> MakePlayers(quint32 seed, int index, int count)
{
    QRandomGenerator rng = Stream(seed, 2, quint32(index));
    const int start = int(rng.bounded(quint32(Callsigns.size())));
    const int numberBase = int(rng.bounded(90u));
    QList<TSimPlayer> players;
    for (int i = 0; i < std::clamp(count, 0, MaxSimPlayers); ++i) {
        TSimPlayer p;
        // Names repeat their call sign only every 26 players, and then with another number.
        p.name = QByteArray(Callsigns[size_t(start + i) % Callsigns.size()]) +
                 QByteArray::number(10 + (numberBase + i) % 90);
        p.frags = int(rng.bounded(40u));
        p.deaths = int(rng.bounded(30u));
        p.team = int(rng.bounded(2u));
        p.ping = int(20 + rng.bounded(250u));
        players.append(p);
    }
    return players;
}

TrackerDatagrams::TUserStats MakeUserStats(quint32 seed, const QByteArray &displayName)
{
    QRandomGenerator rng = Stream(seed, 3, NameHash(displayName));
    TrackerDatagrams::TUserStats stats;
    stats.displayName = displayName;
    stats.rating = quint16(rng.bounded(3500u));
    stats.kills = rng.bounded(5000u);
    stats.deaths = rng.bounded(5000u);
    stats.suicides = rng.bounded(300u);
    stats.seconds = rng.bounded(2000000u);
    return stats;
}

QByteArray MakeTrackerId(quint32 seed, const QByteArray &loginName)
{
    QRandomGenerator rng = Stream(seed, 4, NameHash(loginName));
    QByteArray id;
    for (int i = 0; i < TrackerDatagrams::TrackerIdBytes; ++i)
        id.append(char('0' + rng.bounded(10)));
    return id;
}

ServerDatagrams::TStatus StatusOf(const TSimServerInfo &server)
{
    ServerDatagrams::TStatus status;
    status.gameVersion = server.gameVersion;
    status.brightShips = server.brightShips;
    status.accCollisions = server.accCollisions;
    status.randPowerup = server.randPowerup;
    for (const TSimPlayer &p : server.players)
        status.players.append({p.name, p.frags, p.deaths, p.team, p.ping});
    return status;
}

QList<QByteArray> PlayerNamesOf(const TSimServerInfo &server)
{
    QList<QByteArray> names;
    for (const TSimPlayer &p : server.players)
        names.append(p.name);
    return names;
}
