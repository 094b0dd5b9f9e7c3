#include "chat/StatusReply.h"

#include <QTest>

namespace {

// Players as "name:index:frags:deaths:team:ping".
QStringList Describe(const QList<TServerUser *> &players)
{
    QStringList lines;
    for (const TServerUser *p : players)
        lines.append(
            QStringList{p->Name, QString::number(p->Index), p->Frags, p->Deaths, p->Team, p->PlayerPing}.join(':'));
    return lines;
}

const QStringList Initial{"a:3::::", "b:4::::", "a:9::::"};

} // namespace

class tst_StatusReply : public QObject
{
    Q_OBJECT

private slots:
    void nextField_data();
    void nextField();
    void apply_data();
    void apply();
    void throughServer();
};

void tst_StatusReply::nextField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("rest");
    QTest::newRow("leading backslash") << "\\key\\value"
                                       << "key"
                                       << "\\value";
    QTest::newRow("several backslashes") << "\\\\\\key\\\\value"
                                         << "key"
                                         << "\\\\value";
    QTest::newRow("no backslash") << "value"
                                  << "value"
                                  << "";
    QTest::newRow("trailing backslash") << "value\\"
                                        << "value"
                                        << "\\";
    QTest::newRow("only backslashes") << "\\\\\\"
                                      << ""
                                      << "";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
}

void tst_StatusReply::nextField()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QFETCH(QString, rest);
    QStringView view(text);
    QCOMPARE(StatusReply::NextField(view).toString(), field);
    QCOMPARE(view.toString(), rest);
}

void tst_StatusReply::apply_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("gameVersion");
    QTest::addColumn<QString>("flags"); // bright ships, collisions, powerups
    QTest::addColumn<QStringList>("players");

    QTest::newRow("player number, then frags") << "\\player_0\\a\\frags_0\\5"
                                               << "old"
                                               << "xyz" << QStringList{"a:0:5:::", "b:4::::", "a:9::::"};
    QTest::newRow("frags of a missing player change nothing") << "\\frags_7\\5"
                                                              << "old"
                                                              << "xyz" << Initial;
    QTest::newRow("the abandoned key's value is read as a key") << "\\frags_7\\gamever\\1.2"
                                                                << "1.2"
                                                                << "xyz" << Initial;
    QTest::newRow("trailing brightships without value") << "\\gamever\\1.5\\brightships"
                                                        << "1.5"
                                                        << "xyz" << Initial;
    QTest::newRow("trailing brightships and backslash") << "\\brightships\\"
                                                        << "old"
                                                        << "xyz" << Initial;
    QTest::newRow("keys in mixed case with blanks")
        << "\\ GameVer \\1.5\\BrightShips\\1\\ ACCCOLLISIONS\\0\\RandPowerup \\yes"
        << "1.5"
        << "10y" << Initial;
    QTest::newRow("values are not trimmed") << "\\gamever\\ 1.5 "
                                            << " 1.5 "
                                            << "xyz" << Initial;
    QTest::newRow("empty gamever at the end") << "\\gamever"
                                              << ""
                                              << "xyz" << Initial;
    QTest::newRow("unknown key is dropped alone") << "\\hostname\\gamever\\2.0"
                                                  << "2.0"
                                                  << "xyz" << Initial;
    QTest::newRow("player number that is no number reads 0") << "\\player_x\\b\\frags_0\\1"
                                                             << "old"
                                                             << "xyz" << QStringList{"a:3::::", "b:0:1:::", "a:9::::"};
    QTest::newRow("first player of that name") << "\\player_7\\a"
                                               << "old"
                                               << "xyz" << QStringList{"a:7::::", "b:4::::", "a:9::::"};
    QTest::newRow("unlisted player name takes its value") << "\\player_1\\zed\\gamever\\2"
                                                          << "2"
                                                          << "xyz" << Initial;
    QTest::newRow("every player field") << "\\deaths_4\\3\\team_4\\Red\\ping_4\\55\\frags_4\\-1"
                                        << "old"
                                        << "xyz" << QStringList{"a:3::::", "b:4:-1:3:Red:55", "a:9::::"};
    QTest::newRow("player field with no number") << "\\frags_abc\\gamever\\9"
                                                 << "9"
                                                 << "xyz" << Initial;
    QTest::newRow("negative player number") << "\\player_-1\\b\\team_-1\\Blue"
                                            << "old"
                                            << "xyz" << QStringList{"a:3::::", "b:-1:::Blue:", "a:9::::"};
    QTest::newRow("doubled backslashes") << "\\\\gamever\\\\\\1.5\\\\"
                                         << "1.5"
                                         << "xyz" << Initial;
    QTest::newRow("empty text") << ""
                                << "old"
                                << "xyz" << Initial;
    QTest::newRow("only backslashes") << "\\\\\\\\"
                                      << "old"
                                      << "xyz" << Initial;
    QTest::newRow("no leading backslash") << "gamever\\3"
                                          << "3"
                                          << "xyz" << Initial;
}

void tst_StatusReply::apply()
{
    QFETCH(QString, text);
    QFETCH(QString, gameVersion);
    QFETCH(QString, flags);
    QFETCH(QStringList, players);

    QString version = QStringLiteral("old");
    QChar bright = u'x', collisions = u'y', powerups = u'z';
    QList<TServerUser *> list;
    for (const QString &line : Initial) {
        const QStringList parts = line.split(':');
        auto *player = new TServerUser;
        player->Name = parts[0];
        player->Index = parts[1].toInt();
        list.append(player);
    }
    StatusReply::Apply(text, {version, bright, collisions, powerups, list});
    const QStringList got = Describe(list);
    qDeleteAll(list);
    QCOMPARE(version, gameVersion);
    QCOMPARE(QString(bright) + collisions + powerups, flags);
    QCOMPARE(got, players);
}

void tst_StatusReply::throughServer()
{
    TServer server(nullptr, 1, QStringLiteral("127.0.0.1"), nullptr);
    auto *player = new TServerUser;
    player->Name = QStringLiteral("Pilot");
    server.PlayerList.append(player);
    server.ApplyStatusReply(u"\\gamever\\1.4\\randpowerup\\1\\player_2\\Pilot\\frags_2\\12");
    QCOMPARE(server.GameVersion, QStringLiteral("1.4"));
    QCOMPARE(server.RandPowerup, QChar(u'1'));
    QCOMPARE(server.BrightShips, QChar());
    QCOMPARE(player->Index, 2);
    QCOMPARE(player->Frags, QStringLiteral("12"));
}

QTEST_GUILESS_MAIN(tst_StatusReply)
#include "tst_StatusReply.moc"
