// Order and colours of the server list.
#include "pxo/ServerListRules.h"

#include <QTest>

using namespace ServerListRules;

namespace {
TRow Row(const QString &name, int column, const QString &cell, bool preferred = false, bool dedicated = false)
{
    TRow row;
    row.Cells[ColName] = name;
    if (column > 0)
        row.Cells[column] = cell;
    row.Preferred = preferred;
    row.Dedicated = dedicated;
    return row;
}
} // namespace

Q_DECLARE_METATYPE(ServerListRules::TColour)

class tst_ServerListRules : public QObject
{
    Q_OBJECT
private slots:
    void order_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("aPreferred");
        QTest::addColumn<bool>("aDedicated");
        QTest::addColumn<bool>("bDedicated");
        QTest::addColumn<bool>("aFirst");
        QTest::newRow("players: fuller first") << int(ColPlayers) << "3/8"
                                               << "1/8" << false << false << false << true;
        QTest::newRow("players: emptier later") << int(ColPlayers) << "1/8"
                                                << "3/8" << false << false << false << false;
        QTest::newRow("players: 10 before 9") << int(ColPlayers) << "10/16"
                                              << "9/16" << false << false << false << true;
        QTest::newRow("ping ascending") << int(ColPing) << "40"
                                        << "120" << false << false << false << true;
        QTest::newRow("ping not text order") << int(ColPing) << "120"
                                             << "40" << false << false << false << false;
        QTest::newRow("number: text as 0") << int(ColNumber) << "abc"
                                           << "1" << false << false << false << true;
        QTest::newRow("number: 0 vs text equal") << int(ColNumber) << "0"
                                                 << "x" << false << false << false << false;
        QTest::newRow("mode: dedicated first") << int(ColMode) << "zz d"
                                               << "aa" << false << true << false << true;
        QTest::newRow("mode: both dedicated") << int(ColMode) << "b d"
                                              << "A d" << false << true << true << false;
        QTest::newRow("level ignores case") << int(ColLevel) << "alpha"
                                            << "Beta" << false << false << false << true;
        QTest::newRow("preferred first by ping") << int(ColPing) << "999"
                                                 << "1" << true << false << false << true;
        QTest::newRow("preferred first by name") << int(ColName) << "zzz"
                                                 << "aaa" << true << false << false << true;
    }
    void order()
    {
        QFETCH(int, column);
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, aPreferred);
        QFETCH(bool, aDedicated);
        QFETCH(bool, bDedicated);
        QFETCH(bool, aFirst);
        const TRow ra = Row(column == ColName ? a : QStringLiteral("same"), column, a, aPreferred, aDedicated);
        const TRow rb = Row(column == ColName ? b : QStringLiteral("same"), column, b, false, bDedicated);
        QCOMPARE(LessThan(ra, rb, column), aFirst);
        if (aFirst)
            QVERIFY(!LessThan(rb, ra, column));
    }

    // A sort of three rows: the preferred one first, the others in the column's order.
    void preferredStaysFirst()
    {
        QList<TRow> rows{Row("A", ColPing, "40"), Row("P", ColPing, "500", true), Row("B", ColPing, "20")};
        std::stable_sort(rows.begin(), rows.end(),
                         [](const TRow &x, const TRow &y) { return LessThan(x, y, ColPing); });
        QCOMPARE(rows[0].Cells[ColName], QStringLiteral("P"));
        QCOMPARE(rows[1].Cells[ColName], QStringLiteral("B"));
        QCOMPARE(rows[2].Cells[ColName], QStringLiteral("A"));
    }

    void pingColour_data()
    {
        QTest::addColumn<quint32>("ping");
        QTest::addColumn<int>("limit1");
        QTest::addColumn<TColour>("colour");
        QTest::newRow("69") << 69u << 70 << TColour::Green;
        QTest::newRow("70") << 70u << 70 << TColour::Blue;
        QTest::newRow("149") << 149u << 70 << TColour::Blue;
        QTest::newRow("150") << 150u << 70 << TColour::Purple;
        QTest::newRow("200") << 200u << 70 << TColour::Red;
        QTest::newRow("299") << 299u << 70 << TColour::Red;
        QTest::newRow("300") << 300u << 70 << TColour::Black;
        QTest::newRow("huge unsigned") << 0xFFFFFFF0u << 70 << TColour::Black;
        QTest::newRow("negative limit never matches") << 0u << -1 << TColour::Blue;
    }
    void pingColour()
    {
        QFETCH(quint32, ping);
        QFETCH(int, limit1);
        QFETCH(TColour, colour);
        QCOMPARE(PingColour(ping, limit1, 150, 200, 300), colour);
    }

    void cellColours()
    {
        QCOMPARE(CaptionColour(true, true), TColour::Green);
        QCOMPARE(CaptionColour(false, true), TColour::Blue);
        QCOMPARE(CaptionColour(false, false), TColour::Black);
        QCOMPARE(ModeColour(false), TColour::Grey);
        QCOMPARE(LevelColour(false), TColour::Red);
        QCOMPARE(PlayersColour(8, 8), TColour::Red);
        QCOMPARE(PlayersColour(0, 8), TColour::Black);
        QCOMPARE(PlayersColour(0, 0), TColour::Red);
        QCOMPARE(PlayersColour(3, 8), TColour::Green);
    }

    void serialPingStarts_data()
    {
        QTest::addColumn<int>("servers");
        QTest::addColumn<int>("starts");
        QTest::newRow("0") << 0 << 3;
        QTest::newRow("10") << 10 << 3;
        QTest::newRow("19") << 19 << 3;
        QTest::newRow("20") << 20 << 4;
        QTest::newRow("23") << 23 << 4;
        QTest::newRow("5000") << 5000 << 1000;
    }
    void serialPingStarts()
    {
        QFETCH(int, servers);
        QFETCH(int, starts);
        QCOMPARE(SerialPingStarts(servers), starts);
    }
};

QTEST_GUILESS_MAIN(tst_ServerListRules)
#include "tst_ServerListRules.moc"
