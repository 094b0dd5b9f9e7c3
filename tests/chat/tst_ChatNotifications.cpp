// Desktop notifications from the chat: on by default and stored under "\Chat"; a private
// message or a friend joining a channel asks the main window for one, channel talk does not.
#include "chat/ChatTestKit.h"
#include "common/FrameStandIn.h"
#include "common/IrcTestClient.h"
#include "common/NgircdFixture.h"
#include "settings/Registry.h"

#include <QtTest>

namespace {
constexpr int Wait = 15000;

} // namespace

class tst_ChatNotifications : public QObject
{
    Q_OBJECT

    std::unique_ptr<TChatTestKit> m_kit;
    std::unique_ptr<TNgircd> m_server;
    TFrameStandIn m_services;

private slots:
    void initTestCase()
    {
        QVERIFY2(TNgircd::Available(), "ngircd is needed: scripts/install-deps.sh installs it");
        m_kit = std::make_unique<TChatTestKit>();
    }
    void cleanupTestCase() { m_kit.reset(); }

    void onByDefaultAndStored()
    {
        TfrmConfig fresh;
        QVERIFY(fresh.cbxChatNotifyMessage->isChecked());
        QVERIFY(fresh.cbxChatNotifyFriendJoin->isChecked());
        // The page that holds the sound options holds them too.
        QCOMPARE(fresh.cbxChatNotifyMessage->parentWidget(), fresh.cbxChatMessageSound->parentWidget());

        m_kit->Config->cbxChatNotifyMessage->setChecked(false);
        m_kit->Config->cbxChatNotifyFriendJoin->setChecked(true);
        m_kit->Config->SaveAll();
        TRegistry reg;
        reg.OpenKey(OrloKey(QStringLiteral("\\Chat")));
        QCOMPARE(reg.ReadInteger(QStringLiteral("Chat notify private message")), 0);
        QCOMPARE(reg.ReadInteger(QStringLiteral("Chat notify friend join")), 1);
        m_kit->Config->cbxChatNotifyMessage->setChecked(true);
        m_kit->Config->LoadAll();
        QVERIFY(!m_kit->Config->cbxChatNotifyMessage->isChecked());
        m_kit->Config->cbxChatNotifyMessage->setChecked(true);
    }

    void privateMessageAndFriendJoin()
    {
        m_kit->Reset();
        m_server = std::make_unique<TNgircd>();
        QVERIFY2(m_server->Start(), qPrintable(m_server->Error()));
        SetMemoLines(m_kit->Config->memChatFriends, {QStringLiteral("wingman")});
        auto form = std::make_unique<TfrmIRC>();
        m_services.WatchChat(form.get());
        form->setAttribute(Qt::WA_DontShowOnScreen);
        form->show();
        form->ConnectTo(m_server->Host(), m_server->Port(), QStringLiteral("pilot"));
        QTRY_VERIFY_WITH_TIMEOUT(Rows(form->Misc()).join('\n').contains("test network"), Wait);
        form->SendLine(QStringLiteral("JOIN #d3"));
        QTRY_VERIFY_WITH_TIMEOUT(form->FindChat(QStringLiteral("#d3")), Wait);
        m_services.Notes.clear();

        TIrcTestClient stranger;
        QVERIFY(stranger.Register(m_server->Host(), m_server->Port(), QStringLiteral("stranger"), Wait));
        stranger.Send(QStringLiteral("JOIN #d3"));
        TIrcTestClient wingman;
        QVERIFY(wingman.Register(m_server->Host(), m_server->Port(), QStringLiteral("wingman"), Wait));
        wingman.Send(QStringLiteral("JOIN #d3"));
        QTRY_VERIFY_WITH_TIMEOUT(form->FindChat(QStringLiteral("#d3"))->FindUser(QStringLiteral("wingman")), Wait);
        QCOMPARE(m_services.Notes, QStringList{QStringLiteral("Friend online | wingman joined #d3")});

        stranger.Send(QStringLiteral("PRIVMSG #d3 :channel talk"));
        stranger.Send(QStringLiteral("PRIVMSG pilot :psst"));
        QTRY_COMPARE_WITH_TIMEOUT(m_services.Notes.size(), 2, Wait);
        QCOMPARE(m_services.Notes.last(), QStringLiteral("Message from stranger | psst"));

        // Switched off: the message still shows, no notification.
        m_kit->Config->cbxChatNotifyMessage->setChecked(false);
        m_kit->Config->cbxChatNotifyFriendJoin->setChecked(false);
        stranger.Send(QStringLiteral("PRIVMSG pilot :again"));
        QTRY_COMPARE_WITH_TIMEOUT(Rows(form->FindChat(QStringLiteral("stranger"))).size(), 2, Wait);
        wingman.Send(QStringLiteral("PART #d3"));
        wingman.Send(QStringLiteral("JOIN #d3"));
        QTRY_COMPARE_WITH_TIMEOUT(Rows(form->Misc()).filter(QStringLiteral("wingman join channel")).size(), 2, Wait);
        QCOMPARE(m_services.Notes.size(), 2);
        m_kit->Config->cbxChatNotifyMessage->setChecked(true);
        m_kit->Config->cbxChatNotifyFriendJoin->setChecked(true);
        form.reset();
        m_server.reset();
    }
};

QTEST_MAIN(tst_ChatNotifications)
#include "tst_ChatNotifications.moc"
