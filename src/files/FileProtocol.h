#pragma once

// The file protocol, carried inside the enciphered stream (integers 32-bit little-endian,
// no lengths or separators besides these):
//
//   client -> server   01                        send the file list
//                      03  u32 position          open that file of the list last sent
//                      04  u32 block             send that block of the open file
//   server -> client   02  { name bytes, 00, i32 size }*  00       the file list
//                      05  u32 block  data                         one block
//
// A block carries min(1024, size - block * 1024) bytes of the listed size, none past the
// end. The data length is not on the wire: both ends derive it from the listed size.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace FileProtocol {
constexpr quint8 CommandList = 1;
constexpr quint8 ReplyList = 2;
constexpr quint8 CommandOpen = 3;
constexpr quint8 CommandBlock = 4;
constexpr quint8 ReplyBlock = 5;

constexpr qint64 BlockSize = 1024;
// Sizes travel as signed 32-bit numbers.
constexpr qint64 MaxFileSize = 0x7FFFFFFF;
// What a client accepts from a server before it gives up on the connection.
constexpr qsizetype MaxNameBytes = 1024;
constexpr int MaxListEntries = 10000;

struct TListedFile
{
    QByteArray name; // non-empty, no zero byte
    qint32 size = 0;
};

QByteArray ListRequest();
QByteArray OpenRequest(quint32 position);
QByteArray BlockRequest(quint32 block);
QByteArray ListReply(const QList<TListedFile> &files);
QByteArray BlockReplyHeader(quint32 block);

// Data bytes of that block of a file of Size bytes: 1024, the rest of the file, or 0.
qint64 BlockLength(qint64 size, quint32 block);
// Blocks a file of Size bytes takes.
qint64 BlockCount(qint64 size);

// "10239 b", "10 kb", "10 Mb".
QString FormatSize(qint64 size);

// A name as it travels: UTF-8.
QByteArray EncodeName(const QString &name);
// A received name for display: UTF-8 when valid, else Windows-1252.
QString DecodeName(QByteArrayView bytes);
// The plain file name a received name may be saved under: everything up to the last "/",
// "\" or ":" is dropped; empty, ".", "..", and names with control characters or
// direction overrides give an empty result (refused).
QString SafeFileName(QByteArrayView bytes);

// Where a download of Name goes: Directory (either separator; a trailing one or not)
// followed by Name, or the bare Name when Directory is empty.
QString LocalFileName(const QString &directory, const QString &name);
} // namespace FileProtocol
