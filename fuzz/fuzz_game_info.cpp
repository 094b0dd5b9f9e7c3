// The game-info reply: any bytes decode, and a short reply reads as if zeros followed.
#include "pxo/ServerReplies.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace ServerReplies;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const TGameInfo info = DecodeGameInfo(bytes);
    if (info.name.size() > 254 || info.level.size() > 254 || info.description.size() > 254 ||
        info.gameType.size() > 254)
        __builtin_trap();
    if (info.mode != ModeText(info.modeValue, info.dedicated) ||
        info.difficulty != DifficultyText(info.difficultyValue))
        __builtin_trap();
    if (bytes.size() < MaxDatagram) {
        const QByteArray padded = bytes.toByteArray() + QByteArray(MaxDatagram - bytes.size(), '\0');
        const TGameInfo same = DecodeGameInfo(padded);
        if (same.name != info.name || same.level != info.level || same.description != info.description ||
            same.gameType != info.gameType || same.levelNumber != info.levelNumber || same.players != info.players ||
            same.maxPlayers != info.maxPlayers || same.sequence != info.sequence || same.mode != info.mode ||
            same.difficulty != info.difficulty)
            __builtin_trap();
    }
    return 0;
}
