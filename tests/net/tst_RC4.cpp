#include "net/URC4.h"

#include <QRandomGenerator>
#include <QTest>

#include <array>
#include <numeric>
#include <vector>

namespace {
QString BitsOf(const QByteArray &bytes)
{
    QString bits;
    for (const char c : bytes)
        bits += QStringLiteral("%1").arg(quint8(c), 8, 2, QLatin1Char('0'));
    return bits;
}

// Textbook RC4, written apart from the class under test.
struct TReferenceRC4
{
    std::vector<int> s = std::vector<int>(256);
    int i = 0;
    int j = 0;
    explicit TReferenceRC4(const std::vector<int> &key)
    {
        std::iota(s.begin(), s.end(), 0);
        int jj = 0;
        for (int k = 0; k < 256; ++k) {
            jj = (jj + s[k] + key[size_t(k) % key.size()]) % 256;
            std::swap(s[k], s[jj]);
        }
    }
    TReferenceRC4() { std::iota(s.begin(), s.end(), 0); }
    int Next()
    {
        i = (i + 1) % 256;
        j = (j + s[i]) % 256;
        std::swap(s[i], s[j]);
        return s[(s[i] + s[j]) % 256];
    }
};

QByteArray Keystream(TRC4 &rc4, int count)
{
    QByteArray out(count, '\0');
    for (char &c : out)
        c = char(rc4.NextByte());
    return out;
}
} // namespace

class tst_RC4 : public QObject
{
    Q_OBJECT
private slots:
    void publishedVectors_data();
    void publishedVectors();
    void keyScheduleAgreesWithTextbook_data();
    void keyScheduleAgreesWithTextbook();
    void stateBits();
};

void tst_RC4::publishedVectors_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("expected");
    // RFC 6229, test vectors for keys given as sequences 0x01, 0x02, ...
    const QByteArray k40 = QByteArray::fromHex("0102030405");
    const QByteArray k128 = QByteArray::fromHex("0102030405060708090a0b0c0d0e0f10");
    const QByteArray k256 = QByteArray::fromHex("0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20");
    QTest::newRow("40-bit @0") << k40 << 0 << QByteArray::fromHex("b2396305f03dc027ccc3524a0a1118a8");
    QTest::newRow("40-bit @4096") << k40 << 4096 << QByteArray::fromHex("ff25b58995996707e51fbdf08b34d875");
    QTest::newRow("128-bit @0") << k128 << 0 << QByteArray::fromHex("9ac7cc9a609d1ef7b2932899cde41b97");
    QTest::newRow("128-bit @4080") << k128 << 4080 << QByteArray::fromHex("ff38265c1642c1abe8d3c2fe5e572bf8");
    QTest::newRow("256-bit @0") << k256 << 0 << QByteArray::fromHex("eaa6bd25880bf93d3f5d1e4ca2611d91");
    QTest::newRow("256-bit @4096") << k256 << 4096 << QByteArray::fromHex("f3e4c0a2e02d1d01f7f0a74618af2b48");
}

void tst_RC4::publishedVectors()
{
    QFETCH(QByteArray, key);
    QFETCH(int, offset);
    QFETCH(QByteArray, expected);
    TRC4 rc4;
    rc4.SetKey(BitsOf(key));
    Keystream(rc4, offset);
    QCOMPARE(Keystream(rc4, expected.size()).toHex(), expected.toHex());

    // The in-place path the streams use gives the same bytes, in pieces around its eight-byte
    // words, and leaves the same state behind.
    TRC4 other;
    other.SetKey(BitsOf(key));
    QByteArray buffer(offset + expected.size(), '\0');
    qsizetype at = 0;
    for (const qsizetype piece : {0, 1, 7, 8, 9, 255}) {
        const qsizetype length = std::min(piece, buffer.size() - at);
        other.Apply(buffer.data() + at, length);
        at += length;
    }
    other.Apply(buffer.data() + at, buffer.size() - at);
    QCOMPARE(buffer.mid(offset).toHex(), expected.toHex());
    QCOMPARE(other.State(), rc4.State());
    QCOMPARE(other.IndexJ(), rc4.IndexJ());
}

void tst_RC4::keyScheduleAgreesWithTextbook_data()
{
    QTest::addColumn<QString>("keyBits");
    QTest::addColumn<std::vector<int>>("keyArray");
    QTest::newRow("never keyed: the identity state") << QString() << std::vector<int>{};
    QTest::newRow("empty: all zero") << QStringLiteral("") << std::vector<int>{0};
    QTest::newRow("single '1': all 255") << QStringLiteral("1") << std::vector<int>{255};
    QTest::newRow("other characters are 0 bits") << QStringLiteral("1x1y") << std::vector<int>{0xAA};
    // 12 bits do not divide 8: the repetition runs across byte boundaries.
    QTest::newRow("12 bits") << QStringLiteral("100000000011") << std::vector<int>{0x80, 0x38, 0x03};
    QRandomGenerator random(2048);
    QByteArray key(256, '\0');
    std::vector<int> keyArray;
    for (char &c : key) {
        c = char(random.bounded(256));
        keyArray.push_back(quint8(c));
    }
    QTest::newRow("full length") << BitsOf(key) << keyArray;
}

void tst_RC4::keyScheduleAgreesWithTextbook()
{
    QFETCH(QString, keyBits);
    QFETCH(std::vector<int>, keyArray);
    TRC4 rc4;
    if (!keyBits.isNull())
        rc4.SetKey(keyBits);
    TReferenceRC4 reference = keyArray.empty() ? TReferenceRC4() : TReferenceRC4(keyArray);
    for (int k = 0; k < 256; ++k)
        QCOMPARE(int(rc4.State()[size_t(k)]), reference.s[size_t(k)]);
    for (int k = 0; k < 3000; ++k)
        QCOMPARE(int(rc4.NextByte()), reference.Next());
}

void tst_RC4::stateBits()
{
    TRC4 source;
    source.SetKey(QStringLiteral("1011001110001111"));
    Keystream(source, 777);
    const QString bits = source.GetStateBits();
    QCOMPARE(bits.size(), 2048);
    TRC4 copy;
    copy.SetStateBits(bits);
    QCOMPARE(copy.State(), source.State());
    QCOMPARE(copy.GetStateBits(), bits);

    // Characters past the 2048th are ignored.
    copy.SetStateBits(bits + QStringLiteral("11111111"));
    QCOMPARE(copy.State(), source.State());
    // Loading a state and keying keep the indices where they are.
    const quint8 j = source.IndexJ();
    source.SetStateBits(bits);
    source.SetKey(QStringLiteral("1"));
    QCOMPARE(source.IndexI(), quint8(777 % 256));
    QCOMPARE(source.IndexJ(), j);
}

QTEST_GUILESS_MAIN(tst_RC4)
#include "tst_RC4.moc"
