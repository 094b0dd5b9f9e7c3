#pragma once

#include "net/URC4.h"

#include <QByteArray>
#include <QByteArrayView>

class QIODevice;

// The per-connection state of the enciphered stream. Each direction carries
//   512 bytes   the sender's send permutation as upper-case hexadecimal, byte 0 first,
//               unencrypted (always the identity: "000102…FEFF")
//   then        the application's bytes XORed with the sender's RC4 keystream, one
//               keystream for the whole connection, without lengths or separators.
// Both ciphers start from the identity permutation and are never keyed.
class TNxKeys
{
public:
    static constexpr qsizetype AnnouncementLength = 512;

    // The owner's per-connection object; never used or freed here.
    void *Data = nullptr;

    bool AwaitingAnnouncement() const { return m_awaitingAnnouncement; }
    const QByteArray &AnnouncementBuffer() const { return m_announcementBuffer; }
    // How many announcement bytes are still to come.
    qsizetype AnnouncementWanted() const { return AnnouncementLength - m_announcementBuffer.size(); }

    // Our own announcement, exactly 512 characters.
    QByteArray Announcement() const;
    // Takes at most AnnouncementWanted() bytes from the front of Bytes; returns how many.
    qsizetype AcceptAnnouncement(QByteArrayView bytes);
    void Decrypt(QByteArray &bytes) { m_receiveCipher.Apply(bytes); }
    void Encrypt(QByteArray &bytes) { m_sendCipher.Apply(bytes); }

    // The socket-facing steps. ReadAnnouncement never reads past the announcement, so
    // data behind it stays in the socket for the read events.
    bool SendAnnouncement(QIODevice &socket);
    void ReadAnnouncement(QIODevice &socket);
    QByteArray ReceiveDecrypted(QIODevice &socket);
    // An empty text sends nothing and uses no keystream. False when the socket refused.
    bool SendEncrypted(QIODevice &socket, QByteArrayView text);

private:
    QByteArray m_announcementBuffer;
    TRC4 m_receiveCipher;
    TRC4 m_sendCipher;
    bool m_awaitingAnnouncement = true;
};
