// The server information window over a game server record: what it shows, when it opens and
// comes forward, and that it outlives the record.
#include "chat/Server.h"
#include "pxo/UfrmPXOServerInfo.h"

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace {
std::unique_ptr<TServer> NewServer()
{
    auto server = std::make_unique<TServer>(nullptr, 2092, QStringLiteral("127.0.0.1"), nullptr);
    server->Name = QStringLiteral("Pyro's <b>place</b>");
    server->Level = QStringLiteral("Polaris.mn3");
    server->Description = QStringLiteral("all welcome");
    server->GameType = QStringLiteral("Anarchy");
    server->LevelNumber = 3;
    server->Players = 9; // the label counts the list instead
    server->MaxPlayers = 16;
    server->Difficulty = QStringLiteral("Hotshot");
    server->GameVersion = QStringLiteral("1.4");
    server->Ping = 4000000000u;
    return server;
}

void AddPlayer(TServer &server, const QString &name, const QString &frags, const QString &deaths, const QString &team,
               const QString &ping)
{
    auto *player = new TServerUser;
    player->Name = name;
    player->Frags = frags;
    player->Deaths = deaths;
    player->Team = team;
    player->PlayerPing = ping;
    server.PlayerList.append(player);
}

QStringList Row(const QTableWidget *grid, int row)
{
    QStringList cells;
    for (int c = 0; c < grid->columnCount(); ++c)
        cells << (grid->item(row, c) ? grid->item(row, c)->text() : QStringLiteral("<none>"));
    return cells;
}

QList<TfrmPXOServerInfo *> Windows()
{
    QList<TfrmPXOServerInfo *> windows;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<TfrmPXOServerInfo *>(w); window && window->isVisible())
            windows << window;
    }
    return windows;
}
} // namespace

class TestServerInfoWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void labelsAndGrid();
    void noPlayersOneEmptyRow();
    void yesNo_data();
    void yesNo();
    void opensOnlyWhenAskedAndRefreshes();
    void survivesTheServersRemoval();
    void toldByNameThroughTheMetaObject();
    void closeButtonFreesTheWindow();
};

void TestServerInfoWindow::cleanup()
{
    for (TfrmPXOServerInfo *window : Windows())
        window->close();
    QTRY_VERIFY(Windows().isEmpty());
}

void TestServerInfoWindow::labelsAndGrid()
{
    auto server = NewServer();
    server->InfoRequested = true;
    server->BrightShips = u'1';
    server->AccCollisions = u'0';
    AddPlayer(*server, QStringLiteral("Kiwi"), QStringLiteral("12"), QStringLiteral("3"), QStringLiteral("1"),
              QStringLiteral("80"));
    AddPlayer(*server, QStringLiteral("Mole"), QStringLiteral("0"), QStringLiteral("7"), QStringLiteral("2"),
              QStringLiteral("120"));
    TfrmPXOServerInfo window(server.get());
    QVERIFY(!server->InfoRequested);
    QCOMPARE(window.windowTitle(), QStringLiteral("PXO Server Info (Pyro's <b>place</b>)"));
    QCOMPARE(window.lblLevelPack->text(), QStringLiteral("Polaris.mn3"));
    QCOMPARE(window.lblDescription->text(), QStringLiteral("all welcome"));
    QCOMPARE(window.lblGameType->text(), QStringLiteral("Anarchy"));
    QCOMPARE(window.lblLevel->text(), QStringLiteral("3"));
    QCOMPARE(window.lblPlayers->text(), QStringLiteral("2"));
    QCOMPARE(window.lblMaxPlayers->text(), QStringLiteral("16"));
    QCOMPARE(window.lblDifficulty->text(), QStringLiteral("Hotshot"));
    QCOMPARE(window.lblBrightShips->text(), QStringLiteral("Yes"));
    QCOMPARE(window.LblAccCollisions->text(), QStringLiteral("No"));
    QCOMPARE(window.LblRandomPowerup->text(), QString()); // no status reply gave it yet
    QCOMPARE(window.lblVersion->text(), QStringLiteral("1.4"));
    QCOMPARE(window.LblPing->text(), QStringLiteral("4000000000"));

    const QTableWidget *grid = window.sgrPlayers;
    QCOMPARE(grid->columnCount(), 5);
    QStringList header;
    for (int c = 0; c < 5; ++c)
        header << grid->horizontalHeaderItem(c)->text();
    QCOMPARE(header, (QStringList{"Name", "Kills", "Deaths", "T", "Ping"}));
    QCOMPARE(grid->rowCount(), 2);
    QCOMPARE(Row(grid, 0), (QStringList{"Kiwi", "12", "3", "1", "80"}));
    QCOMPARE(Row(grid, 1), (QStringList{"Mole", "0", "7", "2", "120"}));
}

