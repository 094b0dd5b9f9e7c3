// Every tracker reply the lobby decodes, fed the same bytes.
#include "pxo/TrackerPackets.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    using namespace TrackerPackets;
    (void)DispatchKey(bytes);
    const TLoginAccepted login = DecodeLoginAccepted(bytes);
    if (login.trackerId.size() > 10 || login.trackerId.contains('\0'))
        __builtin_trap();
    const TStatsReply stats = DecodeStatsReply(bytes);
    if (stats.displayName.contains('\0'))
        __builtin_trap();
    const TGameListReply list = DecodeGameListReply(bytes);
    if (list.entries.size() > (MaxDatagram - 31) / 38)
        __builtin_trap();
    return 0;
}
