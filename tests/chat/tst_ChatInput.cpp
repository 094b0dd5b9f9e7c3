// What typed text becomes: server lines and shown lines, away, ignore, who-is, operator
// actions; against a scripted server.
#include "ChatTestKit.h"
#include "base/Text.h"
#include "base/Tick.h"

#include "irc/ChatCommands.h"

#include <QMenu>
#include <QSignalSpy>
#include <QTimer>

namespace {
const QColor Gray(128, 128, 128);
const QColor Green(0, 128, 0);
const QColor Red(255, 0, 0);
const QColor Teal(0, 128, 128);

// The chat form as the lobby has it: no raw commands.
class TLobbyLike : public TfrmChat
{
public:
    void ConnectTo(quint16 port, const QString &nick)
    {
        Nick = nick;
        OpenConnection(QStringLiteral("127.0.0.1"), port);
    }
};

QString Last(const TChat *chat)
{
    const QStringList rows = Rows(chat);
    return rows.isEmpty() ? QString() : rows.last();
}
} // namespace

class tst_ChatInput : public QObject
{
    Q_OBJECT

    std::unique_ptr<TChatTestKit> m_kit;

    // Joins #d3 with "bob" and "boss" in it.
    static bool Join(TScriptedChat &s)
    {
        s.Send(":me!~me@127.0.0.1 JOIN :#d3\r\n:srv 353 me = #d3 :me @boss bob\r\n");
        return s.Sync() && s.Chat("#d3");
    }

    // The lines the server got since the last call, without the PONGs of Sync.
    static QStringList NewLines(TScriptedChat &s)
    {
        QStringList lines;
        for (const QString &line : s.Server.Received()) {
            if (!line.startsWith(QLatin1String("PONG")))
                lines << line;
        }
        s.Server.ClearReceived();
        return lines;
    }

private slots:
    void initTestCase() { m_kit = std::make_unique<TChatTestKit>(); }
    void init() { m_kit->Reset(); }
    void cleanupTestCase() { m_kit.reset(); }

    void typed_data()
    {
        QTest::addColumn<bool>("raw");    // plain IRC form (raw commands) or lobby-like
        QTest::addColumn<QString>("tab"); // the active tab
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("sent"); // lines the server gets
        QTest::addColumn<QString>("shown");    // last row of the active tab afterwards
        QTest::addColumn<QColor>("color");
        const QString none;
        QTest::newRow("text in Misc") << true << "Misc"
                                      << "hello" << QStringList{} << "Unable to send to Misc: hello" << Gray;
        QTest::newRow("text in a channel")
            << true << "#d3"
            << "hello all" << QStringList{"PRIVMSG #d3 :hello all"} << "hello all" << Teal;
        QTest::newRow("msg without text") << true << "#d3"
                                          << "/msg bob" << QStringList{} << none << QColor();
        QTest::newRow("msg with words") << true << "#d3"
                                        << "/MSG bob several words here"
                                        << QStringList{"PRIVMSG bob :several words here"}
                                        << "Msg to bob: several words here" << Green;
        QTest::newRow("me") << true << "#d3"
                            << "/me waves"
                            << QStringList{"PRIVMSG #d3 :\x01"
                                           "ACTION waves\x01"}
                            << "me waves" << Red;
        QTest::newRow("me in Misc") << true << "Misc"
                                    << "/me waves" << QStringList{} << "Unable to send to Misc: /me waves" << Gray;
        QTest::newRow("pm alias") << true << "#d3"
                                  << "/pm bob hi" << QStringList{"PRIVMSG bob :hi"} << "Msg to bob: hi" << Green;
        QTest::newRow("i alias") << true << "#d3"
                                 << "/i nods"
                                 << QStringList{"PRIVMSG #d3 :\x01"
                                                "ACTION nods\x01"}
                                 << "me nods" << Red;
        QTest::newRow("afk alias") << true << "#d3"
                                   << "/afk lunch" << QStringList{} << none << QColor();
        QTest::newRow("stfu alias") << true << "#d3"
                                    << "/stfu bob" << QStringList{} << none << QColor();
        QTest::newRow("alias alone, raw") << true << "#d3"
                                          << "/pm" << QStringList{"pm"} << none << QColor();
        QTest::newRow("alias alone, lobby") << false << "#d3"
                                            << "/pm" << QStringList{} << none << QColor();
        QTest::newRow("unknown command, raw") << true << "#d3"
                                              << "/join #other" << QStringList{"join #other"} << none << QColor();
        QTest::newRow("unknown command, lobby") << false << "#d3"
                                                << "/join #other" << QStringList{} << none << QColor();
        QTest::newRow("text in a channel, lobby") << false << "#d3"
                                                  << "hi" << QStringList{"PRIVMSG #d3 :hi"} << "hi" << Teal;
        const QString longText = QString(300, QLatin1Char('x'));
        QTest::newRow("cut to the line") << true << "#d3" << longText
                                         << QStringList{"PRIVMSG #d3 :" + QString(253 - 13, QLatin1Char('x'))}
                                         << QString(253 - 13, QLatin1Char('x')) << Teal;
        const QString wide = QString(239, QLatin1Char('y')) + QString::fromUtf8("\xc3\xa9\xc3\xa9");
        QTest::newRow("cut never splits a character")
            << true << "#d3" << wide << QStringList{"PRIVMSG #d3 :" + wide.left(239)} << wide.left(239) << Teal;
        QTest::newRow("me cut keeps its closing byte") << true << "#d3"
                                                       << "/me " + longText
                                                       << QStringList{"PRIVMSG #d3 :\x01"
                                                                      "ACTION " +
                                                                      QString(252 - 21, QLatin1Char('x')) + "\x01"}
                                                       << "me " + QString(252 - 21, QLatin1Char('x')) << Red;
    }

