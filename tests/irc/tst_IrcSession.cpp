// The IRC session without a window: server lines in, signals and model out; the send pace
// and the reconnect waits; then its connection against a scripted server on loopback.
#include "base/Tick.h"
#include "common/ScriptedServer.h"
#include "irc/Channel.h"
#include "irc/IrcSession.h"
#include "irc/ReconnectPolicy.h"
#include "irc/SendQueue.h"
#include "irc/User.h"

#include <QMetaEnum>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

namespace {
using S = TIrcSession;
using TTimed = QList<QPair<QString, qint64>>; // a line and a time

// Every signal of a session, one short line each.
struct TTrace : QObject
{
    QStringList Lines;
    explicit TTrace(S &s)
    {
        const auto on = [this, &s](auto signal, auto text) {
            connect(&s, signal, this, [this, text](auto... args) { Lines << text(args...); });
        };
        on(&S::LineAdded, [](TConversation *c, const TChatLine &l) {
            static const char *const kinds[] = {"Message", "Action", "Raw",    "Join",
                                                "Event",   "Alert",  "Server", "Status"};
            return QStringLiteral("line %1 %2: %3%4%5")
                .arg(c ? c->Name : QStringLiteral("-"), QLatin1String(kinds[int(l.Kind)]), l.NickPart, l.Text,
                     l.Mention ? QStringLiteral(" !") : QString());
        });
        on(&S::ConversationOpened, [](TConversation *c, bool a) { return "open " + c->Name + (a ? " active" : ""); });
        on(&S::ConversationClosed, [](TConversation *c) { return "close " + c->Name; });
        on(&S::UserJoined, [](TConversation *c, TUser *u) { return "join " + c->Name + ' ' + u->Nick; });
        on(&S::UserLeft, [](TConversation *c, TUser *u) { return "left " + c->Name + ' ' + u->Nick; });
        on(&S::UserQuit, [](TUser *u) { return "quit " + u->Nick; });
        on(&S::UserRenamed, [](TUser *u, const QString &old) { return "rename " + old + ' ' + u->Nick; });
        on(&S::UsersChanged, [](TConversation *c) { return "users " + c->Name; });
        on(&S::OpsChanged, [](TConversation *c) { return "ops " + c->Name; });
        on(&S::UserHostKnown, [](TUser *u) { return "host " + u->Nick + ' ' + u->Host; });
        on(&S::WhoisReceived, [](TUser *u) {
            return QStringLiteral("whois %1 %2 %3 (%4) (%5)")
                .arg(u->Nick, u->Host, u->TrackerId, u->WhoisName, u->DisplayName);
        });
        on(&S::ChannelListed, [](TChannel *c) { return "listed " + c->Name + ' ' + QString::number(c->Users); });
        on(&S::ChannelListEnded, [] { return QStringLiteral("list end"); });
        on(&S::NickInUse, [] { return QStringLiteral("nick in use"); });
        on(&S::OwnNickChanged, [&s] { return "own nick " + s.Nick(); });
        on(&S::Registered, [] { return QStringLiteral("registered"); });
        on(&S::PingAnswered, [](const QString &) { return QStringLiteral("pong"); });
        on(&S::StatusText, [](const QString &text) { return "status " + text; });
        on(&S::Disconnected, [&s] {
            return "disconnected " + QLatin1String(QMetaEnum::fromType<S::TStatus>().valueToKey(int(s.Status())));
        });
    }
};

// Who is in each conversation, "@" before an operator.
QStringList Model(const S &s)
{
    QStringList model;
    for (const TConversation *c : s.Conversations()) {
        QStringList users;
        for (const TUser *u : c->Users)
            users << (c->IsOp(u->Nick) ? "@" : "") + u->Nick;
        users.sort();
        model << c->Name + ": " + users.join(' ');
    }
    model.sort();
    return model;
}

// "me" in #d3 with the operator boss and bob, whose hosts are known.
void Prelude(S &s)
{
    s.SetNick(QStringLiteral("me"));
    s.SetHighlightWords({QStringLiteral("anarchy")});
    for (const char *line : {":me!~me@127.0.0.1 JOIN :#d3", ":bob!~b@10.0.0.2 JOIN :#d3", ":boss!~o@10.0.0.3 JOIN :#d3",
                             ":srv 353 me = #d3 :me @boss bob"})
        s.HandleLine(QLatin1String(line));
}

// A session of "me" connected to a scripted server.
struct TConnected
{
    TScriptedServer Server;
    S Session;
    bool Open()
    {
        Session.SetNick("me");
        if (!Server.Listen())
            return false;
        Session.Open("127.0.0.1", Server.Port());
        return Server.WaitForClient() && QTest::qWaitFor([this] { return Session.Status() == S::TStatus::Connected; });
    }
    // The lines the server has, once the session has answered a PING sent after them.
    QStringList Sent()
    {
        Server.SendLine("PING :sync");
        Server.WaitForLine("PONG :sync");
        QStringList lines = Server.Received();
        Server.ClearReceived();
        lines.removeAll("PONG :sync");
        return lines;
    }
};

// Lines fed after the prelude, the signals they give, and the conversations then ("=": as
// before). Within a cell "|" separates entries.
struct TDispatch
{
    const char *Name, *Lines, *Trace, *Model;
};
const TDispatch Dispatches[] = {
    {"own join opens and shows, channel as last word", ":me!~me@h JOIN #two",
     "open #two active|line - Join: me join channel two|join #two me", "#d3: @boss bob me|#two: me"},
    {"a channel not open: joins, names and parts change nothing",
     ":ann!~a@h JOIN :#elsewhere|:srv 353 me @ #nowhere :a b|:bob!~b@h PART #nowhere",
     "host ann h|line - Event: bob part channel nowhere", "="},
    {"names: private type, op mark, then an empty list",
     ":srv 353 me * #d3 :@x y|:srv 353 me = #d3 :", "users #d3|users #d3", "#d3: @boss @x bob me y"},
    {"channel messages: markup as text, a last word without colon, an action",
     ":bob!~b@h PRIVMSG #d3 :hello <b>all</b>|:bob!~b@h PRIVMSG #d3 word|:boss!~o@h PRIVMSG #d3 :\x01"
     "ACTION waves\x01",
     "line #d3 Message: bob: hello <b>all</b>|line #d3 Message: bob: word|line #d3 Action: boss waves", "="},
    {"channel message from outside the channel", ":ann!~a@h PRIVMSG #d3 :spam", "host ann h", "="},
    {"an ignored member's channel line is hidden", ":bad!~b@h JOIN :#d3|:bad!~b@h PRIVMSG #d3 :x",
     "host bad h|line - Join: bad join channel d3|join #d3 bad", "#d3: @boss bad bob me"},
    {"an ignored user's private message opens a conversation in the background", ":bad!~b@h PRIVMSG me :psst",
     "host bad h|users bad|open bad|line bad Message: bad: psst", "#d3: @boss bob me|bad: bad me"},
    {"private message to someone else", ":bob!~b@h PRIVMSG other :x", "", "="},
    {"mentions: own nick, a highlight word, never our own line",
     ":bob!~b@h PRIVMSG #d3 :hey ME look|:bob!~b@h PRIVMSG #d3 :Anarchy now|:me!~me@h PRIVMSG #d3 :me me",
     "line #d3 Message: bob: hey ME look !|line #d3 Message: bob: Anarchy now !|line #d3 Message: me: me me", "="},
    {"part", ":boss!~o@h PART #d3 :later|:bob!~b@h PART :#d3",
     "left #d3 boss|line - Event: boss part channel d3|left #d3 bob|line - Event: bob part channel d3", "#d3: me"},
    {"own part closes", ":me!~me@h PART #d3", "close #d3|line - Event: me part channel d3", ""},
    {"kick", ":boss!~o@h KICK #d3 bob :behave|:boss!~o@h KICK #d3",
     "left #d3 bob|line - Event: bob was kicked from channel d3 by boss :behave", "#d3: @boss me"},
    {"quit leaves every conversation", ":bob!~b@h PRIVMSG me :bye|:bob!~b@h QUIT :gone",
     "users bob|open bob|line bob Message: bob: bye|quit bob|line - Alert: bob quit", "#d3: @boss me|bob: me"},
    {"mode: o, b, minus, o; then a plain o", ":boss!~o@h MODE #d3 +ob-o bob *!*@bad bob|:boss!~o@h MODE #d3 +o bob",
     "ops #d3|ops #d3", "#d3: @bob @boss me"},
    {"mode: voice and a set limit take their argument, a trailing nick counts",
     ":boss!~o@h MODE #d3 +vlo ann 5 bob|:boss!~o@h MODE #d3 -lo bob|:x!u@h JOIN #d3|:boss!~o@h MODE #d3 +o :@x!u@h",
     "ops #d3|ops #d3|host x h|line - Join: x join channel d3|join #d3 x|ops #d3", "#d3: @boss @x bob me"},
    {"mode naming a nick never seen ends the line",
     ":boss!~o@h MODE #d3 +oo ghost bob|:boss!~o@h MODE #nowhere +o bob|:boss!~o@h MODE #d3 +o", "", "="},
    {"nick: renamed everywhere, op kept", ":boss!~o@h NICK :chief",
     "rename boss chief|line - Event: boss is now known as chief", "#d3: @chief bob me"},
    {"nick of a private conversation renames it", ":bob!~b@h PRIVMSG me :hi|:bob!~b@h NICK robert",
     "users bob|open bob|line bob Message: bob: hi|rename bob robert|line - Event: bob is now known as robert",
     "#d3: @boss me robert|robert: me robert"},
    {"nick to a nick already known: that record takes the place", ":ann!~a@h PRIVMSG other :x|:boss!~o@h NICK ann",
     "host ann h|rename boss ann|line - Event: boss is now known as ann", "#d3: @ann bob me"},
    {"own nick: the new one is mentioned, the old one no more",
     ":me!~me@h NICK :pilot|:bob!~b@h PRIVMSG #d3 :me?|:bob!~b@h PRIVMSG #d3 :pilot!",
     "own nick pilot|rename me pilot|line - Event: me is now known as pilot|line #d3 Message: bob: me?|"
     "line #d3 Message: bob: pilot! !",
     "#d3: @boss bob pilot"},
    {"refusals", ":srv 474 me #closed :banned|:srv 433 * me :in use|:srv 432 * x! :bad|:srv 431 :none|:srv 433",
     "line - Alert: Unable to join channel (banned)!|nick in use|nick in use|nick in use|nick in use", "="},
    {"whois: tracker id and name; a stranger's and a broken one change nothing",
     ":srv 311 me bob u 10.9.8.7 * :TRK42 Bob Builder|:srv 311 me ghost u h * :x|:srv 311",
     "host bob 10.9.8.7|whois bob 10.9.8.7 TRK42 (Bob Builder) (Bob Builder)", "="},
    {"whois: a name that is the tracker id, or none, shows the nick",
     ":srv 311 me bob u h * :T9 T9|:srv 311 me boss u h2 * :",
     "host bob h|whois bob h T9 (T9) (bob)|host boss h2|whois boss h2  () (boss)", "="},
    {"channel list; an open channel's count follows its users",
     ":srv 322 me #c 5 :topic|:srv 322 me #d3 9 :x|:ann!~a@h JOIN :#d3|:srv 322 me|:srv 323 me :End of LIST",
     "listed #c 5|listed #d3 9|host ann h|listed #d3 4|line - Join: ann join channel d3|join #d3 ann|list end",
     "#d3: @boss ann bob me"},
    {"welcome, PING, NOTICE, anything else", ":srv 001 me :Welcome|PING :x|NOTICE AUTH :x|:srv NOTICE me :x|ERROR :bye",
     "registered|pong|line - Raw: ERROR :bye", "="},
    {"broken lines cost nothing", ":|:srv|:!@h JOIN :#d3|:x!~x@h PRIVMSG #d3|:\x01\x02 \x7f\x03 \x01|",
     "host x h|line - Raw: ", "="},
};

QStringList Cells(const char *text)
{
    return *text ? QString::fromLatin1(text).split(QLatin1Char('|')) : QStringList();
}
} // namespace

