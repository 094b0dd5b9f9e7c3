// The file server's command parser, fed the input whole and in chunks whose sizes come
// from the input itself: both must give the same commands, and every parse must move on.
#include "files/FileCommandParser.h"

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>

namespace {
struct TSeen
{
    int kind;
    quint32 value;
    bool operator==(const TSeen &) const = default;
};

QList<TSeen> Parse(QByteArrayView stream, QByteArrayView chunkSizes)
{
    QList<TSeen> seen;
    QByteArray pending;
    qsizetype at = 0;
    qsizetype chunk = 0;
    while (at < stream.size()) {
        const qsizetype size =
            chunkSizes.isEmpty() ? stream.size() : 1 + quint8(chunkSizes[chunk++ % chunkSizes.size()]) % 8;
        pending += stream.sliced(at, qMin(size, stream.size() - at));
        at += size;
        for (;;) {
            const TParsedFileCommand parsed = ParseFileCommand(pending);
            if (parsed.status == TParsedFileCommand::Status::Incomplete) {
                if (pending.size() >= 5)
                    __builtin_trap();
                break;
            }
            if (parsed.frameSize < 1 || parsed.frameSize > 5 || parsed.frameSize > pending.size())
                __builtin_trap();
            seen << TSeen{parsed.status == TParsedFileCommand::Status::Bad ? -1 : int(parsed.command.kind),
                          parsed.command.value};
            pending.remove(0, parsed.frameSize);
        }
    }
    return seen;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArrayView all(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = quint8(all[0]) % (all.size());
    const QByteArrayView chunkSizes = all.sliced(1, split);
    const QByteArrayView stream = all.sliced(1 + split);
    if (Parse(stream, {}) != Parse(stream, chunkSizes))
        __builtin_trap();
    return 0;
}
