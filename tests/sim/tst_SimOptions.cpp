// The simulator's command line at its limits.

#include "sim/SimOptions.h"

#include <QTest>

class TestSimOptions : public QObject
{
    Q_OBJECT
private slots:
    void readOptions_data();
    void readOptions();
    void accounts();
};

void TestSimOptions::readOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error"); // empty: accepted
    const auto row = [](const char *name, const QStringList &arguments, const QString &error = {}) {
        QTest::newRow(name) << arguments << error;
    };
    row("most servers", {"--servers", "8000"});
    row("too many servers", {"--servers", "8001"}, "--servers takes a number from 0 to 8000");
    row("knobs as a list and a range", {"--servers", "9", "--full", "0, 3,5-8,", "--silent", "8"});
    row("knob past the last server", {"--servers", "3", "--slow", "3"}, "--slow takes");
    row("reversed range", {"--servers", "9", "--once", "5-2"}, "--once takes");
    row("servers up to the end of loopback", {"--first-server", "127.255.255.250", "--servers", "5"});
    row("servers past the end of loopback", {"--first-server", "127.255.255.250", "--servers", "6"}, "run past");
    row("servers off loopback", {"--first-server", "192.0.2.1"}, "--first-server takes");
    row("tracker at the last port", {"--user-tracker", "127.200.3.4:65535"});
    row("tracker port past 65535", {"--game-tracker", "127.0.0.1:65536"}, "--game-tracker takes");
    row("tracker off this machine", {"--user-tracker", "10.0.0.1:2092"}, "--user-tracker takes");
    row("tracker on every address", {"--user-tracker", "0.0.0.0:2092"}, "--user-tracker takes");
    row("largest list chunk", {"--list-chunk", "106"});
    row("list chunk past one datagram", {"--list-chunk", "107"}, "--list-chunk takes");
    row("zero delay", {"--slow-ms", "0"}, "--slow-ms takes");
    row("login without a password", {"--login", "bob"}, "--login takes");
    row("login without a name", {"--login", ":secret"}, "--login takes");
    row("level address too long", {"--level-url", QString(201, 'h')}, "--level-url is longer");
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
    QVERIFY2(error.isEmpty() ? options.has_value() : !options && message.contains(error), qPrintable(message));
}

void TestSimOptions::accounts()
{
    const auto account = [](const char *text) {
        const std::optional<TSimAccount> a = ParseAccount(text);
        return a ? a->name + '|' + a->password + '|' + a->trackerId.value_or("none") : QByteArray("refused");
    };
    QCOMPARE(account("bob:secret"), QByteArray("bob|secret|none"));
    QCOMPARE(account("a%3Ab:p%3Dw:x=12345%0D%0A"), QByteArray("a:b|p=w:x|12345\r\n"));
    QCOMPARE(account("bob:="), QByteArray("bob||"));
}

QTEST_GUILESS_MAIN(TestSimOptions)
#include "tst_SimOptions.moc"