class tst_IrcSession : public QObject
{
    Q_OBJECT

private slots:
    // What is pushed when ("+" paced, "=" direct, "!" urgent, "flush"), and when each line
    // goes out at the default pace (a burst of 5, then one line per 2 s), on a clock the test
    // moves in steps of 100 ms.
    void pace_data()
    {
        QTest::addColumn<TTimed>("steps");
        QTest::addColumn<TTimed>("writes");
        TTimed paste, paced, direct, atOnce;
        for (int i = 0; i < 8; ++i) {
            paste << qMakePair("+" + QString::number(i), 0);
            paced << qMakePair(QString::number(i), i < 5 ? 0 : (i - 4) * 2000);
            direct << qMakePair("=" + QString::number(i), 0);
            atOnce << qMakePair(QString::number(i), 0);
        }
        QTest::newRow("a burst, then one line per interval") << paste << paced;
        QTest::newRow("a late line waits behind the others")
            << paste + TTimed{{"+late", 1999}} << paced + TTimed{{"late", 8000}};
        // Answers count against the pace too: the text after them waits two intervals more.
        QTest::newRow("an answer goes before queued text")
            << paste + TTimed{{"!PONG", 10}, {"!PONG2", 20}}
            << paced.mid(0, 5) + TTimed{{"PONG", 10}, {"PONG2", 20}, {"5", 6000}, {"6", 8000}, {"7", 10000}};
        QTest::newRow("a direct line waits behind queued text")
            << paste + TTimed{{"=MODE", 10}} << paced + TTimed{{"MODE", 8000}};
        QTest::newRow("direct lines keep their timing, a paste after them waits")
            << direct + TTimed{{"+pasted", 0}} << atOnce + TTimed{{"pasted", 8000}};
        QTest::newRow("leaving writes everything at once")
            << paste + TTimed{{"flush", 1}} << paced.mid(0, 5) + TTimed{{"5", 1}, {"6", 1}, {"7", 1}};
    }

