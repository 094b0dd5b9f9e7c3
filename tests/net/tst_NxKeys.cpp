#include "net/NxKeys.h"

#include <QBuffer>
#include <QTest>

namespace {
// The identity permutation as the peer announces it.
QByteArray IdentityAnnouncement()
{
    QByteArray text;
    for (int k = 0; k < 256; ++k)
        text += QByteArray::number(k, 16).rightJustified(2, '0').toUpper();
    return text;
}

// Bytes as a peer with a fresh keystream would put them on the wire.
QByteArray Enciphered(const QByteArray &plain)
{
    TRC4 rc4;
    QByteArray bytes = plain;
    for (char &c : bytes)
        c = char(quint8(c) ^ rc4.NextByte());
    return bytes;
}

// A device holding what a peer sent, read from the start.
struct TIncoming
{
    QByteArray bytes;
    QBuffer device{&bytes};
    explicit TIncoming(const QByteArray &content) : bytes(content) { device.open(QIODevice::ReadOnly); }
};
} // namespace

class tst_NxKeys : public QObject
{
    Q_OBJECT
private slots:
    void everySplitPointGivesTheSameResult();
    void sendsUseTheKeystreamInOrder();
};

void tst_NxKeys::everySplitPointGivesTheSameResult()
{
    const QByteArray plain = "The quick brown fox jumps over the lazy dog";
    // Each end announces the identity permutation.
    QCOMPARE(TNxKeys().Announcement(), IdentityAnnouncement());
    const QByteArray wire = IdentityAnnouncement() + Enciphered(plain);
    // At every split point, and (split -1) one byte at a time.
    for (qsizetype split = -1; split <= wire.size(); ++split) {
        TNxKeys keys;
        QByteArray received;
        QList<QByteArray> pieces{wire.left(split), wire.mid(split)};
        if (split < 0) {
            pieces.clear();
            for (const char c : wire)
                pieces << QByteArray(1, c);
        }
        for (const QByteArray &piece : std::as_const(pieces)) {
            TIncoming in(piece);
            keys.ReadAnnouncement(in.device);
            if (!keys.AwaitingAnnouncement())
                received += keys.ReceiveDecrypted(in.device);
            else
                QCOMPARE(in.device.bytesAvailable(), 0);
        }
        QCOMPARE(received, plain);
    }
}

// Sends in pieces encipher as one send would; empty and refused sends use no keystream.
void tst_NxKeys::sendsUseTheKeystreamInOrder()
{
    TNxKeys sender;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QVERIFY(sender.SendEncrypted(out, "fir"));
    QVERIFY(sender.SendEncrypted(out, QByteArrayView()));
    QBuffer closed;
    QVERIFY(!sender.SendEncrypted(closed, "lost"));
    QVERIFY(!sender.SendAnnouncement(closed));
    QVERIFY(sender.SendEncrypted(out, "stsecond"));
    QCOMPARE(out.data(), Enciphered("firstsecond"));
    TNxKeys receiver;
    TIncoming in(out.data());
    QCOMPARE(receiver.ReceiveDecrypted(in.device), QByteArray("firstsecond"));
}

QTEST_GUILESS_MAIN(tst_NxKeys)
#include "tst_NxKeys.moc"
