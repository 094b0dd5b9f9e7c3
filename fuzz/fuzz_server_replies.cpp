// The game-server replies the lobby decodes (game info, player list, status), fed the same bytes.
#include "pxo/ServerReplies.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    using namespace ServerReplies;
    const TGameInfo info = DecodeGameInfo(bytes);
    // Each counted text holds at most 254 characters.
    if (info.Name.size() > 254 || info.Level.size() > 254 || info.Description.size() > 254 ||
        info.GameType.size() > 254)
        __builtin_trap();
    const QStringList names = DecodePlayerList(bytes);
    if (names.size() > qMax<qsizetype>(0, (bytes.size() - 3) / 2))
        __builtin_trap();
    (void)DecodeStatus(bytes);
    return 0;
}