    void pace()
    {
        QFETCH(TTimed, steps);
        qint64 now = 0;
        TTimed written;
        TSendQueue queue([&](const QByteArray &line) {
            written << qMakePair(QString::fromUtf8(line), now);
            return true;
        });
        queue.SetClock([&now] { return now; });
        queue.SetLimits(5, 2000);
        for (qint64 tick = 0; tick <= 20000; tick += 100) {
            for (const auto &[step, at] : steps) {
                if (at <= tick - 100 || at > tick)
                    continue;
                now = at;
                if (step == "flush")
                    queue.FlushAll();
                else
                    queue.Push(step.mid(1).toUtf8(), step[0] == '!'   ? TSendQueue::TKind::Urgent
                                                     : step[0] == '=' ? TSendQueue::TKind::Direct
                                                                      : TSendQueue::TKind::Paced);
            }
            now = tick;
            queue.SetLimits(5, 2000); // writes what is due, as its timer would
        }
        QTEST(written, "writes");
    }

    // Without a pace every line goes at once; a failed write drops the queue and says so.
    void paceOffAndFailure()
    {
        int written = 0;
        TSendQueue queue([&](const QByteArray &) { return ++written < 52; });
        QSignalSpy failed(&queue, &TSendQueue::WriteFailed);
        queue.SetLimits(0, 2000);
        for (int i = 0; i < 50; ++i)
            queue.Push("x");
        queue.SetLimits(1, 100000);
        for (const char *line : {"a", "b", "c"})
            queue.Push(line);
        queue.SetLimits(0, 0);
        QVERIFY(written == 52 && queue.Pending() == 0 && failed.size() == 1);
    }

