// The road of a typical request, end to end against the demo network: the login dialog's
// stored values, a login that needs a retry, the tracker id, chat registration, the channel
// list and #autoselect, servers with pings, a missing level fetched over HTTP, the game run
// with its command line, and the lobby back in the channel afterwards.
#include "DemoTestKit.h"
#include "app/UfrmMain.h"
#include "chat/Chat.h"
#include "common/IrcTestClient.h"
#include "demo/DemoFiles.h"
#include "demo/SimProcess.h"
#include "pxo/PxoTrackerClient.h"
#include "pxo/UfrmLogin.h"
#include "pxo/UfrmPXO.h"
#include "servers/ServerList.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

namespace {
constexpr int Wait = 20000;

QJsonObject ReadRecord(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}
} // namespace

class tst_DemoRoad : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        MessageBox::SetHook([this](QMessageBox::Icon, const QString &text, QMessageBox::StandardButtons) {
            m_boxes << text;
            return QMessageBox::Ok;
        });
    }
    void cleanupTestCase()
    {
        MessageBox::SetHook({});
        SetConfig(nullptr);
        SetActiveStore(nullptr);
    }

    void fromLoginToGameAndBack();

private:
    QStringList m_boxes;
};

void tst_DemoRoad::fromLoginToGameAndBack()
{
    QTemporaryDir root;
    TDemoNetwork demo;
    QVERIFY2(demo.Start(DemoOptionsIn(root.path())), qPrintable(demo.ErrorString()));
    SetActiveStore(std::make_unique<TJsonSettingsStore>(demo.Layout().SettingsFile()));
    DemoFiles::WriteSettings(ActiveStore(), demo.Settings());
    auto config = std::make_unique<TfrmConfig>();
    SetConfig(config.get());
    config->Startup();
    const QString record = root.filePath(QStringLiteral("game.json"));
    qputenv("ORLO_DEMO_GAME_RECORD", record.toUtf8());
    qputenv("ORLO_DEMO_GAME_SECONDS", "1");

    // Someone already in the channel sees the lobby come and go.
    TIrcTestClient watcher;
    QVERIFY(watcher.Register(demo.Host(), 7170, QStringLiteral("watcher"), Wait));
    watcher.Send(QStringLiteral("JOIN #autoselect"));
    QVERIFY(watcher.WaitFor(QStringLiteral("366 watcher #autoselect"), Wait));

    // The first login request goes unanswered: the lobby has to try again.
    QCOMPARE(demo.Sim()->Command(QStringLiteral("ignore-logins 1")).value("reply").toString().isEmpty(), false);

    TMainOptions options;
    options.peerAddress = QHostAddress(demo.Host());
    TfrmMain main(options);
    QStringList dialogValues;
    QTimer::singleShot(0, &main, [&] {
        auto *login = qobject_cast<TfrmLogin *>(QApplication::activeModalWidget());
        if (!login)
            return;
        dialogValues = {login->edtUserName->text(), login->edtPassword->text(), login->edtAlias->text()};
        login->accept();
    });
    QPointer<TfrmPXO> lobby = qobject_cast<TfrmPXO *>(main.OpenLobby(TfrmMain::TLobbyKind::Descent, true));
    QCOMPARE(dialogValues, (QStringList{"demo", "descent3", "Newcomer"}));
    QVERIFY(lobby);
    lobby->Tracker->TimerLoginRetry->setInterval(500);

    // Login with a retry, then the tracker id.
    QTRY_COMPARE_WITH_TIMEOUT(lobby->Tracker->TrackerId(), QStringLiteral("DEMO000042"), Wait);
    QVERIFY(demo.Sim()->Counter(QStringLiteral("requests"), QStringLiteral("login")) >= 2);

    // Chat registration carries the tracker id and login name; LIST and JOIN #autoselect follow.
    QVERIFY(watcher.WaitFor(QStringLiteral(":Newcomer!"), Wait));
    QVERIFY(watcher.Matched().contains(QStringLiteral("JOIN")));
    watcher.Send(QStringLiteral("WHOIS Newcomer"));
    QVERIFY(watcher.WaitFor(QStringLiteral(" 311 watcher Newcomer "), Wait));
    QVERIFY2(watcher.Matched().endsWith(QStringLiteral(":DEMO000042 demo")), qPrintable(watcher.Matched()));
    QTRY_VERIFY_WITH_TIMEOUT(lobby->Session()->FindChannel(QStringLiteral("#autoselect")), Wait);
    QTRY_VERIFY_WITH_TIMEOUT(lobby->FindChat(QStringLiteral("#autoselect")) &&
                                 lobby->FindChat(QStringLiteral("#autoselect"))->FindUser(QStringLiteral("Kestrel")),
                             Wait);

    // Every server filled in, with a ping (a loopback round trip may well take 0 ms).
    QTRY_COMPARE_WITH_TIMEOUT(lobby->Servers().size(), qsizetype(12), Wait);
    QTRY_VERIFY_WITH_TIMEOUT(
        std::all_of(lobby->Servers().cbegin(), lobby->Servers().cend(),
                    [](const TServer *s) { return !s->Name.isEmpty() && s->AnsweredSeq != 0 && s->Ping < 1000; }),
        Wait);
    QTRY_COMPARE_WITH_TIMEOUT(lobby->lvwServers->topLevelItemCount(), 12, Wait);

    // A server whose level is missing: joining is refused until it is downloaded.
    const QString missing = demo.MissingLevels().first();
    TServer *server = nullptr;
    for (TServer *s : lobby->Servers()) {
        if (s->Level == missing)
            server = s;
    }
    QVERIFY(server);
    QVERIFY(!server->LevelPresent);
    m_boxes.clear();
    lobby->JoinServer(server);
    QCOMPARE(m_boxes, QStringList{QStringLiteral("Unable to join game, level is missing!")});
    QVERIFY(!lobby->GameRunning());

    const QString local = demo.Layout().MissionsDir() + QLatin1Char('/') + missing;
    lobby->lvwServers->setCurrentItem(lobby->RowOf(server));
    QCOMPARE(lobby->SelectedServer(), server);
    lobby->DownloadLevel1->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(local).size() == DemoFiles::LevelSize, Wait);
    QFile level(local);
    QVERIFY(level.open(QIODevice::ReadOnly));
    QCOMPARE(level.readAll(), DemoFiles::LevelBytes(missing));
    lobby->ServerList->QueryAllServers();
    QTRY_VERIFY_WITH_TIMEOUT(server->LevelPresent, Wait);

    // Join: the stand-in game gets the lobby's command line and runs in the game folder.
    const QString ip = server->IP;
    const quint16 port = server->Port;
    const qint64 listsBefore = demo.Sim()->Counter(QStringLiteral("requests"), QStringLiteral("gameList"));
    m_boxes.clear();
    lobby->JoinServer(server);
    QVERIFY(lobby->GameRunning());
    QVERIFY(watcher.WaitFor(QStringLiteral(":Newcomer!"), Wait));
    QVERIFY(watcher.Matched().contains(QStringLiteral("QUIT")));
    QTRY_VERIFY_WITH_TIMEOUT(!ReadRecord(record).isEmpty(), Wait);
    const QJsonObject run = ReadRecord(record);
    QCOMPARE(
        run.value("arguments").toArray().toVariantList(),
        (QVariantList{"-launched", "+name", "Newcomer", "-pxo", ip, "-hostport", QString::number(port), "-nointro"}));
    QCOMPARE(QFileInfo(run.value("workingDirectory").toString()).canonicalFilePath(),
             QFileInfo(demo.Layout().GameDir()).canonicalFilePath());

    // The game ends: the lobby logs in again (the tracker id is still known, so straight to
    // the chat server), asks for the game list and is back in the channel.
    QTRY_VERIFY_WITH_TIMEOUT(!lobby->GameRunning(), Wait);
    QVERIFY(watcher.WaitFor(QStringLiteral(":Newcomer!"), Wait));
    QVERIFY2(watcher.Matched().contains(QStringLiteral("JOIN")), qPrintable(watcher.Matched()));
    QVERIFY(demo.Sim()->Counter(QStringLiteral("requests"), QStringLiteral("gameList")) > listsBefore);
    QCOMPARE(lobby->Tracker->TrackerId(), QStringLiteral("DEMO000042"));
    QTRY_VERIFY_WITH_TIMEOUT(lobby && lobby->FindChat(QStringLiteral("#autoselect")), Wait);
    QVERIFY(m_boxes.isEmpty());

    main.DestroyChildWindows();
    SetConfig(nullptr);
    config.reset();
}

QTEST_MAIN(tst_DemoRoad)
#include "tst_DemoRoad.moc"
