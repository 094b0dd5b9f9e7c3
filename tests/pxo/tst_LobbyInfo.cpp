// The lobby's ways into information and levels, against real peers: a game server of the
// test's own and the simulated network over loopback datagrams, levels from a local HTTP
// server, and a scripted chat server for "Who is?" and private channels.
#include "PXOTestKit.h"

#include "chat/Chat.h"
#include "chat/GameQueries.h"
#include "chat/Server.h"
#include "common/HttpTestServer.h"
#include "common/ScriptedServer.h"
#include "demo/SimProcess.h"
#include "irc/User.h"
#include "pxo/ServerListRules.h"
#include "pxo/UfrmDownloadLevel.h"
#include "pxo/UfrmJoinPrivateChannel.h"
#include "pxo/UfrmPXOPlayerInfo.h"

#include <QFileInfo>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtEndian>

namespace {
constexpr int Wait = 15000;
const QColor Black(0, 0, 0);

QByteArray Counted(const QByteArray &text)
{
    return char(text.size() + 1) + text + '\0';
}

QByteArray GameInfo(quint16 sequence, const QByteArray &name, const QByteArray &level)
{
    QByteArray bytes(20, '\0');
    bytes[0] = 0x01;
    bytes[1] = 0x1F;
    bytes += Counted(name) + Counted(level) + Counted("all welcome") + Counted("Anarchy");
    const quint16 counts[] = {1, 2, 8, sequence, 0, 0};
    for (quint16 value : counts) {
        char le[2];
        qToLittleEndian(value, le);
        bytes.append(le, 2);
    }
    bytes += QByteArray("\x02\x00\x00\x01", 4); // c/s, unread, not dedicated, rookie
    return bytes;
}

QByteArray LevelReply(const QByteArray &address)
{
    return QByteArray("\x01\x61\x00\x00", 4) + char(address.size()) + address + '\0';
}

QByteArray PlayerList(const QList<QByteArray> &names)
{
    QByteArray bytes("\x01\x73\x00\x00", 4);
    for (const QByteArray &name : names)
        bytes += name + '\0';
    return bytes + '\0';
}

// A game server of the test's own on 127.0.0.1: it sees the lobby's requests and answers
// from its own port, as a real one does.
class TGameServer
{
public:
    bool Bind() { return m_socket.bind(QHostAddress::LocalHost, 0); }
    quint16 Port() const { return m_socket.localPort(); }
    // The next request that starts with Prefix (others are dropped), waiting bounded.
    QByteArray WaitFor(const QByteArray &prefix, int timeoutMs = Wait)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            while (m_socket.hasPendingDatagrams()) {
                const QNetworkDatagram datagram = m_socket.receiveDatagram();
                m_lobbyPort = quint16(datagram.senderPort());
                if (datagram.data().startsWith(prefix))
                    return datagram.data();
            }
            QTest::qWait(5);
        }
        return {};
    }
    void Reply(const QByteArray &bytes) { m_socket.writeDatagram(bytes, QHostAddress::LocalHost, m_lobbyPort); }

private:
    QUdpSocket m_socket;
    quint16 m_lobbyPort = 0;
};

QList<TfrmDownloadLevel *> DownloadWindows()
{
    QList<TfrmDownloadLevel *> windows;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<TfrmDownloadLevel *>(w); window && window->isVisible())
            windows << window;
    }
    return windows;
}

QColor LevelColour(TfrmPXO *form, TServer *server)
{
    QTreeWidgetItem *row = form->RowOf(server);
    return row ? row->foreground(ServerListRules::ColLevel).color() : QColor();
}
} // namespace

class tst_LobbyInfo : public QObject
{
    Q_OBJECT

    std::unique_ptr<TPXOTestKit> m_kit;
    QPointer<TfrmPXO> m_form;
    THttpTestServer m_http;
    QTemporaryDir m_dir;

    TfrmPXO *NewLobby()
    {
        m_form = new TfrmDescent;
        m_form->setAttribute(Qt::WA_DontShowOnScreen);
        m_form->show();
        m_form->TimerServers->stop();
        m_form->TimerPing->stop();
        return m_form;
    }
    QString Missions(const QString &file) const { return m_dir.path() + QStringLiteral("/descent3/missions/") + file; }
    // Every datagram sent before the marker has been handled, and what they posted has run.
    static bool Settle(TGameServer &game, TServer *server, int players)
    {
        QList<QByteArray> names;
        for (int i = 0; i < players; ++i)
            names << QByteArray("p") + QByteArray::number(i);
        game.Reply(PlayerList(names));
        const bool arrived = QTest::qWaitFor([&] { return server->PlayerList.size() == players; }, Wait);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        return arrived;
    }

private slots:
    void initTestCase()
    {
        m_kit = std::make_unique<TPXOTestKit>();
        QVERIFY2(m_http.Start(), "the HTTP server did not start");
    }
    void init()
    {
        m_kit->Reset();
        m_kit->Config->edtDescentPath->setText(m_dir.path() + QStringLiteral("\\descent3"));
        m_kit->Config->cbxDescentDLMissionsDir->setChecked(true);
        QFile::remove(Missions(QStringLiteral("city.mn3")));
    }
    void cleanup()
    {
        for (TfrmDownloadLevel *window : DownloadWindows())
            window->close();
        QTRY_VERIFY(DownloadWindows().isEmpty());
        delete m_form.data();
    }
    void cleanupTestCase()
    {
        m_http.Stop();
        m_kit.reset();
    }

