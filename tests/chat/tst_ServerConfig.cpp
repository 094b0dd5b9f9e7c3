#include "chat/ServerConfig.h"

#include <QTest>

class tst_ServerConfig : public QObject
{
    Q_OBJECT

private slots:
    void filterFollowsTheDialog();
};

void tst_ServerConfig::filterFollowsTheDialog()
{
    TfrmConfig config;
    QCOMPARE(ServerFilterFromConfig(config).MaxPing, 2000);
    config.speServerFilterPing->SetValue(150);
    config.lbxServersFilterGameType->addItem(QStringLiteral("CTF"));
    config.lbxServersFilterMode->addItem(QStringLiteral("peer"));
    config.lbxServersFilterLevel->addItems({QStringLiteral("Polaris.mn3"), QStringLiteral("Apex.mn3")});
    config.cbxServersFilterMaxPlayers->setChecked(true);
    const TServerFilter filter = ServerFilterFromConfig(config);
    QCOMPARE(filter.MaxPing, 150);
    QCOMPARE(filter.GameTypes, QStringList{QStringLiteral("CTF")});
    QCOMPARE(filter.Modes, QStringList{QStringLiteral("peer")});
    QCOMPARE(filter.Levels.size(), 2);
    QVERIFY(filter.HideFull);

    TServer server(nullptr, 1, QStringLiteral("127.0.0.1"), nullptr);
    server.Name = QStringLiteral("Arena");
    server.Ping = 151;
    server.ApplyFilter(filter);
    QVERIFY(!server.Visible);
    QVERIFY(!server.FilteredOut);
    server.Ping = 150;
    server.Level = QStringLiteral("apex.MN3");
    server.ApplyFilter(filter);
    QVERIFY(server.FilteredOut);
}

QTEST_MAIN(tst_ServerConfig)
#include "tst_ServerConfig.moc"
