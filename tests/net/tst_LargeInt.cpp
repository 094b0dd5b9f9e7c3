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

QList<quint32> Limbs(const TLargeInt &value)
{
    QList<quint32> limbs;
    for (qsizetype k = 0; k < value.LimbCount(); ++k)
        limbs.append(value.GetLimb(k));
    return limbs;
}
} // namespace

class tst_LargeInt : public QObject
{
    Q_OBJECT
private slots:
    void zeroTexts();
    void setValue_data();
    void setValue();
    void hexText_data();
    void hexText();
    void hexRejectsOtherCharacters_data();
    void hexRejectsOtherCharacters();
    void binaryText_data();
    void binaryText();
    void add_data();
    void add();
    void addAgreesWithWideArithmetic();
    void shiftLeft_data();
    void shiftLeft();
    void shiftLeftAgreesWithDoubling();
    void isGreaterOrEqual_data();
    void isGreaterOrEqual();
    void bitByBit2048RoundTrips();
};

void tst_LargeInt::zeroTexts()
{
    TLargeInt fresh;
    QCOMPARE(fresh.LimbCount(), 0);
    QCOMPARE(fresh.ToHex(), QString());
    QCOMPARE(fresh.ToBinary(), QString());

    // An unnormalised zero keeps its limb and shows it.
    TLargeInt zero(0);
    QCOMPARE(zero.LimbCount(), 1);
    QCOMPARE(zero.ToHex(), QStringLiteral("0"));
    QCOMPARE(zero.ToBinary(), QStringLiteral("0"));
    zero.Normalize();
    QCOMPARE(zero.ToHex(), QString());

    TLargeInt eightZeros = Hex(QStringLiteral("00000000"));
    QCOMPARE(eightZeros.LimbCount(), 1);
    QCOMPARE(eightZeros.ToHex(), QStringLiteral("0"));
    TLargeInt nineZeros = Hex(QStringLiteral("000000000"));
    QCOMPARE(nineZeros.LimbCount(), 2);
    QCOMPARE(nineZeros.ToHex(), QStringLiteral("0"));
}

void tst_LargeInt::setValue_data()
{
    QTest::addColumn<qint32>("value");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<bool>("negative");
    QTest::newRow("1") << 1 << QStringLiteral("1") << false;
    QTest::newRow("-1") << -1 << QStringLiteral("-1") << true;
    QTest::newRow("max") << std::numeric_limits<qint32>::max() << QStringLiteral("7FFFFFFF") << false;
    QTest::newRow("min is magnitude 2^31") << std::numeric_limits<qint32>::min() << QStringLiteral("-80000000") << true;
}

void tst_LargeInt::setValue()
{
    QFETCH(qint32, value);
    QFETCH(QString, hex);
    QFETCH(bool, negative);
    TLargeInt number = Hex(QStringLiteral("123456789ABCDEF01"));
    number.SetValue(value);
    QCOMPARE(number.LimbCount(), 1);
    QCOMPARE(number.Negative(), negative);
    QCOMPARE(number.ToHex(), hex);
}

void tst_LargeInt::hexText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("limbs");
    QTest::addColumn<QString>("hex");
    QTest::newRow("leading zeros dropped") << QStringLiteral("000102") << 1 << QStringLiteral("102");
    QTest::newRow("lower case") << QStringLiteral("abcdef") << 1 << QStringLiteral("ABCDEF");
    QTest::newRow("negative") << QStringLiteral("-ff") << 1 << QStringLiteral("-FF");
    QTest::newRow("one full limb") << QStringLiteral("FFFFFFFF") << 1 << QStringLiteral("FFFFFFFF");
    QTest::newRow("2^32") << QStringLiteral("100000000") << 2 << QStringLiteral("100000000");
    QTest::newRow("zero top limb kept") << QStringLiteral("0000000012345678") << 2 << QStringLiteral("12345678");
    QTest::newRow("empty") << QString() << 0 << QString();
    QTest::newRow("512 digits") << QStringLiteral("F").repeated(512) << 64 << QStringLiteral("F").repeated(512);
}

void tst_LargeInt::hexText()
{
    QFETCH(QString, text);
    QFETCH(int, limbs);
    QFETCH(QString, hex);
    const TLargeInt number = Hex(text);
    QCOMPARE(number.LimbCount(), limbs);
    QCOMPARE(number.ToHex(), hex);
    if (text == QLatin1String("000102"))
        QCOMPARE(number.GetLimb(0), 258u);
}

void tst_LargeInt::hexRejectsOtherCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("readSoFar");
    QTest::newRow("letter G") << QStringLiteral("12G4") << QStringLiteral("4");
    QTest::newRow("last character") << QStringLiteral("123x") << QString();
    QTest::newRow("prefix 0x") << QStringLiteral("0x1F") << QStringLiteral("1F");
    QTest::newRow("inner minus") << QStringLiteral("1-2") << QStringLiteral("2");
    QTest::newRow("two minus signs") << QStringLiteral("--1") << QStringLiteral("-1");
    QTest::newRow("non-latin digit") << QString::fromUtf8("\xd9\xa1") << QString();
}

