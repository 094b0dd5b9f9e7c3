// The file client's reply parser, fed the input whole and in chunks whose sizes come from
// the input itself: both must give the same events, within the caps, and every name that
// passes the save rule must be a plain file name.
#include "files/FileProtocol.h"
#include "files/FileReplyParser.h"

#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {
struct TSeen
{
    int kind;
    int position;
    QByteArray name;
    qint32 size;
    quint32 block;
    QByteArray data;
    bool operator==(const TSeen &) const = default;
};

void CheckName(const QByteArray &wire)
{
    const QString name = FileProtocol::SafeFileName(wire);
    if (name.contains(u'/') || name.contains(u'\\') || name.contains(u':') || name == u"." || name == u"..")
        __builtin_trap();
    (void)FileProtocol::FormatSize(wire.size());
}

QList<TSeen> Parse(QByteArrayView stream, QByteArrayView chunkSizes, qint64 fileSize)
{
    using Kind = TFileReplyParser::TEvent::Kind;
    TFileReplyParser parser;
    QList<TSeen> seen;
    qsizetype at = 0;
    qsizetype chunk = 0;
    while (at < stream.size()) {
        const qsizetype size =
            chunkSizes.isEmpty() ? stream.size() : 1 + quint8(chunkSizes[chunk++ % chunkSizes.size()]) * 5;
        QByteArrayView input = stream.sliced(at, qMin(size, stream.size() - at));
        at += size;
        for (;;) {
            const qsizetype before = input.size();
            const TFileReplyParser::TEvent event = parser.Next(input);
            if (input.size() > before)
                __builtin_trap();
            if (event.kind == Kind::NeedMore) {
                if (!input.isEmpty())
                    __builtin_trap();
                break;
            }
            if (event.kind == Kind::BlockHeader)
                parser.SetBlockLength(FileProtocol::BlockLength(fileSize, event.block));
            if (event.name.size() > FileProtocol::MaxNameBytes || event.name.contains('\0') ||
                event.position > FileProtocol::MaxListEntries || event.data.size() > FileProtocol::BlockSize)
                __builtin_trap();
            if (event.kind == Kind::ListEntry)
                CheckName(event.name);
            seen << TSeen{int(event.kind), event.position, event.name, event.size, event.block, event.data};
        }
    }
    return seen;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const QByteArrayView all(reinterpret_cast<const char *>(data), qsizetype(size));
    const qint64 fileSize = qint64(quint8(all[0])) * 40;
    const qsizetype split = quint8(all[1]) % (all.size() - 1);
    const QByteArrayView chunkSizes = all.sliced(2, split);
    const QByteArrayView stream = all.sliced(2 + split);
    if (Parse(stream, {}, fileSize) != Parse(stream, chunkSizes, fileSize))
        __builtin_trap();
    return 0;
}
