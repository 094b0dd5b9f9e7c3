// A peer's bytes fed to TNxKeys in arbitrary pieces: the announcement never takes more
// than 512 bytes, and everything behind it comes out deciphered with the same keystream
// however the stream was cut.
#include "net/NxKeys.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

namespace {
void Check(bool condition)
{
    if (!condition)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 65536)
        return 0;
    // The first byte chooses the piece size, the rest is the stream.
    const qsizetype piece = 1 + data[0];
    const QByteArray wire(reinterpret_cast<const char *>(data) + 1, qsizetype(size) - 1);

    TNxKeys keys;
    QByteArray plain;
    for (qsizetype at = 0; at < wire.size(); at += piece) {
        QByteArray chunk = wire.mid(at, piece);
        QBuffer device(&chunk);
        device.open(QIODevice::ReadOnly);
        const qsizetype before = keys.AnnouncementBuffer().size();
        keys.ReadAnnouncement(device);
        Check(keys.AnnouncementBuffer().size() <= TNxKeys::AnnouncementLength);
        Check(keys.AnnouncementBuffer().size() - before == chunk.size() - device.bytesAvailable());
        Check(keys.AwaitingAnnouncement() == (keys.AnnouncementBuffer().size() < TNxKeys::AnnouncementLength));
        if (!keys.AwaitingAnnouncement())
            plain += keys.ReceiveDecrypted(device);
        Check(device.bytesAvailable() == 0 || keys.AwaitingAnnouncement());
    }
    Check(keys.AnnouncementBuffer() == wire.left(TNxKeys::AnnouncementLength));

    // The same bytes deciphered in one piece.
    TNxKeys whole;
    QByteArray rest = wire.mid(TNxKeys::AnnouncementLength);
    whole.Decrypt(rest);
    Check(plain == rest);
    return 0;
}
