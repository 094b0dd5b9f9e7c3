#include "servers/GameQueries.h"

#include "base/Bytes.h"

#include <atomic>

namespace GameQueries {

QByteArray GameInfoRequest(quint16 sequence, quint32 versionCode)
{
    TByteWriter out(18);
    out.U32BEAt(0, 0x01290B00);
    out.U16LEAt(4, sequence);
    out.U32LEAt(6, versionCode);
    return out.Data();
}

QByteArray PlayerListRequest()
{
    TByteWriter out(4);
    out.U32BEAt(0, 0x01720300);
    return out.Data();
}

QByteArray LevelInfoRequest()
{
    TByteWriter out(4);
    out.U32BEAt(0, 0x01600300);
    return out.Data();
}

QByteArray StatusRequest()
{
    TByteWriter out(9);
    out.FieldAt(0, "\\status\\", 8);
    return out.Data();
}

quint32 NextVersionCode(QStringView versionText, quint32 lastCode)
{
    if (versionText == u"1.4")
        return VersionCode14;
    if (versionText == u"1.3")
        return VersionCode13;
    return lastCode;
}

quint32 CurrentVersionCode(QStringView versionText)
{
    // One request template serves every lobby, so the last recognised code is shared.
    static std::atomic<quint32> last{0};
    const quint32 code = NextVersionCode(versionText, last.load());
    last.store(code);
    return code;
}

} // namespace GameQueries
