// The player statistics window: its texts, when it opens and comes forward, the continuous
// ping, a ping reply arriving over a real socket, and a window that outlives its user.
#include "PXOTestKit.h"

#include "base/Tick.h"
#include "irc/User.h"
#include "pxo/UfrmPXOPlayerInfo.h"

#include <QCheckBox>
#include <QLabel>
#include <QScopeGuard>
#include <QTimer>
#include <QUdpSocket>
#include <QtEndian>

namespace {
constexpr int Wait = 10000;

QList<TfrmPXOPlayerInfo *> Windows()
{
    QList<TfrmPXOPlayerInfo *> windows;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<TfrmPXOPlayerInfo *>(w); window && window->isVisible())
            windows << window;
    }
    return windows;
}

// A chat form that counts the pings it is asked for instead of sending them.
class TCountingChat : public TfrmChat
{
public:
    TCountingChat() : TfrmChat(nullptr, true) {}
    void PingUser(TUser *user) override
    {
        Q_UNUSED(user);
        ++Pings;
    }
    int Pings = 0;
};

void Fill(TUser *user)
{
    user->DisplayName = QStringLiteral("Wing <i>man</i>");
    user->Rating = 750;
    user->Kills = 30;
    user->Deaths = 10;
    user->Suicides = 0;
    user->MinutesInGame = 4000000000u;
    user->PingTime = 0;
    user->ClientBuild = 38;
}
} // namespace

class tst_PlayerInfoWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TPXOTestKit> m_kit;