    // A level reply opens a download only when it answers the user's "Download Level", and
    // only once per request; the level in place turns the row black.
    void levelOnlyForAnOutstandingRequest()
    {
        TGameServer game;
        QVERIFY(game.Bind());
        TfrmPXO *form = NewLobby();
        QVERIFY(form->AddServer(QStringLiteral("127.0.0.1"), game.Port()));
        TServer *server = form->FindServer(QStringLiteral("127.0.0.1"), game.Port());
        const QByteArray request = game.WaitFor(QByteArray("\x01\x29", 2));
        QVERIFY(request.size() >= 6);
        game.Reply(GameInfo(qFromLittleEndian<quint16>(request.constData() + 4), "Arena", "city.mn3"));
        QTRY_COMPARE_WITH_TIMEOUT(server->Name, QStringLiteral("Arena"), Wait);
        QVERIFY(!server->LevelPresent);
        QVERIFY(LevelColour(form, server).isValid());
        QVERIFY(LevelColour(form, server) != Black);

        const QByteArray city = m_http.Url(QStringLiteral("size=3000/chunk=1000/delay=300/levels/city.mn3")).toLatin1();
        const QByteArray other =
            m_http.Url(QStringLiteral("size=3000/chunk=1000/delay=300/levels/other.mn3")).toLatin1();
        // Unasked for: nothing opens, nothing is shown.
        game.Reply(LevelReply(city));
        QVERIFY(Settle(game, server, 1));
        QVERIFY(DownloadWindows().isEmpty());
        QVERIFY(m_kit->Boxes.isEmpty());

        form->lvwServers->setCurrentItem(form->RowOf(server));
        form->DownloadLevel1->trigger();
        QVERIFY(server->LevelRequested);
        QCOMPARE(game.WaitFor(QByteArray("\x01\x60", 2)), GameQueries::LevelInfoRequest());
        // Two answers to one request: the first one counts.
        game.Reply(LevelReply(city));
        game.Reply(LevelReply(other));
        QVERIFY(Settle(game, server, 2));
        QTRY_COMPARE_WITH_TIMEOUT(DownloadWindows().size(), 1, Wait);
        QCoreApplication::processEvents();
        QCOMPARE(DownloadWindows().size(), 1);
        QCOMPARE(DownloadWindows().first()->windowTitle(), QStringLiteral("Downloading city.mn3"));
        QVERIFY(!server->LevelRequested);

        QTRY_VERIFY_WITH_TIMEOUT(server->LevelPresent, Wait);
        QCOMPARE(LevelColour(form, server), Black);
        QCOMPARE(QFileInfo(Missions(QStringLiteral("city.mn3"))).size(), 3000);
        QVERIFY(!QFileInfo::exists(Missions(QStringLiteral("other.mn3"))));
        QTRY_VERIFY(DownloadWindows().isEmpty());
        QVERIFY(m_kit->Boxes.isEmpty());

        // A request answered without an address: the user is told.
        form->DownloadLevel1->trigger();
        QVERIFY(!game.WaitFor(QByteArray("\x01\x60", 2)).isEmpty());
        game.Reply(LevelReply("   "));
        QVERIFY(Settle(game, server, 3));
        QTRY_COMPARE_WITH_TIMEOUT(m_kit->Boxes, QStringList{"Unable to get level from Arena"}, Wait);
        QVERIFY(DownloadWindows().isEmpty());
    }

    // The simulated server names its level; the lobby fetches it from the address the
    // server gives, and the server can then be joined.
    void levelFromTheSimulatedServer()
    {
        TSimProcess sim;
        QVERIFY2(sim.Start({QStringLiteral("--servers"), QStringLiteral("1"), QStringLiteral("--level-url"),
                            m_http.Url(QStringLiteral("size=7000/levels"))}),
                 qPrintable(sim.ErrorString()));
        QVERIFY(sim.Command(QStringLiteral("set-players 0 0")).contains(QStringLiteral("reply")));
        TfrmPXO *form = NewLobby();
        TPXOTestKit::PointAt(form, sim.UserTrackerAddress(), sim.UserTrackerPort(), sim.GameTrackerAddress(),
                             sim.GameTrackerPort());
        form->RequestGameList();
        QTRY_VERIFY_WITH_TIMEOUT(form->Servers.size() == 1 && !form->Servers.first()->Name.isEmpty(), Wait);
        TServer *server = form->Servers.first();
        const QString level = sim.Server(0).value(QStringLiteral("level")).toString();
        QCOMPARE(server->Level, level);
        QFile::remove(Missions(level));
        form->CheckLevel(server);
        form->RefreshServerList();
        QVERIFY(!server->LevelPresent);
        QTRY_VERIFY_WITH_TIMEOUT(form->RowOf(server), Wait);

        m_kit->Config->cbxServerJoinLevelExist->setChecked(true);
        form->lvwServers->setCurrentItem(form->RowOf(server));
        form->mnuJoinGame->trigger();
        QCOMPARE(m_kit->Boxes, QStringList{"Unable to join game, level is missing!"});

        form->DownloadLevel1->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(server->LevelPresent, Wait);
        QCOMPARE(QFileInfo(Missions(level)).size(), 7000);
        QCOMPARE(LevelColour(form, server), Black);
        QFile::remove(Missions(level));
    }

