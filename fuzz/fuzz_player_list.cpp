// The player-list and status replies: names are trimmed and never empty, and nothing past
// 4096 bytes is read.
#include "pxo/ServerReplies.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace ServerReplies;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList names = DecodePlayerList(bytes);
    if (names.size() > MaxDatagram / 2)
        __builtin_trap();
    for (const QString &name : names) {
        if (name.isEmpty() || name.front().unicode() <= 0x20 || name.back().unicode() <= 0x20)
            __builtin_trap();
    }
    const QString status = DecodeStatusText(bytes);
    if (status.contains(QChar(0)) || status.size() > MaxDatagram)
        __builtin_trap();
    if (bytes.size() > MaxDatagram && DecodePlayerList(bytes.first(MaxDatagram)) != names)
        __builtin_trap();
    return 0;
}