void TestServerInfoWindow::noPlayersOneEmptyRow()
{
    auto server = NewServer();
    AddPlayer(*server, QStringLiteral("Kiwi"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("0"),
              QStringLiteral("50"));
    TfrmPXOServerInfo shown(server.get());
    QCOMPARE(shown.sgrPlayers->rowCount(), 1);
    qDeleteAll(server->PlayerList);
    server->PlayerList.clear();
    shown.ShowServerInfo(server.get());
    QCOMPARE(shown.lblPlayers->text(), QStringLiteral("0"));
    QCOMPARE(shown.sgrPlayers->rowCount(), 1);
    QCOMPARE(Row(shown.sgrPlayers, 0), (QStringList{"", "", "", "", ""}));
}

void TestServerInfoWindow::yesNo_data()
{
    QTest::addColumn<QChar>("value");
    QTest::addColumn<QString>("text");
    QTest::addRow("0") << QChar(u'0') << QStringLiteral("No");
    QTest::addRow("1") << QChar(u'1') << QStringLiteral("Yes");
    QTest::addRow("2") << QChar(u'2') << QString();
    QTest::addRow("never given") << QChar() << QString();
}

void TestServerInfoWindow::yesNo()
{
    QFETCH(QChar, value);
    QFETCH(QString, text);
    QCOMPARE(TfrmPXOServerInfo::YesNo(value), text);
}

void TestServerInfoWindow::opensOnlyWhenAskedAndRefreshes()
{
    auto server = NewServer();
    TfrmPXOServerInfo::UpdateServerInfo(server.get()); // a reply nobody asked to see
    QVERIFY(Windows().isEmpty());
    QVERIFY(!TfrmPXOServerInfo::FindFor(server.get()));

    server->InfoRequested = true;
    TfrmPXOServerInfo::UpdateServerInfo(server.get());
    QCOMPARE(Windows().size(), 1);
    TfrmPXOServerInfo *window = TfrmPXOServerInfo::FindFor(server.get());
    QVERIFY(window);
    QVERIFY(!server->InfoRequested);

    // Later replies refresh the same window.
    AddPlayer(*server, QStringLiteral("Kiwi"), QStringLiteral("4"), QStringLiteral("1"), QStringLiteral("0"),
              QStringLiteral("60"));
    server->RandPowerup = u'1';
    server->Name = QStringLiteral("Renamed");
    TfrmPXOServerInfo::UpdateServerInfo(server.get());
    QCOMPARE(Windows().size(), 1);
    QCOMPARE(window->lblPlayers->text(), QStringLiteral("1"));
    QCOMPARE(window->LblRandomPowerup->text(), QStringLiteral("Yes"));
    QCOMPARE(window->windowTitle(), QStringLiteral("PXO Server Info (Renamed)"));
    QCOMPARE(Row(window->sgrPlayers, 0), (QStringList{"Kiwi", "4", "1", "0", "60"}));

    // Asking again keeps one window and clears the request.
    server->InfoRequested = true;
    TfrmPXOServerInfo::UpdateServerInfo(server.get());
    QCOMPARE(Windows().size(), 1);
    QVERIFY(!server->InfoRequested);
    window->close();
}

void TestServerInfoWindow::survivesTheServersRemoval()
{
    auto server = NewServer();
    server->InfoRequested = true;
    AddPlayer(*server, QStringLiteral("Kiwi"), QStringLiteral("4"), QStringLiteral("1"), QStringLiteral("0"),
              QStringLiteral("60"));
    TfrmPXOServerInfo::UpdateServerInfo(server.get());
    QPointer<TfrmPXOServerInfo> window = TfrmPXOServerInfo::FindFor(server.get());
    QVERIFY(window);

    TfrmPXOServerInfo::ServerRemoved(server.get());
    QVERIFY(!window->Server());
    QVERIFY(!window->RefersTo(server.get()));
    server.reset();

    // A new record, quite possibly at the freed one's address, is not this window's server.
    auto next = NewServer();
    next->Name = QStringLiteral("Newcomer");
    next->Level = QStringLiteral("other.mn3");
    QVERIFY(!TfrmPXOServerInfo::FindFor(next.get()));
    window->ShowServerInfo(next.get());
    TfrmPXOServerInfo::UpdateServerInfo(next.get());
    QCOMPARE(Windows().size(), 1);
    QCOMPARE(window->windowTitle(), QStringLiteral("PXO Server Info (Pyro's <b>place</b>)"));
    QCOMPARE(window->lblLevelPack->text(), QStringLiteral("Polaris.mn3"));
    QCOMPARE(Row(window->sgrPlayers, 0), (QStringList{"Kiwi", "4", "1", "0", "60"}));

    // Asked for, the new server gets a window of its own.
    next->InfoRequested = true;
    TfrmPXOServerInfo::UpdateServerInfo(next.get());
    QCOMPARE(Windows().size(), 2);
    QVERIFY(TfrmPXOServerInfo::FindFor(next.get()) != window.data());
    QCOMPARE(window->lblLevelPack->text(), QStringLiteral("Polaris.mn3"));
}

void TestServerInfoWindow::toldByNameThroughTheMetaObject()
{
    // The main window reaches child windows by class name, without this header.
    auto server = NewServer();
    TfrmPXOServerInfo window(server.get());
    bool refers = false;
    QVERIFY(QMetaObject::invokeMethod(&window, "RefersTo", Q_RETURN_ARG(bool, refers),
                                      Q_ARG(const TServer *, server.get())));
    QVERIFY(refers);
    QVERIFY(QMetaObject::invokeMethod(&window, "NotifyServerRemoved", Q_ARG(TServer *, server.get())));
    QVERIFY(!window.Server());
}

void TestServerInfoWindow::closeButtonFreesTheWindow()
{
    auto server = NewServer();
    QPointer<TfrmPXOServerInfo> window = new TfrmPXOServerInfo(server.get());
    window->show();
    QTest::mouseClick(window->btnClose, Qt::LeftButton);
    QTRY_VERIFY(window.isNull());
    QVERIFY(!TfrmPXOServerInfo::FindFor(server.get()));
}

QTEST_MAIN(TestServerInfoWindow)
#include "tst_ServerInfoWindow.moc"
