#include "base/Text.h"
#include "base/Tick.h"
#include "irc/ChatCommands.h"
#include "irc/IrcLine.h"

#include <QTest>

using namespace Irc;

class tst_IrcLine : public QObject
{
    Q_OBJECT

private:
    static QList<QByteArray> Frame(const QList<QByteArray> &pieces, int *dropped = nullptr)
    {
        TLineFramer framer;
        QList<QByteArray> lines;
        QByteArray line;
        int drops = 0;
        for (const QByteArray &piece : pieces) {
            framer.Feed(piece);
            while (framer.NextLine(line))
                lines << line;
            drops += framer.TakeDroppedLines();
        }
        if (dropped)
            *dropped = drops;
        return lines;
    }

private slots:
    void framing_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::newRow("CR LF between two lines") << QByteArray("a\r\nb\r") << QList<QByteArray>{"a", "b"};
        QTest::newRow("LF alone holds the line") << QByteArray("a\nb") << QList<QByteArray>{};
        QTest::newRow("LF inside a line stays") << QByteArray("a\nb\r") << QList<QByteArray>{"a\nb"};
        QTest::newRow("empty line between two CRs") << QByteArray("a\r\rb\r") << QList<QByteArray>{"a", "", "b"};
        QTest::newRow("lone CR is an empty line") << QByteArray("\r") << QList<QByteArray>{""};
        QTest::newRow("text after the last CR waits") << QByteArray("x\ry") << QList<QByteArray>{"x"};
        QTest::newRow("LFs around a line go") << QByteArray("\n\nping\n\r") << QList<QByteArray>{"ping"};
        QTest::newRow("server lines") << QByteArray(":s 001 me :hi\r\nPING :s\r\n")
                                      << QList<QByteArray>{":s 001 me :hi", "PING :s"};
    }

    // Whole, byte by byte and at every split point: the same lines every time.
    void framing()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QList<QByteArray>, lines);
        QCOMPARE(Frame({stream}), lines);
        QList<QByteArray> bytes;
        for (char c : stream)
            bytes << QByteArray(1, c);
        QCOMPARE(Frame(bytes), lines);
        for (qsizetype split = 1; split < stream.size(); ++split)
            QCOMPARE(Frame({stream.left(split), stream.mid(split)}), lines);
    }

    void framingLimit()
    {
        const QByteArray atLimit(MaxLineBytes, 'x');
        const QByteArray pastLimit(MaxLineBytes + 1, 'y');
        int dropped = -1;
        QCOMPARE(Frame({atLimit + "\r" + "next\r"}, &dropped), (QList<QByteArray>{atLimit, "next"}));
        QCOMPARE(dropped, 0);
        QCOMPARE(Frame({pastLimit + "\r" + "next\r"}, &dropped), QList<QByteArray>{"next"});
        QCOMPARE(dropped, 1);
        // Split so the buffer overflows before the CR arrives: the tail is no line of its own.
        QCOMPARE(Frame({pastLimit, "tail\rnext\r"}, &dropped), QList<QByteArray>{"next"});
        QCOMPARE(dropped, 1);
    }

    void framingNeverGrows()
    {
        TLineFramer framer;
        QByteArray line;
        const QByteArray block(16 * 1024, 'z');
        for (int i = 0; i < 64; ++i) { // 1 MiB without a CR
            framer.Feed(block);
            QVERIFY(!framer.NextLine(line));
            QVERIFY(framer.Buffered() <= MaxLineBytes + block.size());
        }
        QCOMPARE(framer.TakeDroppedLines(), 1);
        framer.Feed("\rok\r");
        QVERIFY(framer.NextLine(line));
        QCOMPARE(line, QByteArray("ok"));
    }

    void encodeLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty sends nothing") << QString() << QByteArray();
        QTest::newRow("plain") << QStringLiteral("LIST") << QByteArray("LIST\r\n");
        QTest::newRow("ends at CR") << QStringLiteral("PRIVMSG #a :x\rQUIT") << QByteArray("PRIVMSG #a :x\r\n");
        QTest::newRow("ends at LF") << QStringLiteral("a\nb") << QByteArray("a\r\n");
        QTest::newRow("ends at NUL") << QString::fromUtf8("a\0b", 3) << QByteArray("a\r\n");
        QTest::newRow("leading LF sends nothing") << QStringLiteral("\nQUIT") << QByteArray();
        QTest::newRow("253 bytes fit") << QString(253, QLatin1Char('a')) << QByteArray(253, 'a') + "\r\n";
        QTest::newRow("254 bytes are cut") << QString(254, QLatin1Char('a')) << QByteArray(253, 'a') + "\r\n";
        // 252 ASCII bytes then a two-byte character: it would end at byte 254, so it goes.
        QTest::newRow("no split inside UTF-8")
            << QString(252, QLatin1Char('a')) + QString::fromUtf8("\xc3\xa9") << QByteArray(252, 'a') + "\r\n";
        QTest::newRow("three-byte character at the edge")
            << QString(250, QLatin1Char('a')) + QString::fromUtf8("\xe2\x82\xac\xe2\x82\xac")
            << QByteArray(250, 'a') + "\xe2\x82\xac\r\n";
    }

    void encodeLine()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(EncodeLine(text), bytes);
        QVERIFY(EncodeLine(text).size() <= 255);
        const QByteArray shown = SentText(text).toUtf8();
        QCOMPARE(shown.isEmpty() ? QByteArray() : shown + "\r\n", bytes);
    }

    void decodeText()
    {
        QCOMPARE(DecodeText("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
        // Not valid UTF-8: Windows-1252 (0x80 is the euro sign, 0xE9 e-acute).
        QCOMPARE(DecodeText("\x80 caf\xe9"), QString::fromUtf8("\xe2\x82\xac caf\xc3\xa9"));
    }

    void nextWord_data()
    {
        QTest::addColumn<QString>("rest");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("after");
        QTest::newRow("word and blank taken") << "one two"
                                              << "one"
                                              << "two";
        QTest::newRow("last word") << "one"
                                   << "one"
                                   << "";
        QTest::newRow("trailing parameter stops") << ":a b"
                                                  << ""
                                                  << ":a b";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
        QTest::newRow("double blank gives empty word") << " x"
                                                       << ""
                                                       << "x";
    }

    void nextWord()
    {
        QFETCH(QString, rest);
        QFETCH(QString, word);
        QFETCH(QString, after);
        QCOMPARE(NextWord(rest), word);
        QCOMPARE(rest, after);
    }

    void parseMessage_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("parts"); // nick, host, command, param1, param2, rest
        QTest::addColumn<int>("numeric");
        QTest::newRow("privmsg") << ":bob!~b@10.0.0.1 PRIVMSG #d3 :hi there"
                                 << QStringList{"bob", "10.0.0.1", "PRIVMSG", "#d3", "", ":hi there"} << 0;
        QTest::newRow("names with =") << ":srv 353 me = #d3 :@op user"
                                      << QStringList{"srv", "", "353", "me", "#d3", ":@op user"} << 353;
        QTest::newRow("op prefix nick") << ":@op!u@h MODE #d3 +o x" << QStringList{"op", "h", "MODE", "#d3", "+o", "x"}
                                        << 0;
        QTest::newRow("bang without at") << ":n!u JOIN :#c" << QStringList{"n", "", "JOIN", "", "", ":#c"} << 0;
        QTest::newRow("numeric past 16 bits")
            << ":s 70000 x" << QStringList{"s", "", "70000", "x", "", ""} << int(quint16(70000));
        QTest::newRow("only a colon") << ":" << QStringList{"", "", "", "", "", ""} << 0;
    }

    void parseMessage()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, parts);
        QFETCH(int, numeric);
        const TMessage m = ParseMessage(line);
        QCOMPARE((QStringList{m.Nick, m.Host, m.Command, m.Param1, m.Param2, m.Rest}), parts);
        QCOMPARE(int(m.Numeric), numeric);
    }

    void classifyAndPong()
    {
        QCOMPARE(Classify(":x"), LineKind::Message);
        QCOMPARE(Classify("PING :irc"), LineKind::Ping);
        QCOMPARE(Classify("NOTICE AUTH :hi"), LineKind::Notice);
        QCOMPARE(Classify("ERROR :bye"), LineKind::Other);
        QCOMPARE(Classify(""), LineKind::Other);
        QCOMPARE(PongFor("PING :irc.example 123"), QStringLiteral("PONG :irc.example 123"));
        QCOMPARE(PongFor("P"), QStringLiteral("P"));
    }

    void opChanges_data()
    {
        QTest::addColumn<QString>("letters");
        QTest::addColumn<QString>("args");
        QTest::addColumn<QStringList>("changes"); // "+nick" / "-nick"
        QTest::newRow("o, b, minus, o") << "+ob-o"
                                        << "a b!*@* c" << QStringList{"+a", "-c"};
        QTest::newRow("mask reduced to nick") << "+o"
                                              << "@x!u@h" << QStringList{"+x"};
        QTest::newRow("voice takes its argument") << "+vo"
                                                  << "a b" << QStringList{"+b"};
        QTest::newRow("limit takes one only when set") << "-lo"
                                                       << "a" << QStringList{"-a"};
        QTest::newRow("limit when set") << "+lo"
                                        << "5 a" << QStringList{"+a"};
        QTest::newRow("trailing argument") << "+o"
                                           << ":nick" << QStringList{"+nick"};
        QTest::newRow("no arguments") << "+o"
                                      << "" << QStringList{"+"};
        QTest::newRow("letters without args") << "+nt"
                                              << "" << QStringList{};
    }

    void opChanges()
    {
        QFETCH(QString, letters);
        QFETCH(QString, args);
        QFETCH(QStringList, changes);
        QStringList got;
        for (const TOpChange &c : ParseOpChanges(letters, args))
            got << (c.Adding ? "+" : "-") + c.Nick;
        QCOMPARE(got, changes);
    }

    void action()
    {
        QVERIFY(IsAction("\x01"
                         "ACTION waves\x01"));
        QVERIFY(!IsAction("ACTION waves"));
        QVERIFY(!IsAction("\x01VERSION\x01"));
        QCOMPARE(ActionText("\x01"
                            "ACTION waves\x01"),
                 QStringLiteral(" waves"));
    }

    void whois()
    {
        const TWhois w = ParseWhois("user 10.1.2.3 * :ABC123 Jane Doe");
        QCOMPARE(w.Host, QStringLiteral("10.1.2.3"));
        QCOMPARE(w.TrackerId, QStringLiteral("ABC123"));
        QCOMPARE(w.WhoisName, QStringLiteral("Jane Doe"));
        const TWhois single = ParseWhois("user host * :Jane");
        QCOMPARE(single.TrackerId, QStringLiteral("Jane"));
        QCOMPARE(single.WhoisName, QStringLiteral("Jane"));
        QVERIFY(single.RealName.isEmpty());
        const TWhois broken = ParseWhois("");
        QVERIFY(broken.Host.isEmpty() && broken.TrackerId.isEmpty());
    }

    void openableUrl_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("url");
        QTest::newRow("http") << "http://example.com/a?b=c"
                              << "http://example.com/a?b=c";
        QTest::newRow("https trimmed") << "  https://example.com "
                                       << "https://example.com";
        QTest::newRow("ftp") << "ftp://files.example.com/x.zip"
                             << "ftp://files.example.com/x.zip";
        QTest::newRow("mailto") << "mailto:me@example.com"
                                << "mailto:me@example.com";
        QTest::newRow("www as http") << "www.example.com"
                                     << "http://www.example.com";
        QTest::newRow("share path") << "\\\\server\\share\\run.exe"
                                    << "";
        QTest::newRow("file path") << "/etc/passwd"
                                   << "";
        QTest::newRow("file url") << "file:///etc/passwd"
                                  << "";
        QTest::newRow("script") << "javascript:alert(1)"
                                << "";
        QTest::newRow("two words") << "http://a.example b"
                                   << "";
        QTest::newRow("no host") << "http://"
                                 << "";
        QTest::newRow("empty") << ""
                               << "";
    }

    void openableUrl()
    {
        QFETCH(QString, selected);
        QFETCH(QString, url);
        QCOMPARE(OpenableUrl(selected), url);
    }

    void alias_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expanded");
        QTest::newRow("pm") << "pm bob hi there"
                            << "MSG bob hi there";
        QTest::newRow("i, any case") << "I waves"
                                     << "ME waves";
        QTest::newRow("afk") << "afk gone fishing"
                             << "AWAY gone fishing";
        QTest::newRow("stfu") << "stfu bob"
                              << "IGNORE bob";
        QTest::newRow("alias alone is not expanded") << "pm"
                                                     << "pm";
        QTest::newRow("no alias") << "join #a"
                                  << "join #a";
        QTest::newRow("prefix of a longer word") << "pmx y"
                                                 << "pmx y";
    }

    void alias()
    {
        QFETCH(QString, command);
        QFETCH(QString, expanded);
        const QStringList defaults{"/stfu=/ignore", "/pm=/msg", "/i=/me", "/afk=/away", "broken line"};
        QCOMPARE(ChatCommands::ExpandAlias(command, defaults), expanded);
    }

    void commands()
    {
        using ChatCommands::TKind;
        QCOMPARE(ChatCommands::Parse("msg bob hi").Kind, TKind::Msg);
        QCOMPARE(ChatCommands::Parse("ME waves").Argument, QStringLiteral("waves"));
        QCOMPARE(ChatCommands::Parse("me").Kind, TKind::Raw);
        QCOMPARE(ChatCommands::Parse("ignore  bob ").Argument, QStringLiteral("bob"));
        QCOMPARE(ChatCommands::Parse("away").Kind, TKind::Away);
        QCOMPARE(ChatCommands::Parse("away 3").Argument, QStringLiteral("3"));
        QCOMPARE(ChatCommands::Parse("awayx").Kind, TKind::Raw);
        QCOMPARE(ChatCommands::Parse("backlog").Kind, TKind::Back);
        QCOMPARE(ChatCommands::Parse("join #a").Kind, TKind::Raw);
    }

    void awayTime()
    {
        QCOMPARE(ChatCommands::AwayTimeText(3725), QStringLiteral("1h:02:05"));
        QCOMPARE(ChatCommands::AwayTimeText(309), QStringLiteral("0h:05:09"));
        QCOMPARE(ChatCommands::AwayTimeText(43200), QStringLiteral("12h:00:00"));
        QCOMPARE(ChatCommands::AwayTimeText(0), QStringLiteral("0h:00:00"));
    }

    void awayGuard()
    {
        ChatCommands::TAwayReplyGuard guard;
        QVERIFY(guard.Allow("bob", "hi", 1000));
        QVERIFY(!guard.Allow("bob", "hi again", 1000 + 59999));
        QVERIFY(guard.Allow("ann", "hi", 1000));
        QVERIFY(guard.Allow("bob", "later", 1000 + 60000));
        QVERIFY(!guard.Allow("cid", "(Been away 0h:00:01) I'm away...", 5000));
        // The tick count wraps: a reply just before the wrap still counts.
        QVERIFY(guard.Allow("eve", "x", 0xFFFFFF00u));
        QVERIFY(!guard.Allow("eve", "x", 0x100u));
    }
};

QTEST_GUILESS_MAIN(tst_IrcLine)
#include "tst_IrcLine.moc"
