// Echo replies as the ICMP socket hands them over (with and without the IP header), and
// user-reply datagrams: any bytes.
// Built and run by fuzz/run.sh.
#include "servers/EchoReply.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return 0;
    // An exact-size heap copy, so that reading one byte too far is caught.
    auto *copy = static_cast<char *>(std::malloc(size ? size : 1));
    if (size)
        std::memcpy(copy, data, size);
    const QByteArrayView bytes(copy, qsizetype(size));
    for (const auto format : {EchoReply::TFormat::WithIpHeader, EchoReply::TFormat::IcmpOnly}) {
        if (const auto reply = EchoReply::Parse(bytes, format)) {
            if (reply->Nick.toUtf8().size() > EchoReply::NickSize * 3)
                __builtin_trap();
        }
    }
    if (const auto reply = EchoReply::ParseUserReply(bytes)) {
        if (reply->Nick.size() > 28)
            __builtin_trap();
    }
    std::free(copy);
    return 0;
}