private slots:
    void initTestCase() { m_kit = std::make_unique<TPXOTestKit>(); }
    void cleanup()
    {
        for (TfrmPXOPlayerInfo *window : Windows())
            window->close();
        QTRY_VERIFY(Windows().isEmpty());
    }
    void cleanupTestCase() { m_kit.reset(); }

    void labels()
    {
        TUser user(nullptr, QStringLiteral("wingman"));
        Fill(&user);
        TfrmPXOPlayerInfo window(&user, true);
        QCOMPARE(window.windowTitle(), QStringLiteral("PXO Player Info"));
        QCOMPARE(window.lblName->text(), QStringLiteral("Wing <i>man</i>"));
        QCOMPARE(window.lblName->textFormat(), Qt::PlainText);
        QCOMPARE(window.lblRanking->text(), QStringLiteral("750 Ensign, Lieutenant at 900"));
        QCOMPARE(window.lblKills->text(), QStringLiteral("30"));
        QCOMPARE(window.lblDeaths->text(), QStringLiteral("10"));
        QCOMPARE(window.lblSelfdestructs->text(), QStringLiteral("0"));
        QCOMPARE(window.lblEfficiency->text(), QStringLiteral("75"));
        QCOMPARE(window.lblMinutesInGame->text(), QStringLiteral("4000000000"));
        QCOMPARE(window.lblPing->text(), QStringLiteral("Unknown"));
        QCOMPARE(window.lblClient->text(), QStringLiteral("Orlo (build: 38)"));
        QVERIFY(window.cbxPing->isChecked());
        QCOMPARE(window.cbxPing->text(), QStringLiteral("Continous &ping"));

        // Nothing known yet: zeros, "Unknown", and the nick until the WHOIS names the player.
        TUser fresh(nullptr, QStringLiteral("newbie"));
        TfrmPXOPlayerInfo empty(&fresh, false);
        QCOMPARE(empty.lblName->text(), QStringLiteral("newbie"));
        QCOMPARE(empty.lblRanking->text(), QStringLiteral("0 Cadet, Ensign at 600"));
        QCOMPARE(empty.lblEfficiency->text(), QStringLiteral("Unknown"));
        QCOMPARE(empty.lblClient->text(), QStringLiteral("Unknown"));
        QVERIFY(!empty.cbxPing->isChecked());
    }

    // A window opens only when asked for; later news of the same nick refreshes it.
    void opensOnlyWhenAskedAndRefreshes()
    {
        TUser user(nullptr, QStringLiteral("wingman"));
        Fill(&user);
        TfrmPXOPlayerInfo::UpdatePlayerInfo(&user, true);
        QVERIFY(Windows().isEmpty());

        user.InfoRequested = true;
        TfrmPXOPlayerInfo::UpdatePlayerInfo(&user, false);
        QCOMPARE(Windows().size(), 1);
        TfrmPXOPlayerInfo *window = Windows().first();
        QVERIFY(!user.InfoRequested);
        QVERIFY(!window->cbxPing->isChecked());
        QCOMPARE(window->User(), &user);

        user.Kills = 90;
        user.PingTime = 57;
        TfrmPXOPlayerInfo::UpdatePlayerInfo(&user, true);
        QCOMPARE(Windows().size(), 1);
        QCOMPARE(window->lblKills->text(), QStringLiteral("90"));
        QCOMPARE(window->lblEfficiency->text(), QStringLiteral("90"));
        QCOMPARE(window->lblPing->text(), QStringLiteral("57"));

        // Asked again: the same window, the request cleared.
        user.InfoRequested = true;
        TfrmPXOPlayerInfo::UpdatePlayerInfo(&user, true);
        QCOMPARE(Windows().size(), 1);
        QVERIFY(!user.InfoRequested);

        // Another form's user of the same nick refreshes the open window.
        TUser twin(nullptr, QStringLiteral("wingman"));
        twin.Kills = 5;
        TfrmPXOPlayerInfo::UpdatePlayerInfo(&twin, true);
        QCOMPARE(Windows().size(), 1);
        QCOMPARE(window->lblKills->text(), QStringLiteral("5"));

        // Gone before the users on the stack are.
        QPointer<TfrmPXOPlayerInfo> closing = window;
        window->close();
        QTRY_VERIFY(closing.isNull());
    }

    // Ten pings three seconds apart (shortened here), then the box clears itself; checking
    // it again gives ten more; unchecked, none.
    void continuousPing()
    {
        TCountingChat form;
        TUser *user = form.FindOrAddUser(QStringLiteral("wingman"));
        QVERIFY(user);
        TfrmPXOPlayerInfo window(user, true);
        QCOMPARE(window.Timer->interval(), 3000);
        QVERIFY(window.Timer->isActive());
        window.Timer->setInterval(10);
        QTRY_VERIFY_WITH_TIMEOUT(!window.cbxPing->isChecked(), Wait);
        QCOMPARE(form.Pings, 10);
        QCOMPARE(window.PingCount, 0u);
        QTest::qWait(60);
        QCOMPARE(form.Pings, 10);

        window.cbxPing->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(!window.cbxPing->isChecked(), Wait);
        QCOMPARE(form.Pings, 20);

        // A change by the user midway starts the count again.
        window.Timer->stop();
        window.cbxPing->setChecked(true);
        window.PingCount = 7;
        window.cbxPing->setChecked(false);
        QCOMPARE(window.PingCount, 0u);
    }

    // The lobby's user reply (over a real socket) refreshes the open window.
    void pingReplyRefreshes()
    {
        QPointer<TfrmPXO> form = new TfrmDescent;
        form->setAttribute(Qt::WA_DontShowOnScreen);
        TUser *user = form->FindOrAddUser(QStringLiteral("wingman"));
        QVERIFY(user);
        user->RequestInfo(true);
        QCOMPARE(Windows().size(), 1);
        TfrmPXOPlayerInfo *window = Windows().first();
        QCOMPARE(window->lblPing->text(), QStringLiteral("Unknown"));

        QUdpSocket peer;
        QVERIFY(peer.bind(QHostAddress::LocalHost, 0));
        QByteArray reply(32, '\0');
        reply[0] = 0x05;
        reply[1] = 0x01;
        qToLittleEndian<quint16>(quint16(TickCount() - 40), reply.data() + 2);
        memcpy(reply.data() + 4, "wingman", 7);
        SendTo(peer, form, reply);
        QTRY_VERIFY_WITH_TIMEOUT(window->lblPing->text() != QStringLiteral("Unknown"), Wait);
        QVERIFY(window->lblPing->text().toUInt() >= 40);
        delete form.data();
    }

    // The chat form goes and frees its users: the window keeps what it showed and never
    // reaches for the freed user again, told by the frame or not.
    void outlivesItsUser_data()
    {
        QTest::addColumn<bool>("frame");
        QTest::addRow("told by the frame") << true;
        QTest::addRow("without a frame") << false;
    }
    void outlivesItsUser()
    {
        QFETCH(bool, frame);
        auto *form = new TCountingChat;
        // The lobby tells its player windows when a user goes; a bare chat form does not.
        if (frame)
            QObject::connect(form, &TfrmChat::UserRemoved, &TfrmPXOPlayerInfo::UserRemoved);
        TUser *user = form->FindOrAddUser(QStringLiteral("wingman"));
        Fill(user);
        user->InfoRequested = true;
        TfrmPXOPlayerInfo::UpdatePlayerInfo(user, true);
        QCOMPARE(Windows().size(), 1);
        QPointer<TfrmPXOPlayerInfo> window = Windows().first();
        window->Timer->setInterval(5);
        QTRY_VERIFY_WITH_TIMEOUT(form->Pings >= 2, Wait);

        delete form;
        QTest::qWait(50); // timer ticks after the user is gone
        QVERIFY(window);
        QVERIFY(!window->User());
        QVERIFY(!window->cbxPing->isChecked());
        QVERIFY(!window->cbxPing->isEnabled());
        QCOMPARE(window->lblKills->text(), QStringLiteral("30"));
        QCOMPARE(window->lblName->text(), QStringLiteral("Wing <i>man</i>"));

        // A new user of that nick gets a window of its own.
        TUser again(nullptr, QStringLiteral("wingman"));
        again.InfoRequested = true;
        TfrmPXOPlayerInfo::UpdatePlayerInfo(&again, true);
        QCOMPARE(Windows().size(), 2);
        QCOMPARE(window->lblKills->text(), QStringLiteral("30"));
        for (TfrmPXOPlayerInfo *each : Windows()) {
            if (each != window)
                each->close();
        }
        window->close();
        QTRY_VERIFY(window.isNull());
    }
};

QTEST_MAIN(tst_PlayerInfoWindow)
#include "tst_PlayerInfoWindow.moc"
