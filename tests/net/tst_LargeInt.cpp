// Large integers against arithmetic done apart from the class: the compiler's 128-bit
// integers and bit-by-bit work.
#include "net/ULargeInt.h"

#include <QRandomGenerator>
#include <QTest>

#include <limits>

namespace {
__extension__ typedef __int128 Wide;
__extension__ typedef unsigned __int128 UWide;

TLargeInt Hex(const QString &text)
{
    TLargeInt value;
    value.FromHex(text);
    return value;
}

// The hexadecimal text of a 128-bit value, computed without the class.
QString WideHex(Wide value)
{
    const bool negative = value < 0;
    UWide magnitude = negative ? -UWide(value) : UWide(value);
    QString digits;
    while (magnitude != 0) {
        digits.prepend(QLatin1Char("0123456789ABCDEF"[int(magnitude & 15)]));
        magnitude >>= 4;
    }
    return (negative ? QStringLiteral("-") : QString()) + digits;
}

Wide RandomWide(QRandomGenerator &random)
{
    // Up to three limbs, often with all-ones or zero limbs to provoke carries and borrows.
    Wide value = 0;
    const int limbs = int(random.bounded(4));
    for (int k = 0; k < limbs; ++k) {
        quint32 limb = random.generate();
        const int shape = int(random.bounded(4));
        if (shape == 0)
            limb = 0xFFFFFFFFu;
        else if (shape == 1)
            limb = 0;
        value = (value << 32) | limb;
    }
    return random.bounded(2) ? -value : value;
}

} // namespace

class tst_LargeInt : public QObject
{
    Q_OBJECT
private slots:
    void hexText_data();
    void hexText();
    void hexRejectsOtherCharacters_data();
    void hexRejectsOtherCharacters();
    void arithmeticAgreesWithWideIntegers();
    void bitByBit2048RoundTrips();
};

void tst_LargeInt::hexText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("limbs");
    QTest::addColumn<QString>("hex");
    QTest::newRow("leading zeros dropped") << QStringLiteral("000102") << 1 << QStringLiteral("102");
    QTest::newRow("lower case") << QStringLiteral("abcdef") << 1 << QStringLiteral("ABCDEF");
    QTest::newRow("negative") << QStringLiteral("-ff") << 1 << QStringLiteral("-FF");
    QTest::newRow("zero top limb kept") << QStringLiteral("0000000012345678") << 2 << QStringLiteral("12345678");
    QTest::newRow("empty") << QString() << 0 << QString();
    // An unnormalised zero keeps its limbs and shows as 0.
    QTest::newRow("eight zeros") << QStringLiteral("00000000") << 1 << QStringLiteral("0");
    QTest::newRow("nine zeros") << QStringLiteral("000000000") << 2 << QStringLiteral("0");
}

void tst_LargeInt::hexText()
{
    QFETCH(QString, text);
    QFETCH(int, limbs);
    QFETCH(QString, hex);
    const TLargeInt number = Hex(text);
    QCOMPARE(number.LimbCount(), limbs);
    QCOMPARE(number.ToHex(), hex);
}

void tst_LargeInt::hexRejectsOtherCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("readSoFar");
    QTest::newRow("letter G") << QStringLiteral("12G4") << QStringLiteral("4");
    QTest::newRow("prefix 0x") << QStringLiteral("0x1F") << QStringLiteral("1F");
    QTest::newRow("two minus signs") << QStringLiteral("--1") << QStringLiteral("-1");
    QTest::newRow("non-latin digit") << QString::fromUtf8("\xd9\xa1") << QString();
}

void tst_LargeInt::hexRejectsOtherCharacters()
{
    QFETCH(QString, text);
    QFETCH(QString, readSoFar);
    TLargeInt number;
    QVERIFY_THROWS_EXCEPTION(ELargeIntError, number.FromHex(text));
    QCOMPARE(number.ToHex(), readSoFar);
}

