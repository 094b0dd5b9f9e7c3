// The game-server replies the lobby decodes (game info, player list, status), fed the same bytes.
#include "servers/ServerReplies.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace {
bool SameInfo(const ServerReplies::TGameInfo &a, const ServerReplies::TGameInfo &b)
{
    return a.Name == b.Name && a.Level == b.Level && a.Description == b.Description && a.GameType == b.GameType &&
           a.LevelNumber == b.LevelNumber && a.Players == b.Players && a.MaxPlayers == b.MaxPlayers &&
           a.Sequence == b.Sequence && a.Mode == b.Mode && a.Dedicated == b.Dedicated && a.Difficulty == b.Difficulty;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    using namespace ServerReplies;
    const TGameInfo info = DecodeGameInfo(bytes);
    // Each counted text holds at most 254 characters.
    if (info.Name.size() > 254 || info.Level.size() > 254 || info.Description.size() > 254 ||
        info.GameType.size() > 254)
        __builtin_trap();
    // A short reply reads as if zeros followed it.
    if (bytes.size() < MaxReply) {
        const QByteArray padded = bytes.toByteArray() + QByteArray(MaxReply - bytes.size(), '\0');
        if (!SameInfo(DecodeGameInfo(padded), info) || DecodePlayerList(padded) != DecodePlayerList(bytes))
            __builtin_trap();
    }
    const QStringList names = DecodePlayerList(bytes);
    if (names.size() > qMax<qsizetype>(0, (qMin(bytes.size(), MaxReply) - 3) / 2))
        __builtin_trap();
    if (DecodeStatus(bytes).contains(QChar(0)))
        __builtin_trap();
    return 0;
}
