// Status replies of game servers, as they arrive: any bytes, read as the lobby reads them.
// Built and run by fuzz/run.sh.
#include "servers/StatusReply.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096) // the lobby reads at most 4096 bytes of a datagram
        return 0;
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    QString version;
    QChar bright, collisions, powerups;
    QList<TServerUser *> players;
    for (int i = 0; i < 4; ++i) {
        auto *player = new TServerUser;
        player->Index = i;
        player->Name = QString(QChar(u'a' + i));
        players.append(player);
    }
    StatusReply::Apply(text, {version, bright, collisions, powerups, players});
    // A reply names players; it never adds or removes one.
    if (players.size() != 4)
        __builtin_trap();
    qDeleteAll(players);
    return 0;
}