// Sums, shifts and comparisons of random values of up to three limbs, against __int128.
void tst_LargeInt::arithmeticAgreesWithWideIntegers()
{
    QRandomGenerator random(5101);
    for (int round = 0; round < 5000; ++round) {
        const Wide a = RandomWide(random);
        const Wide b = RandomWide(random);
        TLargeInt number = Hex(WideHex(a));
        number.Add(Hex(WideHex(b)));
        number.Normalize();
        QCOMPARE(number.ToHex(), WideHex(a + b));
        if (a + b == 0)
            QCOMPARE(number.Negative(), false);
        QCOMPARE(Hex(WideHex(a)).IsGreaterOrEqual(Hex(WideHex(b))), (a < 0 ? -a : a) >= (b < 0 ? -b : b));
        // Shifts by whole limbs and across them: 63 bits shifted by less than 64 fit 127 bits.
        const Wide value = a >> 33;
        const uint bits = random.bounded(64u);
        TLargeInt shifted = Hex(WideHex(value));
        shifted.ShiftLeft(bits);
        QCOMPARE(shifted.ToHex(), WideHex(value * (Wide(1) << bits)));
    }
    // A sum of zero is the normalised, not negative, zero.
    TLargeInt zero = Hex(QStringLiteral("-100000005"));
    zero.Add(Hex(QStringLiteral("100000005")));
    QCOMPARE(zero.LimbCount(), 0);
    QVERIFY(!zero.Negative());
    // AddValue covers the whole 32-bit range, its smallest value included.
    TLargeInt number(5);
    number.AddValue(std::numeric_limits<qint32>::min());
    QCOMPARE(number.ToHex(), WideHex(Wide(5) + std::numeric_limits<qint32>::min()));
    // Zero limbs on top count for nothing, in comparisons and shifts.
    QVERIFY(Hex(QStringLiteral("0000000000000005")).IsGreaterOrEqual(Hex(QStringLiteral("5"))));
    QVERIFY(Hex(QStringLiteral("5")).IsGreaterOrEqual(Hex(QStringLiteral("0000000000000005"))));
    number = Hex(QStringLiteral("000000000001"));
    number.ShiftLeft(33);
    QCOMPARE(number.LimbCount(), 2);
    QCOMPARE(number.GetLimb(1), 2u);
}

// A 2048-bit state with 13 leading zero bits, built a bit at a time, against its bits and
// the hexadecimal worked out from them four at a time.
void tst_LargeInt::bitByBit2048RoundTrips()
{
    QRandomGenerator random(2048);
    QString bits = QStringLiteral("0").repeated(13) + QLatin1Char('1');
    while (bits.size() < 2048)
        bits += random.bounded(2) ? QLatin1Char('1') : QLatin1Char('0');
    TLargeInt number;
    for (const QChar bit : bits) {
        number.ShiftLeft(1);
        number.AddValue(bit == QLatin1Char('1') ? 1 : 0);
    }
    QCOMPARE(number.ToBinary(), bits.mid(13));
    QString expectedHex;
    for (int k = 0; k < 2048; k += 4)
        expectedHex += QLatin1Char("0123456789ABCDEF"[bits.mid(k, 4).toInt(nullptr, 2)]);
    expectedHex.remove(0, 3);
    QCOMPARE(number.ToHex(), expectedHex);
    QCOMPARE(Hex(expectedHex).ToBinary(), bits.mid(13));
    TLargeInt fromBinary;
    fromBinary.FromBinary(bits);
    QCOMPARE(fromBinary.ToHex(), expectedHex);

    // Characters other than '1' are 0 bits; a leading '-' makes it negative.
    TLargeInt signedBits;
    signedBits.FromBinary(QStringLiteral("-1x1"));
    QCOMPARE(signedBits.ToHex(), QStringLiteral("-5"));
    QCOMPARE(signedBits.ToBinary(), QStringLiteral("-101"));
}

QTEST_GUILESS_MAIN(tst_LargeInt)
#include "tst_LargeInt.moc"
