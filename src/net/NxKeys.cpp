#include "net/NxKeys.h"

#include "net/ULargeInt.h"

#include <QIODevice>

#include <algorithm>

QByteArray TNxKeys::Announcement() const
{
    TLargeInt number;
    number.FromBinary(m_sendCipher.GetStateBits());
    return number.ToHex().rightJustified(AnnouncementLength, QLatin1Char('0')).toLatin1();
}

qsizetype TNxKeys::AcceptAnnouncement(QByteArrayView bytes)
{
    const qsizetype taken = std::min(bytes.size(), AnnouncementWanted());
    m_announcementBuffer.append(bytes.first(taken));
    if (m_announcementBuffer.size() == AnnouncementLength)
        m_awaitingAnnouncement = false;
    return taken;
}

bool TNxKeys::SendAnnouncement(QIODevice &socket)
{
    if (!socket.isWritable())
        return false;
    const QByteArray text = Announcement();
    return socket.write(text) == text.size();
}

void TNxKeys::ReadAnnouncement(QIODevice &socket)
{
    if (!m_awaitingAnnouncement)
        return;
    AcceptAnnouncement(socket.read(AnnouncementWanted()));
}

QByteArray TNxKeys::ReceiveDecrypted(QIODevice &socket)
{
    QByteArray bytes = socket.readAll();
    Decrypt(bytes);
    return bytes;
}

bool TNxKeys::SendEncrypted(QIODevice &socket, QByteArrayView text)
{
    if (text.isEmpty())
        return true;
    if (!socket.isWritable())
        return false;
    QByteArray bytes = text.toByteArray();
    Encrypt(bytes);
    return socket.write(bytes) == bytes.size();
}
