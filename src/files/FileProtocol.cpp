#include "files/FileProtocol.h"

#include "base/Bytes.h"
#include "base/SafeName.h"
#include "base/Text.h"

#include <QDir>

namespace FileProtocol {
namespace {
QByteArray WithNumber(quint8 code, quint32 number)
{
    TByteWriter bytes;
    bytes.AddU8(code);
    bytes.AddU32LE(number);
    return bytes.Data();
}
} // namespace

QByteArray ListRequest()
{
    return QByteArray(1, char(CommandList));
}

QByteArray OpenRequest(quint32 position)
{
    return WithNumber(CommandOpen, position);
}

QByteArray BlockRequest(quint32 block)
{
    return WithNumber(CommandBlock, block);
}

QByteArray BlockReplyHeader(quint32 block)
{
    return WithNumber(ReplyBlock, block);
}

QByteArray ListReply(const QList<TListedFile> &files)
{
    TByteWriter bytes;
    bytes.AddU8(ReplyList);
    for (const TListedFile &file : files) {
        bytes.Add(file.name);
        bytes.AddU8(0);
        bytes.AddU32LE(quint32(file.size));
    }
    bytes.AddU8(0);
    return bytes.Data();
}

qint64 BlockLength(qint64 size, quint32 block)
{
    const qint64 offset = qint64(block) * BlockSize;
    if (size <= offset)
        return 0;
    return qMin(BlockSize, size - offset);
}

qint64 BlockCount(qint64 size)
{
    return size <= 0 ? 0 : (size + BlockSize - 1) / BlockSize;
}

QString FormatSize(qint64 size)
{
    if (size < 10240)
        return QStringLiteral("%1 b").arg(size);
    if (size < 10 * 1048576)
        return QStringLiteral("%1 kb").arg((size + 512) / 1024);
    return QStringLiteral("%1 Mb").arg((size + 524288) / 1048576);
}

QByteArray EncodeName(const QString &name)
{
    return name.toUtf8();
}

QString DecodeName(QByteArrayView bytes)
{
    return Text::Decode(bytes);
}

QString SafeFileName(QByteArrayView bytes)
{
    return SafeName::PlainName(DecodeName(bytes));
}

QString LocalFileName(const QString &directory, const QString &name)
{
    QString path = directory;
#ifndef Q_OS_WIN
    path.replace(u'\\', u'/');
#endif
    if (!path.isEmpty() && !path.endsWith(u'/') && !path.endsWith(u'\\'))
        path += u'/';
    return QDir::toNativeSeparators(path + name);
}
} // namespace FileProtocol
