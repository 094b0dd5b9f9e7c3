// The level-information reply and the file name taken from its address: whatever the server
// sends, the name is one plain name or none.
#include "base/SafeName.h"
#include "pxo/LevelTarget.h"
#include "servers/ServerReplies.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString address = ServerReplies::DecodeLevelAddress(bytes);
    if (!address.isEmpty() && (address.front().unicode() <= 0x20 || address.back().unicode() <= 0x20))
        __builtin_trap();
    if (address.contains(QChar(0)))
        __builtin_trap();
    // The raw datagram as an address too, so that names meet every character.
    for (const QString &text : {address, QString::fromLatin1(bytes)}) {
        const QString name = LevelTarget::FileName(text);
        if (!name.isEmpty() && (!SafeName::IsPlain(name) || name.contains(u'/') || name.contains(u'\\') ||
                                name == u".." || name.contains(u':')))
            __builtin_trap();
        const QString plain = SafeName::PlainName(text);
        if (!plain.isEmpty() && !SafeName::IsPlain(plain))
            __builtin_trap();
        (void)LevelTarget::IsFetchable(text);
    }
    return 0;
}
