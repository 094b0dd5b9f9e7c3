#include "chat/GameQueries.h"

#include <QtEndian>

#include <atomic>

namespace GameQueries {

QByteArray GameInfoRequest(quint16 sequence, quint32 versionCode)
{
    QByteArray request(18, '\0');
    request[0] = 0x01;
    request[1] = 0x29;
    request[2] = 0x0B;
    qToLittleEndian(sequence, request.data() + 4);
    qToLittleEndian(versionCode, request.data() + 6);
    return request;
}

QByteArray PlayerListRequest()
{
    return QByteArray("\x01\x72\x03\x00", 4);
}

QByteArray LevelInfoRequest()
{
    return QByteArray("\x01\x60\x03\x00", 4);
}

QByteArray StatusRequest()
{
    return QByteArray("\\status\\\0", 9);
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
    // One request template serves every lobby form, so the last recognised code is shared.
    static std::atomic<quint32> last{0};
    const quint32 code = NextVersionCode(versionText, last.load());
    last.store(code);
    return code;
}

} // namespace GameQueries