void tst_LargeInt::hexRejectsOtherCharacters()
{
    QFETCH(QString, text);
    QFETCH(QString, readSoFar);
    TLargeInt number;
    QVERIFY_THROWS_EXCEPTION(ELargeIntError, number.FromHex(text));
    try {
        number.FromHex(text);
    } catch (const std::runtime_error &e) {
        QVERIFY(QString::fromUtf8(e.what()).contains(QLatin1String("hexadecimal")));
    }
    QCOMPARE(number.ToHex(), readSoFar);
}

void tst_LargeInt::binaryText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("binary");
    QTest::addColumn<QString>("hex");
    QTest::newRow("leading zeros dropped") << QStringLiteral("0000101") << QStringLiteral("101") << QStringLiteral("5");
    QTest::newRow("all zeros") << QStringLiteral("0000") << QString() << QString();
    QTest::newRow("negative") << QStringLiteral("-110") << QStringLiteral("-110") << QStringLiteral("-6");
    QTest::newRow("other characters are 0") << QStringLiteral("1x1") << QStringLiteral("101") << QStringLiteral("5");
    QTest::newRow("33 bits") << QStringLiteral("1") + QStringLiteral("0").repeated(32)
                             << QStringLiteral("1") + QStringLiteral("0").repeated(32) << QStringLiteral("100000000");
}

void tst_LargeInt::binaryText()
{
    QFETCH(QString, text);
    QFETCH(QString, binary);
    QFETCH(QString, hex);
    TLargeInt number;
    number.FromBinary(text);
    QCOMPARE(number.ToBinary(), binary);
    QCOMPARE(number.ToHex(), hex);
}

void tst_LargeInt::add_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<QString>("sum");
    QTest::newRow("carry into new limb") << QStringLiteral("FFFFFFFF") << QStringLiteral("1")
                                         << QStringLiteral("100000000");
    QTest::newRow("carry across three limbs") << QStringLiteral("FFFFFFFFFFFFFFFFFFFFFFFF") << QStringLiteral("1")
                                              << QStringLiteral("1000000000000000000000000");
    QTest::newRow("borrow across three limbs") << QStringLiteral("1000000000000000000000000") << QStringLiteral("-1")
                                               << QStringLiteral("FFFFFFFFFFFFFFFFFFFFFFFF");
    QTest::newRow("3 + -5 crosses zero") << QStringLiteral("3") << QStringLiteral("-5") << QStringLiteral("-2");
    QTest::newRow("-3 + 5 crosses zero") << QStringLiteral("-3") << QStringLiteral("5") << QStringLiteral("2");
    QTest::newRow("-5 + 5 is plain zero") << QStringLiteral("-5") << QStringLiteral("5") << QString();
    QTest::newRow("two negatives") << QStringLiteral("-FFFFFFFF") << QStringLiteral("-1")
                                   << QStringLiteral("-100000000");
    QTest::newRow("negative result across limbs")
        << QStringLiteral("-100000000") << QStringLiteral("FFFFFFFF") << QStringLiteral("-1");
    QTest::newRow("short minus long") << QStringLiteral("1") << QStringLiteral("-10000000000000000")
                                      << QStringLiteral("-FFFFFFFFFFFFFFFF");
}

void tst_LargeInt::add()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(QString, sum);
    TLargeInt number = Hex(a);
    number.Add(Hex(b));
    QCOMPARE(number.ToHex(), sum);
    if (sum.isEmpty()) {
        QCOMPARE(number.LimbCount(), 0);
        QCOMPARE(number.Negative(), false);
    }
}

void tst_LargeInt::addAgreesWithWideArithmetic()
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
    }
    // AddValue covers the whole 32-bit range, its smallest value included.
    TLargeInt number(5);
    number.AddValue(std::numeric_limits<qint32>::min());
    QCOMPARE(number.ToHex(), WideHex(Wide(5) + std::numeric_limits<qint32>::min()));
}

void tst_LargeInt::shiftLeft_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<uint>("bits");
    QTest::addColumn<QList<quint32>>("limbs");
    QTest::newRow("1 by 0") << QStringLiteral("1") << 0u << QList<quint32>{1};
    QTest::newRow("1 by 31") << QStringLiteral("1") << 31u << QList<quint32>{0x80000000u};
    QTest::newRow("1 by 32") << QStringLiteral("1") << 32u << QList<quint32>{0, 1};
    QTest::newRow("1 by 33") << QStringLiteral("1") << 33u << QList<quint32>{0, 2};
    QTest::newRow("1 by 40") << QStringLiteral("1") << 40u << QList<quint32>{0, 256};
    QTest::newRow("max limb by 31") << QStringLiteral("FFFFFFFF") << 31u << QList<quint32>{0x80000000u, 0x7FFFFFFFu};
    QTest::newRow("max limb by 32") << QStringLiteral("FFFFFFFF") << 32u << QList<quint32>{0, 0xFFFFFFFFu};
    QTest::newRow("max limb by 33") << QStringLiteral("FFFFFFFF") << 33u << QList<quint32>{0, 0xFFFFFFFEu, 1};
    QTest::newRow("two limbs by 40") << QStringLiteral("123456789ABCDEF0") << 40u
                                     << QList<quint32>{0, 0x9ABCDEF0u << 8, 0x12345678u << 8 | 0x9A, 0x12};
    QTest::newRow("zero stays empty") << QString() << 40u << QList<quint32>{};
    QTest::newRow("shift by 0 normalises") << QStringLiteral("000000000001") << 0u << QList<quint32>{1};
}

