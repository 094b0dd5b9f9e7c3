// The simulator's command line at its limits.

#include "sim/SimOptions.h"

#include <QTest>

class TestSimOptions : public QObject
{
    Q_OBJECT
private slots:
    void indexList_data();
    void indexList();
    void endpointAndAccount();
    void loopbackRange();
    void readOptions_data();
    void readOptions();
};

void TestSimOptions::indexList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QList<int>>("indices");
    QTest::newRow("empty") << "" << 3 << true << QList<int>{};
    QTest::newRow("single and range") << "0, 3,5-7" << 8 << true << QList<int>{0, 3, 5, 6, 7};
    QTest::newRow("last index") << "2" << 3 << true << QList<int>{2};
    QTest::newRow("one past the last") << "3" << 3 << false << QList<int>{};
    QTest::newRow("range past the last") << "1-3" << 3 << false << QList<int>{};
    QTest::newRow("reversed range") << "5-2" << 8 << false << QList<int>{};
    QTest::newRow("negative") << "-1" << 8 << false << QList<int>{};
    QTest::newRow("word") << "two" << 8 << false << QList<int>{};
    QTest::newRow("empty parts skipped") << "1,,2," << 8 << true << QList<int>{1, 2};
}

void TestSimOptions::indexList()
{
    QFETCH(QString, text);
    QFETCH(int, limit);
    QFETCH(bool, valid);
    QFETCH(QList<int>, indices);
    const std::optional<QSet<int>> list = ParseIndexList(text, limit);
    QCOMPARE(list.has_value(), valid);
    if (valid) {
        QList<int> sorted = list->values();
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(sorted, indices);
    }
}

void TestSimOptions::endpointAndAccount()
{
    QHostAddress address;
    quint16 port = 1;
    QVERIFY(ParseEndpoint("127.0.0.1:0", &address, &port));
    QCOMPARE(port, quint16(0));
    QVERIFY(ParseEndpoint("127.200.3.4:65535", &address, &port));
    QCOMPARE(address, QHostAddress("127.200.3.4"));
    QCOMPARE(port, quint16(65535));
    QVERIFY(!ParseEndpoint("127.0.0.1:65536", &address, &port));
    QVERIFY(!ParseEndpoint("10.0.0.1:2092", &address, &port)); // never off this machine
    QVERIFY(!ParseEndpoint("0.0.0.0:2092", &address, &port));
    QVERIFY(!ParseEndpoint("127.0.0.1", &address, &port));

    std::optional<TSimAccount> account = ParseAccount("bob:secret");
    QVERIFY(account);
    QCOMPARE(account->name, QByteArray("bob"));
    QCOMPARE(account->password, QByteArray("secret"));
    QVERIFY(!account->trackerId);
    account = ParseAccount("a%3Ab:p%3Dw:x=12345%0D%0A");
    QVERIFY(account);
    QCOMPARE(account->name, QByteArray("a:b"));
    QCOMPARE(account->password, QByteArray("p=w:x"));
    QCOMPARE(account->trackerId.value_or("none"), QByteArray("12345\r\n"));
    account = ParseAccount("bob:=");
    QVERIFY(account);
    QCOMPARE(account->password, QByteArray());
    QCOMPARE(account->trackerId.value_or("none"), QByteArray());
    QVERIFY(!ParseAccount(":secret"));
    QVERIFY(!ParseAccount("bob"));
}

void TestSimOptions::loopbackRange()
{
    QCOMPARE(NthLoopback(QHostAddress("127.0.0.255"), 1).value_or(QHostAddress()), QHostAddress("127.0.1.0"));
    QCOMPARE(NthLoopback(QHostAddress("127.255.255.253"), 1).value_or(QHostAddress()), QHostAddress("127.255.255.254"));
    QVERIFY(!NthLoopback(QHostAddress("127.255.255.253"), 2));
    QVERIFY(!NthLoopback(QHostAddress("10.0.0.1"), 0));
}

void TestSimOptions::readOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::newRow("defaults") << QStringList{} << QString();
    QTest::newRow("most servers") << QStringList{"--servers", "8000"} << QString();
    QTest::newRow("too many servers") << QStringList{"--servers", "8001"} << "--servers takes a number from 0 to 8000";
    QTest::newRow("knob on the last server") << QStringList{"--servers", "3", "--silent", "2"} << QString();
    QTest::newRow("knob past the last server") << QStringList{"--servers", "3", "--slow", "3"} << "--slow takes";
    QTest::newRow("servers up to the end of loopback")
        << QStringList{"--first-server", "127.255.255.250", "--servers", "5"} << QString();
    QTest::newRow("servers past the end of loopback")
        << QStringList{"--first-server", "127.255.255.250", "--servers", "6"} << "run past 127.255.255.254";
    QTest::newRow("servers off loopback") << QStringList{"--first-server", "192.0.2.1"} << "--first-server takes";
    QTest::newRow("largest list chunk") << QStringList{"--list-chunk", "106"} << QString();
    QTest::newRow("list chunk past one datagram") << QStringList{"--list-chunk", "107"} << "--list-chunk takes";
    QTest::newRow("zero delay") << QStringList{"--slow-ms", "0"} << "--slow-ms takes";
    QTest::newRow("bad login") << QStringList{"--login", "nopassword"} << "--login takes";
    QTest::newRow("bad seed") << QStringList{"--seed", "-4"} << "--seed takes";
    QTest::newRow("level address too long") << QStringList{"--level-url", QString(201, 'h')} << "--level-url is longer";
}

void TestSimOptions::readOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QCommandLineParser parser;
    AddSimOptions(parser);
    QVERIFY(parser.parse(QStringList{"orlo-pxo-sim"} + arguments));
    QString message;
    const std::optional<TSimOptions> options = ReadSimOptions(parser, &message);
    if (error.isEmpty()) {
        QVERIFY2(options, qPrintable(message));
    } else {
        QVERIFY(!options);
        QVERIFY2(message.startsWith(error) || message.contains(error), qPrintable(message));
    }
}

QTEST_GUILESS_MAIN(TestSimOptions)
#include "tst_SimOptions.moc"