    void typed()
    {
        QFETCH(bool, raw);
        QFETCH(QString, tab);
        QFETCH(QString, typed);
        QFETCH(QStringList, sent);
        QFETCH(QString, shown);
        QFETCH(QColor, color);
        TScriptedChat s;
        QPointer<TfrmChat> form;
        if (raw) {
            QVERIFY(s.Open());
            form = s.Form.data();
        } else {
            QVERIFY(s.Server.Listen());
            auto *lobby = new TLobbyLike;
            s.Form = nullptr;
            form = lobby;
            lobby->ConnectTo(s.Server.Port(), QStringLiteral("me"));
            QVERIFY(s.Server.WaitForClient());
        }
        std::unique_ptr<TfrmChat> owner(raw ? nullptr : form.data());
        s.Send(":me!~me@127.0.0.1 JOIN :#d3\r\n:srv 353 me = #d3 :me @boss bob\r\n");
        QVERIFY(s.Sync());
        form->ActivateChat(form->FindChat(tab));
        QCOMPARE(form->ActiveChat()->Name, tab);
        NewLines(s);
        const QString before = Last(form->ActiveChat());
        form->edtChat->setText(typed);
        form->edtChatKeyPress();
        QVERIFY(form->edtChat->text().isEmpty());
        QVERIFY(s.Sync());
        QCOMPARE(NewLines(s), sent);
        TChat *active = form->ActiveChat();
        if (shown.isEmpty()) {
            QCOMPARE(Last(active), before);
        } else {
            QCOMPARE(Last(active), shown);
            QCOMPARE(RowColor(active, active->TextView->document()->blockCount() - 1), color);
        }
    }

