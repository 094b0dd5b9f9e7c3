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

struct TOutgoing
{
    QByteArray bytes;
    QBuffer device{&bytes};
    TOutgoing() { device.open(QIODevice::WriteOnly); }
};
} // namespace

class tst_NxKeys : public QObject
{
    Q_OBJECT
private slots:
    void announcementIsTheIdentityPermutation();
    void announcementCompletesAtExactly512();
    void readingStopsAtTheEndOfTheAnnouncement();
    void everySplitPointGivesTheSameResult();
    void twoFreshEndsUnderstandEachOther();
    void sendingInPiecesEqualsSendingAtOnce();
    void emptyOrRefusedSendsUseNoKeystream();
};

void tst_NxKeys::announcementIsTheIdentityPermutation()
{
    TNxKeys keys;
    QVERIFY(keys.AwaitingAnnouncement());
    QCOMPARE(keys.Data, nullptr);
    QCOMPARE(keys.Announcement(), IdentityAnnouncement());
    QVERIFY(keys.Announcement().startsWith("000102"));
    QVERIFY(keys.Announcement().endsWith("FEFF"));

    TOutgoing out;
    QVERIFY(keys.SendAnnouncement(out.device));
    QCOMPARE(out.bytes, IdentityAnnouncement());
}

void tst_NxKeys::announcementCompletesAtExactly512()
{
    TNxKeys keys;
    const QByteArray announcement = IdentityAnnouncement();
    for (int k = 0; k < 511; ++k) {
        QCOMPARE(keys.AcceptAnnouncement(announcement.mid(k, 1)), 1);
        QVERIFY(keys.AwaitingAnnouncement());
    }
    QCOMPARE(keys.AnnouncementWanted(), 1);
    // More than is wanted: only the last announcement byte is taken.
    QCOMPARE(keys.AcceptAnnouncement(QByteArrayView("FXYZ")), 1);
    QVERIFY(!keys.AwaitingAnnouncement());
    QCOMPARE(keys.AnnouncementBuffer().size(), 512);
    QCOMPARE(keys.AcceptAnnouncement(QByteArrayView("more")), 0);
    QCOMPARE(keys.AnnouncementBuffer().size(), 512);
}

void tst_NxKeys::readingStopsAtTheEndOfTheAnnouncement()
{
    TIncoming in(IdentityAnnouncement() + Enciphered("hello"));
    TNxKeys keys;
    keys.ReadAnnouncement(in.device);
    QVERIFY(!keys.AwaitingAnnouncement());
    QCOMPARE(in.device.bytesAvailable(), 5);
    // A second call once complete reads nothing.
    keys.ReadAnnouncement(in.device);
    QCOMPARE(in.device.bytesAvailable(), 5);
    QCOMPARE(keys.ReceiveDecrypted(in.device), QByteArray("hello"));
    QCOMPARE(keys.ReceiveDecrypted(in.device), QByteArray());
}

void tst_NxKeys::everySplitPointGivesTheSameResult()
{
    const QByteArray plain = "The quick brown fox jumps over the lazy dog";
    const QByteArray wire = IdentityAnnouncement() + Enciphered(plain);
    for (qsizetype split = 0; split <= wire.size(); ++split) {
        TNxKeys keys;
        QByteArray received;
        for (const QByteArray &piece : {wire.left(split), wire.mid(split)}) {
            TIncoming in(piece);
            keys.ReadAnnouncement(in.device);
            if (!keys.AwaitingAnnouncement())
                received += keys.ReceiveDecrypted(in.device);
            else
                QCOMPARE(in.device.bytesAvailable(), 0);
        }
        QCOMPARE(received, plain);
    }
    // And one byte at a time.
    TNxKeys keys;
    QByteArray received;
    for (const char c : wire) {
        TIncoming in(QByteArray(1, c));
        keys.ReadAnnouncement(in.device);
        if (!keys.AwaitingAnnouncement())
            received += keys.ReceiveDecrypted(in.device);
    }
    QCOMPARE(received, plain);
}

void tst_NxKeys::twoFreshEndsUnderstandEachOther()
{
    TNxKeys sender;
    TNxKeys receiver;
    TOutgoing out;
    QVERIFY(sender.SendEncrypted(out.device, "first"));
    QVERIFY(sender.SendEncrypted(out.device, "second"));
    QCOMPARE(out.bytes, Enciphered("firstsecond"));
    TIncoming in(out.bytes);
    QCOMPARE(receiver.ReceiveDecrypted(in.device), QByteArray("firstsecond"));
}

void tst_NxKeys::sendingInPiecesEqualsSendingAtOnce()
{
    TNxKeys pieces;
    TOutgoing piecesOut;
    pieces.SendEncrypted(piecesOut.device, "ab");
    pieces.SendEncrypted(piecesOut.device, "c");
    TNxKeys whole;
    TOutgoing wholeOut;
    whole.SendEncrypted(wholeOut.device, "abc");
    QCOMPARE(piecesOut.bytes, wholeOut.bytes);
}

void tst_NxKeys::emptyOrRefusedSendsUseNoKeystream()
{
    TNxKeys keys;
    TOutgoing out;
    QVERIFY(keys.SendEncrypted(out.device, QByteArrayView()));
    QCOMPARE(out.bytes.size(), 0);

    QBuffer closed;
    QVERIFY(!keys.SendEncrypted(closed, "lost"));
    QVERIFY(!keys.SendAnnouncement(closed));

    QVERIFY(keys.SendEncrypted(out.device, "x"));
    QCOMPARE(out.bytes, Enciphered("x"));
}

QTEST_GUILESS_MAIN(tst_NxKeys)
#include "tst_NxKeys.moc"
