// Peer datagrams as they arrive on UDP 28045.
#include "net/PeerPackets.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto packet = PeerPackets::Decode(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (packet) {
        if (const auto *request = std::get_if<PeerPackets::TTalkRequest>(&*packet)) {
            if (request->alias.size() > PeerPackets::AliasBytes || request->alias.contains('\0'))
                __builtin_trap();
        }
    }
    return 0;
}