    // The wait doubles from 2 s up to 5 min and stays there; a success starts it afresh.
    void reconnectWaits()
    {
        TReconnectPolicy policy;
        QList<int> waits;
        for (int i = 0; i < 100; ++i)
            waits << policy.NextDelayMs();
        QCOMPARE(waits.first(10), (QList<int>{2000, 4000, 8000, 16000, 32000, 64000, 128000, 256000, 300000, 300000}));
        policy.Reset();
        QVERIFY(waits.count(300000) == 92 && policy.NextDelayMs() == 2000);
    }

    // Names are ordered by the locale's collation.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void dispatch_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(Dispatches)); ++i)
            QTest::newRow(Dispatches[i].Name) << i;
    }

    void dispatch()
    {
        QFETCH(int, row);
        const TDispatch &d = Dispatches[row];
        S session;
        Prelude(session);
        session.FindOrAddUser(QStringLiteral("bad"))->IgnoreState = 1;
        const QStringList before = Model(session);
        TTrace trace(session);
        for (const QString &line : Cells(d.Lines))
            session.HandleLine(line);
        QCOMPARE(trace.Lines, Cells(d.Trace));
        QCOMPARE(Model(session), d.Model == QLatin1String("=") ? before : Cells(d.Model));
    }

    // A line split across reads, inside a character too, is handled once and whole; an
    // over-long line is dropped and told, the next one stands.
    void feed()
    {
        S session;
        Prelude(session);
        TTrace trace(session);
        const QByteArray line = ":bob!~b@h PRIVMSG #d3 :caf\xc3\xa9\r\n";
        session.Feed(line.first(line.size() - 3));
        session.Feed(line.last(3));
        session.Feed(QByteArray(Irc::MaxLineBytes + 100, 'x') + "\rafter\r");
        QCOMPARE(trace.Lines, (QStringList{QString::fromUtf8("line #d3 Message: bob: caf\xc3\xa9"), "line - Raw: after",
                                           "status TCP error: 1 over-long line(s) from the server dropped"}));
    }

    // A merge takes what is known, trimmed (un-ignoring is -1); channels come in the
    // locale's order, and an update changes the count only.
    void model()
    {
        S session;
        TUser *bob = session.FindOrAddUser("bob");
        TUser merged(nullptr, "bob");
        merged.Host = "  10.0.0.9 ";
        merged.TrackerId = "   ";
        merged.IgnoreState = -1;
        session.MergeUser(merged);
        session.MergeUser(TUser(nullptr, "bob"));
        QVERIFY(bob->Host == "10.0.0.9" && bob->TrackerId.isEmpty() && bob->IgnoreState == -1);
        for (const char *name : {"#gamma", "#Beta", "#alpha", "#beta", "#Alpha", "#gamma"})
            session.AddOrUpdateChannel(QLatin1String(name), qint32(session.ChannelCount()), QString());
        QStringList names;
        for (int i = 1; i <= session.ChannelCount(); ++i)
            names << session.ChannelByIndex(i)->Name + QString::number(session.ChannelByIndex(i)->Users);
        QCOMPARE(names, (QStringList{"#alpha2", "#Alpha4", "#beta3", "#Beta1", "#gamma5"}));
    }

    // Lines go out only while connected, cut as a line must be; leaving sends what is
    // queued, then QUIT. While away a private message gets one reply per sender and minute,
    // and an away reply is never answered.
    void sending()
    {
        TConnected c;
        QVERIFY(c.Session.SendLine("LIST").isEmpty() && c.Session.Idle());
        QVERIFY(c.Open());
        c.Session.SetSendPace(0, 0);
        const QString y231(252 - 21, 'y'); // room for the closing byte 1
        QCOMPARE(c.Session.SendAction("#d3", QString(300, 'y')), y231);
        bool away = true;
        c.Session.SetAwaySource([&away] { return S::TAway{away, "back soon", TickCount() - 3725200u}; });
        for (const char *line : {":bob!~b@h PRIVMSG me :are you there?", ":bob!~b@h PRIVMSG me :hello?",
                                 ":ann!~a@h PRIVMSG me :(Been away 0h:00:04) I'm away..."})
            c.Server.SendLine(QLatin1String(line));
        QCOMPARE(c.Sent(), (QStringList{"PRIVMSG #d3 :\x01"
                                        "ACTION " +
                                            y231 + "\x01",
                                        "PRIVMSG bob :(Been away 1h:02:05) back soon"}));
        away = false;
        c.Server.SendLine(":carl!~c@h PRIVMSG me :hi");
        c.Session.SetSendPace(2, 60000);
        const bool paced = c.Session.SetPaced(true);
        for (int i = 1; i <= 4; ++i)
            c.Session.SendLine(QString("PRIVMSG #d3 :n%1").arg(i));
        c.Session.SetPaced(paced);
        QCOMPARE(c.Sent(), (QStringList{"PRIVMSG #d3 :n1", "PRIVMSG #d3 :n2"}));
        QSignalSpy disconnected(&c.Session, &S::Disconnected);
        c.Session.Quit();
        c.Session.Quit();
        QVERIFY(c.Session.Status() == S::TStatus::Closed && disconnected.size() == 1);
        QTRY_COMPARE(c.Server.Received(), (QStringList{"PRIVMSG #d3 :n3", "PRIVMSG #d3 :n4", "QUIT"}));
    }

    // A drop with reconnecting on: the lists empty, the conversations stay, the wait doubles
    // while the server is away, and the channels are joined again once it is back. Without
    // it, a refused connection, or after our own QUIT, the connection ends for good.
    void reconnect()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        const quint16 port = server.serverPort();
        S session;
        session.SetReconnect(true);
        Prelude(session);
        session.HandleLine(":bob!~b@h PRIVMSG me :hi");
        session.Open("127.0.0.1", port);
        QTRY_VERIFY(server.hasPendingConnections());
        QTcpSocket *client = server.nextPendingConnection();
        QTRY_COMPARE(session.Status(), S::TStatus::Connected);
        TTrace trace(session);
        server.close();
        client->close();
        QTRY_COMPARE(session.Status(), S::TStatus::Waiting);
        QCOMPARE(trace.Lines,
                 (QStringList{"status TCP disconnect error: 1", "users #d3", "users bob",
                              "line - Alert: Connection lost; reconnecting in 2 s...", "disconnected Waiting"}));
        QVERIFY(Model(session) == (QStringList{"#d3: ", "bob: "}) && session.ReconnectDelayMs() == 2000);
        auto *timer = session.findChild<QTimer *>("TimerReconnect");
        timer->start(0); // nobody listens: the attempt fails
        QTRY_VERIFY(trace.Lines.contains("line - Alert: Connection lost; reconnecting in 4 s..."));
        QVERIFY(server.listen(QHostAddress::LocalHost, port));
        timer->start(0);
        QTRY_VERIFY(server.hasPendingConnections());
        client = server.nextPendingConnection();
        client->write(":srv 001 me :Welcome\r\n");
        QTRY_VERIFY(client->canReadLine());
        QCOMPARE(client->readLine(), QByteArray("JOIN #d3\r\n"));
        session.SendLine("quit :bye"); // the user's QUIT: the drop that follows is the end
        client->close();
        QTRY_COMPARE(session.Status(), S::TStatus::Closed);
        session.SetReconnect(false);
        server.close();
        session.Open("127.0.0.1", port);
        QTRY_COMPARE(trace.Lines.filter("disconnected").size(), 4);
        QCOMPARE(trace.Lines.last(), QString("disconnected Closed"));
    }
};

QTEST_GUILESS_MAIN(tst_IrcSession)
#include "tst_IrcSession.moc"