void tst_LargeInt::shiftLeft()
{
    QFETCH(QString, value);
    QFETCH(uint, bits);
    QFETCH(QList<quint32>, limbs);
    TLargeInt number = Hex(value);
    number.ShiftLeft(bits);
    QCOMPARE(Limbs(number), limbs);
}

void tst_LargeInt::shiftLeftAgreesWithDoubling()
{
    QRandomGenerator random(33);
    for (const uint bits : {0u, 1u, 31u, 32u, 33u, 40u, 64u, 65u, 100u}) {
        for (int round = 0; round < 20; ++round) {
            const TLargeInt start = Hex(WideHex(RandomWide(random)));
            TLargeInt shifted(start);
            shifted.ShiftLeft(bits);
            TLargeInt doubled(start);
            for (uint k = 0; k < bits; ++k)
                doubled.Add(doubled);
            doubled.Normalize();
            QCOMPARE(shifted.ToHex(), doubled.ToHex());
            QCOMPARE(shifted.Negative(), start.Negative());
        }
    }
}

void tst_LargeInt::isGreaterOrEqual_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("result");
    QTest::newRow("equal") << QStringLiteral("5") << QStringLiteral("5") << true;
    QTest::newRow("smaller") << QStringLiteral("4") << QStringLiteral("5") << false;
    QTest::newRow("top limb decides") << QStringLiteral("100000000") << QStringLiteral("FFFFFFFF") << true;
    QTest::newRow("top limb decides, reversed") << QStringLiteral("FFFFFFFF") << QStringLiteral("100000000") << false;
    QTest::newRow("zero limbs on top are no larger")
        << QStringLiteral("0000000000000005") << QStringLiteral("5") << true;
    QTest::newRow("zero limbs on top, reversed") << QStringLiteral("5") << QStringLiteral("0000000000000005") << true;
    QTest::newRow("limbs compare unsigned") << QStringLiteral("80000000") << QStringLiteral("7FFFFFFF") << true;
    QTest::newRow("sign is ignored") << QStringLiteral("-9") << QStringLiteral("8") << true;
    QTest::newRow("both zero") << QString() << QStringLiteral("0") << true;
}

void tst_LargeInt::isGreaterOrEqual()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, result);
    QCOMPARE(Hex(a).IsGreaterOrEqual(Hex(b)), result);
}

void tst_LargeInt::bitByBit2048RoundTrips()
{
    QRandomGenerator random(2048);
    for (const bool leadingZeros : {false, true}) {
        QString bits;
        for (int k = 0; k < 2048; ++k)
            bits += random.bounded(2) ? QLatin1Char('1') : QLatin1Char('0');
        bits[0] = QLatin1Char('1');
        if (leadingZeros)
            bits.replace(0, 14, QStringLiteral("0").repeated(13) + QLatin1Char('1'));

        TLargeInt number;
        for (const QChar bit : bits) {
            number.ShiftLeft(1);
            number.AddValue(bit == QLatin1Char('1') ? 1 : 0);
        }
        QString expectedBinary = bits;
        while (expectedBinary.startsWith(QLatin1Char('0')))
            expectedBinary.remove(0, 1);
        QCOMPARE(number.ToBinary(), expectedBinary);

        // Hexadecimal worked out from the bits four at a time.
        QString expectedHex;
        for (int k = 0; k < 2048; k += 4)
            expectedHex += QLatin1Char("0123456789ABCDEF"[bits.mid(k, 4).toInt(nullptr, 2)]);
        while (expectedHex.size() > 1 && expectedHex.startsWith(QLatin1Char('0')))
            expectedHex.remove(0, 1);
        QCOMPARE(number.ToHex(), expectedHex);
        QCOMPARE(number.ToHex().size(), leadingZeros ? 509 : 512);

        QCOMPARE(Hex(number.ToHex()).ToBinary(), expectedBinary);
        TLargeInt fromBinary;
        fromBinary.FromBinary(bits);
        QCOMPARE(fromBinary.ToHex(), expectedHex);
    }
}

QTEST_GUILESS_MAIN(tst_LargeInt)
#include "tst_LargeInt.moc"