    // Nothing went out: nothing is shown as sent.
    void notShownWhenNotSent()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        QVERIFY(Join(s));
        TChat *chat = s.Chat("#d3");
        s.Form->ActivateChat(chat);
        s.Server.DropClient();
        QTRY_VERIFY(s.Form->TCP->state() != QAbstractSocket::ConnectedState);
        const int rows = int(Rows(chat).size());
        s.Form->SubmitInput(QStringLiteral("into the void"));
        s.Form->SubmitInput(QStringLiteral("/me waves"));
        s.Form->SubmitInput(QStringLiteral("/msg bob hi"));
        QCOMPARE(Rows(chat).size(), rows);
    }

    void awayCommand()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        TfrmConfig *config = m_kit->Config.get();
        SetMemoLines(config->memChatAway, {"zero", "one", "two", "three"});
        s.Form->SubmitInput(QStringLiteral("/away 3"));
        QVERIFY(config->cbxChatAway->isChecked());
        QCOMPARE(config->speChatAway->Value(), 3);
        QCOMPARE(config->lblChatAway->text(), QStringLiteral("three"));
        s.Form->SubmitInput(QStringLiteral("/away 0"));
        QVERIFY(config->cbxChatAway->isChecked());
        QCOMPARE(config->lblChatAway->text(), QStringLiteral("zero"));
        s.Form->SubmitInput(QStringLiteral("/away 9"));
        QCOMPARE(config->lblChatAway->text(), QStringLiteral("I'm away..."));
        s.Form->SubmitInput(QStringLiteral("/away gone fishing"));
        QVERIFY(config->cbxChatAway->isChecked());
        QCOMPARE(config->lblChatAway->text(), QStringLiteral("gone fishing"));
        const QPalette standard = QApplication::palette(s.Form->edtChat);
        QCOMPARE(s.Form->edtChat->palette().color(QPalette::Base), standard.color(QPalette::Button));
        s.Form->SubmitInput(QStringLiteral("/away"));
        QVERIFY(!config->cbxChatAway->isChecked());
        QCOMPARE(s.Form->edtChat->palette().color(QPalette::Base), standard.color(QPalette::Base));
        s.Form->SubmitInput(QStringLiteral("/away"));
        QVERIFY(config->cbxChatAway->isChecked());
        s.Form->SubmitInput(QStringLiteral("/back"));
        QVERIFY(!config->cbxChatAway->isChecked());
        QVERIFY(s.Sync());
        QCOMPARE(NewLines(s).filter(QStringLiteral("AWAY"), Qt::CaseInsensitive), QStringList{});
    }

    // The reply carries the time away; an away reply is never answered, and one sender
    // gets one reply a minute.
    void awayReply()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        TfrmConfig *config = m_kit->Config.get();
        config->cbxChatAway->setChecked(true);
        config->lblChatAway->setText(QStringLiteral("back soon"));
        config->AwaySince = TickCount() - 3725000u - 200u;
        NewLines(s);
        s.Send(":bob!~b@h PRIVMSG me :are you there?\r\n"
               ":bob!~b@h PRIVMSG me :hello?\r\n"
               ":ann!~a@h PRIVMSG me :(Been away 0h:00:04) I'm away...\r\n");
        QVERIFY(s.Sync());
        QCOMPARE(NewLines(s), QStringList{"PRIVMSG bob :(Been away 1h:02:05) back soon"});
        QCOMPARE(Rows(s.Chat("bob")), (QStringList{"bob: are you there?", "bob: hello?"}));
        config->cbxChatAway->setChecked(false);
        s.Send(":carl!~c@h PRIVMSG me :hi\r\n");
        QVERIFY(s.Sync());
        QCOMPARE(NewLines(s), QStringList{});
    }

    void ignoreCommand()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        QVERIFY(Join(s));
        s.Form->SubmitInput(QStringLiteral("/ignore bob"));
        QCOMPARE(s.Form->FindUser(QStringLiteral("bob"))->IgnoreState, 1);
        QCOMPARE(s.Chat("#d3")->UserGrid->item(0, 0)->foreground().color(), Red);
        s.Form->SubmitInput(QStringLiteral("/IGNORE bob"));
        QCOMPARE(s.Form->FindUser(QStringLiteral("bob"))->IgnoreState, -1);
        s.Form->SubmitInput(QStringLiteral("/ignore stranger"));
        QVERIFY(!s.Form->FindUser(QStringLiteral("stranger")));
    }

    // Two clicks within 3 s send one WHOIS; after the delay the next one goes.
    void whoisRateLimit()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        QVERIFY(Join(s));
        TChat *chat = s.Chat("#d3");
        s.Form->ActivateChat(chat);
        chat->UserGrid->selectRow(0);
        NewLines(s);
        s.Form->mnuWhoIsClick();
        s.Form->mnuWhoIsClick();
        QVERIFY(s.Sync());
        QCOMPARE(NewLines(s), QStringList{"WHOIS bob"});
        QVERIFY(s.Form->TimerWhoisDelay->isActive());
        QCOMPARE(s.Form->TimerWhoisDelay->interval(), 3000);
        QVERIFY(s.Form->FindUser(QStringLiteral("bob"))->InfoRequested);
        s.Form->TimerWhoisDelayTimer();
        QVERIFY(!s.Form->TimerWhoisDelay->isActive());
        chat->UserGrid->selectRow(1);
        s.Form->mnuWhoIsClick();
        QVERIFY(s.Sync());
        QCOMPARE(NewLines(s), QStringList{"WHOIS boss"});
    }

    void userMenu()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        QVERIFY(Join(s));
        TChat *chat = s.Chat("#d3");
        s.Form->ActivateChat(chat);
        chat->UserGrid->selectRow(0);
        emit s.Form->pumUser->aboutToShow();
        QVERIFY(!s.Form->mnuIgnore->isChecked());
        s.Form->mnuIgnoreClick();
        emit s.Form->pumUser->aboutToShow();
        QVERIFY(s.Form->mnuIgnore->isChecked());
        // "&Talk" asks the frame for a talk window and an invitation to the user's host.
        QSignalSpy talk(s.Form.data(), &TfrmChat::TalkWanted);
        s.Form->mnuUserTalk->trigger();
        QCOMPARE(talk.size(), 1);
        QCOMPARE(talk.first().at(1).toString(), QStringLiteral("me"));
        s.Form->ToggleFriendClick();
        QCOMPARE(MemoLines(m_kit->Config->memChatFriends), QStringList{"bob"});
        SetMemoLines(m_kit->Config->memChatFriends, {"carl", "BOB", "bob"});
        s.Form->ToggleFriendClick();
        QCOMPARE(MemoLines(m_kit->Config->memChatFriends), (QStringList{"carl", "bob"}));
        s.Form->mnuMessageClick();
        QCOMPARE(s.Form->ActiveChat(), s.Chat("bob"));
        // A double-click in the plain IRC form opens the private tab as well.
        s.Form->ActivateChat(chat);
        chat->UserGrid->selectRow(1);
        s.Form->sgrUsersDblClick(chat);
        QCOMPARE(s.Form->ActiveChat(), s.Chat("boss"));
    }

    void operatorActions()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        QVERIFY(Join(s));
        TChat *chat = s.Chat("#d3");
        s.Form->ActivateChat(chat);
        NewLines(s);
        s.Form->mnuOpClick();         // nobody selected
        chat->UserGrid->selectRow(0); // bob, no host known
        s.Form->mnuOpClick();
        s.Form->mnuBanClick();
        chat->UserGrid->selectRow(1); // @boss
        s.Form->mnuOpClick();
        s.Form->FindUser(QStringLiteral("boss"))->Host = QStringLiteral("10.0.0.5");
        s.Form->mnuKickBanClick();
        QVERIFY(s.Sync());
        QCOMPARE(NewLines(s), (QStringList{"MODE #d3 +o bob", "MODE #d3 +b *!*@", "MODE #d3 -o boss", "KICK #d3 boss",
                                           "MODE #d3 +b *!*@10.0.0.5"}));
        // The model changes only when the server answers.
        QVERIFY(!chat->IsOp(QStringLiteral("bob")));
    }
};

QTEST_MAIN(tst_ChatInput)
#include "tst_ChatInput.moc"
