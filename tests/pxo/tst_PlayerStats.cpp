// The player window's texts at the edges of the rank table and of the counters.
#include "pxo/PlayerStats.h"

#include <QtTest>

using namespace PlayerStats;

class TestPlayerStats : public QObject
{
    Q_OBJECT

private slots:
    void rankText_data();
    void rankText();
    void efficiency_data();
    void efficiency();
    void pingAndClient();
};

void TestPlayerStats::rankText_data()
{
    QTest::addColumn<int>("rating");
    QTest::addColumn<QString>("text");
    QTest::addRow("0") << 0 << QStringLiteral("0 Cadet, Ensign at 600");
    QTest::addRow("599 last of Cadet") << 599 << QStringLiteral("599 Cadet, Ensign at 600");
    QTest::addRow("600 first of Ensign") << 600 << QStringLiteral("600 Ensign, Lieutenant at 900");
    QTest::addRow("750") << 750 << QStringLiteral("750 Ensign, Lieutenant at 900");
    QTest::addRow("2599 last of the short row") << 2599 << QStringLiteral("2599 Rear Admiral, Admiral at 2600");
    QTest::addRow("2600") << 2600 << QStringLiteral("2600 Admiral, Demigod at 3000");
    QTest::addRow("3000") << 3000 << QStringLiteral("3000 Demigod, God at 100000");
    QTest::addRow("65535 highest rating") << 65535 << QStringLiteral("65535 Demigod, God at 100000");
}

void TestPlayerStats::rankText()
{
    QFETCH(int, rating);
    QFETCH(QString, text);
    QCOMPARE(RankText(quint16(rating)), text);
}

void TestPlayerStats::efficiency_data()
{
    QTest::addColumn<quint32>("kills");
    QTest::addColumn<quint32>("deaths");
    QTest::addColumn<quint32>("suicides");
    QTest::addColumn<QString>("text");
    QTest::addRow("30/10/0 gives 75") << 30u << 10u << 0u << QStringLiteral("75");
    QTest::addRow("all zero is unknown") << 0u << 0u << 0u << QStringLiteral("Unknown");
    QTest::addRow("no kills") << 0u << 5u << 0u << QStringLiteral("0");
    QTest::addRow("rounded down") << 1u << 2u << 0u << QStringLiteral("33");
    QTest::addRow("only kills") << 7u << 0u << 0u << QStringLiteral("100");
    // In 32 bits the sum would wrap to 0 and the product past 2^32.
    QTest::addRow("sum past 2^32 is not unknown") << 0xFFFFFFFFu << 1u << 0u << QStringLiteral("99");
    QTest::addRow("kills times 100 past 2^32") << 50000000u << 0u << 0u << QStringLiteral("100");
    QTest::addRow("largest counts") << 0xFFFFFFFFu << 0xFFFFFFFFu << 0xFFFFFFFFu << QStringLiteral("33");
}

void TestPlayerStats::efficiency()
{
    QFETCH(quint32, kills);
    QFETCH(quint32, deaths);
    QFETCH(quint32, suicides);
    QFETCH(QString, text);
    QCOMPARE(EfficiencyText(kills, deaths, suicides), text);
}

void TestPlayerStats::pingAndClient()
{
    QCOMPARE(PingText(0), QStringLiteral("Unknown"));
    QCOMPARE(PingText(1), QStringLiteral("1"));
    QCOMPARE(PingText(0xFFFFFFFFu), QStringLiteral("4294967295"));
    QCOMPARE(ClientText(0), QStringLiteral("Unknown"));
    QCOMPARE(ClientText(38), QStringLiteral("Orlo (build: 38)"));
}

QTEST_GUILESS_MAIN(TestPlayerStats)
#include "tst_PlayerStats.moc"