    // A double-click on a chat user runs "Who is?": the player window opens and the WHOIS
    // goes out. A private channel is joined, or only brought forward when its tab is open.
    void whoIsAndPrivateChannel()
    {
        TScriptedServer irc;
        QVERIFY(irc.Listen());
        TfrmPXO *form = NewLobby();
        TPXOTestKit::PointAt(form, QStringLiteral("127.0.0.1"), 9, QStringLiteral("127.0.0.1"), 9,
                             QStringLiteral("127.0.0.1"), irc.Port());
        form->Session()->SetNick(QStringLiteral("Big_Bad"));
        form->TrackerId = QStringLiteral("TRK1");
        form->LoginAttempt();
        QVERIFY(irc.WaitForClient(Wait));
        QVERIFY(irc.WaitForLine(QStringLiteral("NICK Big_Bad"), Wait));
        irc.SendLine(QStringLiteral(":Big_Bad!u@h JOIN :#lobby"));
        irc.SendLine(QStringLiteral(":wingman!w@127.0.0.1 JOIN :#lobby"));
        QTRY_VERIFY_WITH_TIMEOUT(form->FindChat(QStringLiteral("#lobby")), Wait);
        TChat *lobby = form->FindChat(QStringLiteral("#lobby"));
        int row = -1;
        QVERIFY(QTest::qWaitFor(
            [&] {
                for (int r = 0; r < lobby->UserGrid->rowCount(); ++r) {
                    if (lobby->UserGrid->item(r, 0) && lobby->UserGrid->item(r, 0)->text() == u"wingman")
                        row = r;
                }
                return row >= 0;
            },
            Wait));
        lobby->UserGrid->setCurrentCell(row, 0);
        form->sgrUsersDblClick(lobby);
        QVERIFY(irc.WaitForLine(QStringLiteral("WHOIS wingman"), Wait));
        QVERIFY(TfrmPXOPlayerInfo::FindFor(QStringLiteral("wingman")));
        TfrmPXOPlayerInfo::FindFor(QStringLiteral("wingman"))->close();

        // Typed into the dialog: blanks around the name go; a blank inside is refused.
        const auto answer = [this](const QString &typed) {
            QTimer::singleShot(0, this, [this, typed] { Type(typed); });
        };
        answer(QStringLiteral("a b"));
        form->JoinPrivateChannel();
        QCOMPARE(m_kit->Boxes, QStringList{"A channel name cannot contain blanks, commas or control characters."});
        answer(QStringLiteral("  Pilots "));
        form->btnJoinPrivateChannel->click(); // queued: the dialog runs from the event loop
        QVERIFY(irc.WaitForLine(QStringLiteral("JOIN +Pilots"), Wait));
        irc.SendLine(QStringLiteral(":Big_Bad!u@h JOIN :+Pilots"));
        QTRY_VERIFY_WITH_TIMEOUT(form->FindChat(QStringLiteral("+Pilots")), Wait);

        // Open already: brought forward, no second JOIN.
        form->ActivateChat(lobby);
        irc.ClearReceived();
        answer(QStringLiteral("Pilots"));
        form->JoinPrivatechannel1->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(form->ActiveChat(), form->FindChat(QStringLiteral("+Pilots")), Wait);
        form->SendLine(QStringLiteral("PING :marker"));
        QVERIFY(irc.WaitForLine(QStringLiteral("PING :marker"), Wait));
        QVERIFY(!irc.Received().contains(QStringLiteral("JOIN +Pilots")));
    }

private:
    // Fills the open private-channel dialog and presses Enter (or Escape when refused).
    void Type(const QString &typed)
    {
        auto *dialog = qobject_cast<TfrmJoinPrivateChannel *>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(10, this, [this, typed] { Type(typed); });
            return;
        }
        dialog->edtChannel->setText(typed);
        QTest::keyClick(dialog->edtChannel, Qt::Key_Return);
        if (dialog->isVisible())
            dialog->reject();
    }
};

QTEST_MAIN(tst_LobbyInfo)
#include "tst_LobbyInfo.moc"
