// libFuzzer target: every request decoder of the simulated trackers and servers takes any bytes
// without crashing, and what it reads stays within its field.

#include "sim/ServerDatagrams.h"
#include "sim/TrackerDatagrams.h"

#include <cstdint>
#include <cstdlib>

namespace {
void Require(bool condition)
{
    if (!condition)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    using namespace TrackerDatagrams;
    switch (Classify(bytes)) {
    case TKind::LoginRequest: {
        const TLoginRequest r = DecodeLoginRequest(bytes);
        Require(r.name.size() <= NameBytes && r.password.size() <= PasswordBytes);
        Require(!r.name.contains('\0') && !r.password.contains('\0'));
        break;
    }
    case TKind::StatsRequest: {
        const TStatsRequest r = DecodeStatsRequest(bytes);
        Require(r.displayName.size() <= DisplayNameBytes && r.trackerId.size() <= TrackerIdBytes);
        break;
    }
    case TKind::UserAck:
        DecodeUserAck(bytes);
        break;
    case TKind::ListRequest:
        Require(DecodeListRequest(bytes).channel.size() <= qsizetype(size));
        break;
    case TKind::ListAck:
        DecodeListAck(bytes);
        break;
    case TKind::Unknown:
        break;
    }
    const ServerDatagrams::TKind kind = ServerDatagrams::Classify(bytes);
    if (kind == ServerDatagrams::TKind::GameInfo)
        ServerDatagrams::DecodeGameInfoRequest(bytes);
    else if (kind != ServerDatagrams::TKind::Unknown)
        ServerDatagrams::CheckShortRequest(bytes, kind);

    // Replies built from fuzzed texts keep within one datagram.
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    ServerDatagrams::TGameInfo info;
    info.name = info.level = info.description = info.gameType = text;
    Require(ServerDatagrams::EncodeGameInfoReply(info, 1).size() <= 20 + 4 * 256 + 16);
    Require(ServerDatagrams::EncodePlayerListReply(text.split('\n')).size() <= ServerDatagrams::MaxDatagram);
    Require(ServerDatagrams::EncodeLevelReply(text.split('\n')).size() <= ServerDatagrams::MaxDatagram);
    return 0;
}
