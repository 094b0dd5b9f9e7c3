// Framing and dispatch of server lines, against a scripted server on loopback.
#include "ChatTestKit.h"

#include <QSignalSpy>
#include <QTimer>

namespace {
const QColor Red(255, 0, 0);
const QColor Green(0, 128, 0);
const QColor Blue(0, 0, 255);
} // namespace

class tst_ChatDispatch : public QObject
{
    Q_OBJECT

    std::unique_ptr<TChatTestKit> m_kit;

    // A chat in which "me" joined #d3 with op "@boss" and "bob".
    void JoinChannel(TScriptedChat &s)
    {
        s.Send(":me!~me@127.0.0.1 JOIN :#d3\r\n"
               ":srv 353 me = #d3 :me @boss bob\r\n");
        QVERIFY(s.Sync());
        QVERIFY(s.Chat("#d3"));
    }

private slots:
    void initTestCase() { m_kit = std::make_unique<TChatTestKit>(); }
    void init() { m_kit->Reset(); }
    void cleanupTestCase() { m_kit.reset(); }

    void registration()
    {
        TScriptedChat s;
        QVERIFY(s.Open(QStringLiteral("Pilot")));
        const QStringList lines = s.Server.Received();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).startsWith(QLatin1String("USER Test ")));
        QVERIFY(lines.at(0).endsWith(QLatin1String(" 127.0.0.1 :Test Player")));
        QCOMPARE(lines.at(1), QStringLiteral("NICK Pilot"));
        QCOMPARE(s.Form->windowTitle(), QStringLiteral("Chat (Pilot)"));
        QVERIFY(s.Form->RawCommands);
    }

    // a, CR, LF, b, CR; an LF alone; an empty line; NOTICE without prefix; PING.
    void framing()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        TChat *misc = s.Form->Misc();
        s.Send("a\r\nb\r");
        QVERIFY(s.Sync());
        QCOMPARE(Rows(misc),
                 (QStringList{"Connecting to 127.0.0.1:" + QString::number(s.Server.Port()) + " ...", "a", "b"}));
        QCOMPARE(RowColor(misc, 1), Red);
        s.Send("held\n");
        // The LF of the CR LF before it is still held too.
        QTRY_VERIFY(s.Form->LineBuffer.Buffered() >= 5);
        QCOMPARE(Rows(misc).size(), 3);
        s.Send("\r");
        QVERIFY(s.Sync());
        QCOMPARE(Rows(misc).last(), QStringLiteral("held"));
        s.Send("c\r\rd\r");
        QVERIFY(s.Sync());
        QCOMPARE(Rows(misc).mid(4), (QStringList{"c", "", "d"}));
        QCOMPARE(RowColor(misc, 4), Red);
        s.Send("NOTICE AUTH :*** Looking up your hostname\r\n:srv NOTICE me :server notice\r\n");
        QVERIFY(s.Sync());
        QCOMPARE(Rows(misc).size(), 7);
        s.Server.SendLine(QStringLiteral("PING :irc.test 1234"));
        QVERIFY(s.Server.WaitForLine(QStringLiteral("PONG :irc.test 1234")));
    }

    // One channel message sent in two pieces, for every split point: one line each time.
    void everySplit()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        JoinChannel(s);
        TChat *chat = s.Chat("#d3");
        const QByteArray line = ":bob!~b@127.0.0.1 PRIVMSG #d3 :split \xc3\xa9 text\r\n";
        for (qsizetype split = 1; split < line.size(); ++split) {
            const int before = int(Rows(chat).size());
            s.Server.Send(line.left(split));
            QTRY_VERIFY(s.Form->LineBuffer.Buffered() > 0 || Rows(chat).size() > before);
            s.Server.Send(line.mid(split));
            QVERIFY(s.Sync());
            QCOMPARE(Rows(chat).size(), before + 1);
            QCOMPARE(Rows(chat).last(), QString::fromUtf8("bob: split \xc3\xa9 text"));
        }
    }

    void badLineThenGoodLine_data()
    {
        QTest::addColumn<QString>("bad");
        QTest::newRow("mode for an unknown nick") << ":boss!~b@h MODE #d3 +o ghost";
        QTest::newRow("mode with no argument") << ":boss!~b@h MODE #d3 +o";
        QTest::newRow("mode on a missing tab") << ":boss!~b@h MODE #nowhere +o bob";
        QTest::newRow("bare colon") << ":";
        QTest::newRow("prefix only") << ":srv";
        QTest::newRow("whois with nothing") << ":srv 311";
        QTest::newRow("whois of a stranger") << ":srv 311 me ghost u h * :x";
        QTest::newRow("list entry without channel") << ":srv 322 me";
        QTest::newRow("names for a missing tab") << ":srv 353 me = #nowhere :a b";
        QTest::newRow("motd shorter than its lead") << ":srv 372 me";
        QTest::newRow("join without channel") << ":x!~x@h JOIN";
        QTest::newRow("join without nick") << ":!@h JOIN :#d3";
        QTest::newRow("privmsg without text") << ":x!~x@h PRIVMSG #d3";
        QTest::newRow("kick without victim") << ":boss!~b@h KICK #d3";
        QTest::newRow("part of a missing tab") << ":x!~x@h PART #nowhere";
        QTest::newRow("nick without new nick") << ":bob!~b@h NICK";
        QTest::newRow("quit of a stranger") << ":ghost!~g@h QUIT :bye";
        QTest::newRow("numeric alone") << ":srv 433";
        QTest::newRow("control bytes") << QString::fromLatin1(":\x01\x02 \x7f\x03 \x01");
    }

    // A line that cannot be handled costs that line only: the next one still works.
    void badLineThenGoodLine()
    {
        QFETCH(QString, bad);
        TScriptedChat s;
        QVERIFY(s.Open());
        JoinChannel(s);
        s.Send(bad + "\r\n:boss!~b@h MODE #d3 +o bob\r\n:bob!~b@h PRIVMSG #d3 :still here\r\n");
        QVERIFY(s.Sync());
        TChat *chat = s.Chat("#d3");
        QVERIFY(chat);
        QVERIFY(chat->IsOp(QStringLiteral("bob")));
        QCOMPARE(Rows(chat).last(), QStringLiteral("bob: still here"));
    }

    void joinNamesAndOps()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        s.Send(":me!~me@127.0.0.1 JOIN :#d3\r\n"
               ":srv 353 me = #d3 :me @boss bob\r\n"
               ":me!~me@127.0.0.1 JOIN :+local\r\n"
               ":srv 353 me * +local :@solo\r\n"
               ":me!~me@127.0.0.1 JOIN #secret\r\n"
               ":srv 353 me @ #secret :spy\r\n"
               ":srv 353 me = #d3 :\r\n");
        QVERIFY(s.Sync());
        TChat *chat = s.Chat("#d3");
        QVERIFY(chat);
        QCOMPARE(GridNames(chat), (QStringList{"bob", "@boss", "me"}));
        QVERIFY(chat->IsOp(QStringLiteral("boss")));
        QCOMPARE(GridNames(s.Chat("+local")), (QStringList{"me", "@solo"}));
        QCOMPARE(GridNames(s.Chat("#secret")), (QStringList{"me", "spy"}));
        QCOMPARE(s.Form->PageControl->tabText(s.Form->PageControl->indexOf(chat)), QStringLiteral("d3"));
        QCOMPARE(s.Form->ActiveChat(), s.Chat("#secret"));
        QVERIFY(Rows(s.Form->Misc()).contains(QStringLiteral("me join channel d3")));
        QCOMPARE(s.Form->FindUser(QStringLiteral("@boss"))->Host, QString());
        QCOMPARE(s.Form->FindUser(QStringLiteral("me"))->Host, QStringLiteral("127.0.0.1"));
    }

    void channelMessages()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        JoinChannel(s);
        TChat *chat = s.Chat("#d3");
        SetMemoLines(m_kit->Config->memChatFriends, {QStringLiteral(" BOSS ")});
        s.Send(":bob!~b@h PRIVMSG #d3 :<b>not bold</b>\r\n"
               ":boss!~b@h PRIVMSG #d3 :\x01"
               "ACTION waves\x01\r\n"
               ":stranger!~s@h PRIVMSG #d3 :not in the list\r\n"
               ":bob!~b@h PRIVMSG #d3 word\r\n");
        QVERIFY(s.Sync());
        QCOMPARE(Rows(chat), (QStringList{"bob: <b>not bold</b>", "boss waves", "bob: word"}));
        // Nick part in the nick colour, bold; a friend's in the friend colour; action in red.
        const QTextBlock first = chat->TextView->document()->findBlockByNumber(0);
        const QTextCharFormat nickFormat = first.begin().fragment().charFormat();
        QCOMPARE(nickFormat.foreground().color(), QColor(0, 0, 0x80));
        QCOMPARE(nickFormat.fontWeight(), int(QFont::Bold));
        QCOMPARE(RowColor(chat, 0), Blue);
        QCOMPARE(RowColor(chat, 1), Red);
        s.Send(":boss!~b@h PRIVMSG #d3 :hello\r\n");
        QVERIFY(s.Sync());
        QCOMPARE(chat->TextView->document()->lastBlock().begin().fragment().charFormat().foreground().color(), Green);
    }

    void privateMessages()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        JoinChannel(s);
        s.Send(":bob!~b@h PRIVMSG me :psst\r\n"
               ":bob!~b@h PRIVMSG someoneelse :not for me\r\n");
        QVERIFY(s.Sync());
        TChat *priv = s.Chat("bob");
        QVERIFY(priv);
        QVERIFY(s.Form->ActiveChat() != priv);
        QCOMPARE(Rows(priv), QStringList{"bob: psst"});
        QCOMPARE(GridNames(priv), (QStringList{"bob", "me"}));
        // Ignoring hides channel lines only.
        s.Form->FindUser(QStringLiteral("bob"))->IgnoreState = 1;
        s.Send(":bob!~b@h PRIVMSG #d3 :hidden\r\n:bob!~b@h PRIVMSG me :shown\r\n");
        QVERIFY(s.Sync());
        QVERIFY(!Rows(s.Chat("#d3")).contains(QStringLiteral("bob: hidden")));
        QCOMPARE(Rows(priv).last(), QStringLiteral("bob: shown"));
    }

    void partKickQuitMode()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        JoinChannel(s);
        s.Send(":me!~me@h JOIN :#other\r\n:srv 353 me = #other :me bob\r\n");
        s.Send(":boss!~b@h MODE #d3 +ob-o bob *!*@bad bob\r\n");
        QVERIFY(s.Sync());
        TChat *chat = s.Chat("#d3");
        QVERIFY(!chat->IsOp(QStringLiteral("bob")));
        s.Send(":boss!~b@h MODE #d3 +o bob\r\n");
        QVERIFY(s.Sync());
        QVERIFY(chat->IsOp(QStringLiteral("bob")));
        QCOMPARE(GridNames(chat), (QStringList{"@bob", "@boss", "me"}));
        s.Send(":boss!~b@h KICK #d3 bob :behave\r\n");
        QVERIFY(s.Sync());
        QCOMPARE(GridNames(chat), (QStringList{"@boss", "me"}));
        QCOMPARE(Rows(s.Form->Misc()).last(), QStringLiteral("bob was kicked from channel d3 by boss :behave"));
        QCOMPARE(RowColor(s.Form->Misc(), int(Rows(s.Form->Misc()).size()) - 1), Blue);
        s.Send(":boss!~b@h PART #d3 :later\r\n");
        QVERIFY(s.Sync());
        QCOMPARE(GridNames(chat), QStringList{"me"});
        QCOMPARE(Rows(s.Form->Misc()).last(), QStringLiteral("boss part channel d3"));
        s.Send(":bob!~b@h QUIT :gone\r\n");
        QVERIFY(s.Sync());
        QCOMPARE(GridNames(s.Chat("#other")), QStringList{"me"});
        QCOMPARE(Rows(s.Form->Misc()).last(), QStringLiteral("bob quit"));
        s.Send(":me!~me@h PART #d3\r\n");
        QVERIFY(s.Sync());
        QVERIFY(!s.Chat("#d3"));
        QCOMPARE(Rows(s.Form->Misc()).last(), QStringLiteral("me part channel d3"));
        s.Send(":boss!~b@h KICK #other me :out\r\n");
        QVERIFY(s.Sync());
        QVERIFY(!s.Chat("#other"));
        QCOMPARE(s.Form->ChatCount(), 1);
    }

    void nickChanges()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        JoinChannel(s);
        s.Send(":bob!~b@h PRIVMSG me :hi\r\n:boss!~b@h MODE #d3 +o bob\r\n:bob!~b@h NICK :robert\r\n"
               ":robert!~b@h PRIVMSG #d3 :renamed\r\n:robert!~b@h PRIVMSG me :still private\r\n");
        QVERIFY(s.Sync());
        TChat *chat = s.Chat("#d3");
        QCOMPARE(GridNames(chat), (QStringList{"@boss", "me", "@robert"}));
        QCOMPARE(Rows(chat).last(), QStringLiteral("robert: renamed"));
        QVERIFY(!s.Chat("bob"));
        QCOMPARE(Rows(s.Chat("robert")).last(), QStringLiteral("robert: still private"));
        s.Send(":me!~me@h NICK renamedme\r\n");
        QVERIFY(s.Sync());
        QCOMPARE(s.Form->Nick, QStringLiteral("renamedme"));
        QCOMPARE(s.Form->windowTitle(), QStringLiteral("Chat (renamedme)"));
        QCOMPARE(GridNames(chat), (QStringList{"@boss", "renamedme", "@robert"}));
    }

    void numerics()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        JoinChannel(s);
        s.Send(":srv 372 me :- Message of the day\r\n:srv 474 me #closed :banned\r\n"
               ":srv 311 me bob bobuser 10.9.8.7 * :TRK42 Bob Builder\r\n");
        QVERIFY(s.Sync());
        const QStringList misc = Rows(s.Form->Misc());
        QVERIFY(misc.contains(QStringLiteral("Message of the day")));
        QCOMPARE(misc.last(), QStringLiteral("Unable to join channel (banned)!"));
        const TUser *bob = s.Form->FindUser(QStringLiteral("bob"));
        QCOMPARE(bob->Host, QStringLiteral("10.9.8.7"));
        QCOMPARE(bob->TrackerId, QStringLiteral("TRK42"));
        QCOMPARE(bob->WhoisName, QStringLiteral("Bob Builder"));
        QCOMPARE(bob->DisplayName, QStringLiteral("Bob Builder"));
        s.Send(":srv 311 me boss u h * :boss\r\n:srv 433 * me :Nickname already in use\r\n");
        QVERIFY(s.Sync());
        QCOMPARE(s.Form->FindUser(QStringLiteral("boss"))->DisplayName, QStringLiteral("boss"));
        QVERIFY(Rows(s.Form->Misc()).last().contains(QLatin1String("is in use")));
    }

    // The channel grid and the user lists are redrawn once per read, not once per line.
    void refreshOncePerRead()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        JoinChannel(s);
        TChat *chat = s.Chat("#d3");
        QSignalSpy usersChanged(chat, &TChat::OnUsersChanged);
        QString names;
        for (int i = 0; i < 400; ++i)
            names += QStringLiteral(" u%1").arg(i);
        QString list;
        for (int i = 0; i < 400; ++i)
            list += QStringLiteral(":srv 322 me #c%1 %2 :topic\r\n").arg(i).arg(i);
        s.Send(":srv 353 me = #d3 :" + names.mid(1) + "\r\n" + list + ":srv 323 me :End of LIST\r\n");
        QVERIFY(s.Sync());
        QCOMPARE(chat->Users.size(), 403);
        QCOMPARE(s.Form->ChannelCount(), 400);
        QVERIFY2(usersChanged.count() <= 5, qPrintable(QString::number(usersChanged.count())));
    }

    void overLongLineReported()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        QStringList status;
        s.Form->OnStatus = [&status](const QString &text) { status << text; };
        s.Server.Send(QByteArray(Irc::MaxLineBytes + 100, 'x'));
        QTRY_COMPARE(status.size(), 1);
        QVERIFY(status.first().startsWith(QLatin1String("TCP error: ")));
        QVERIFY(s.Form->LineBuffer.Buffered() <= Irc::MaxLineBytes);
        s.Send("more of it\rafter\r");
        QVERIFY(s.Sync());
        QCOMPARE(Rows(s.Form->Misc()).last(), QStringLiteral("after"));
    }

    // An unexpected disconnect: timers stop and Closing is set before the box; the box
    // comes once and the form is freed once.
    void serverDrops()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        QSignalSpy destroyed(s.Form.data(), &QObject::destroyed);
        bool quietBeforeBox = false;
        QPointer<TfrmIRC> form = s.Form;
        m_kit->OnBox = [&](const QString &) {
            quietBeforeBox = form && form->Closing && !form->TimerConfig->isActive() && !form->TimersEnabled;
        };
        s.Server.DropClient();
        QTRY_COMPARE(destroyed.count(), 1);
        QCOMPARE(m_kit->Boxes, QStringList{"Connection closed!"});
        QVERIFY(quietBeforeBox);
        QTest::qWait(50);
        QCOMPARE(m_kit->Boxes.size(), 1);
    }

    // Closing the form sends QUIT and frees it once; the disconnect that follows is quiet.
    void formClose()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        QSignalSpy destroyed(s.Form.data(), &QObject::destroyed);
        s.Form->close();
        QVERIFY(s.Server.WaitForLine(QStringLiteral("QUIT")));
        QTRY_COMPARE(destroyed.count(), 1);
        s.Server.DropClient();
        QTest::qWait(50);
        QVERIFY(m_kit->Boxes.isEmpty());
    }

    void connectRefused()
    {
        const quint16 port = [] {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            return probe.serverPort();
        }();
        QPointer<TfrmIRC> form = new TfrmIRC;
        QStringList status;
        form->OnStatus = [&status](const QString &text) { status << text; };
        form->ConnectTo(QStringLiteral("127.0.0.1"), port, QStringLiteral("me"));
        QTRY_VERIFY(form.isNull());
        QCOMPARE(m_kit->Boxes, QStringList{"Connection closed!"});
        QCOMPARE(status,
                 QStringList{"TCP connect error: " + QString::number(int(QAbstractSocket::ConnectionRefusedError))});
    }

    // While the lobby runs the game a lost connection closes the channel tabs silently.
    void disconnectInGame()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        JoinChannel(s);
        s.Send(":bob!~b@h PRIVMSG me :hi\r\n");
        QVERIFY(s.Sync());
        s.Form->InGame = true;
        s.Server.DropClient();
        QTRY_VERIFY(!s.Chat("#d3"));
        QVERIFY(s.Chat("bob"));
        QVERIFY(s.Form);
        QVERIFY(m_kit->Boxes.isEmpty());
    }
};

QTEST_MAIN(tst_ChatDispatch)
#include "tst_ChatDispatch.moc"
