// The IRC line codec and the text helpers of the input line: framing, encoding, parsing,
// the mode walk, and what a typed slash command becomes.
#include "irc/ChatCommands.h"
#include "irc/IrcLine.h"

#include <QTest>

using namespace Irc;
using TLines = QList<QByteArray>;

namespace {
TLines Frame(const TLines &pieces, int *dropped = nullptr)
{
    TLineFramer framer;
    TLines lines;
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

struct TPair
{
    const char *Name, *In, *Out;
};
struct TRow
{
    const char *Name, *A, *B, *C;
};
} // namespace

class tst_IrcLine : public QObject
{
    Q_OBJECT

private slots:
    void framing_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<TLines>("lines");
        QTest::addColumn<int>("dropped");
        QTest::newRow("CR LF between two lines") << QByteArray("a\r\nb\r") << TLines{"a", "b"} << 0;
        QTest::newRow("LF alone holds the line") << QByteArray("a\nb") << TLines{} << 0;
        QTest::newRow("LF inside a line stays") << QByteArray("a\nb\r") << TLines{"a\nb"} << 0;
        QTest::newRow("empty line between two CRs") << QByteArray("a\r\rb\r") << TLines{"a", "", "b"} << 0;
        QTest::newRow("text after the last CR waits") << QByteArray("x\ry") << TLines{"x"} << 0;
        QTest::newRow("LFs around a line go") << QByteArray("\n\nping\n\r") << TLines{"ping"} << 0;
        const QByteArray atLimit(MaxLineBytes, 'x');
        QTest::newRow("a line at the limit") << atLimit + "\rnext\r" << TLines{atLimit, "next"} << 0;
        QTest::newRow("one byte past it") << QByteArray(MaxLineBytes + 1, 'y') + "\rnext\r" << TLines{"next"} << 1;
    }

    // Whole, byte by byte and at every split point: the same lines every time.
    void framing()
    {
        QFETCH(QByteArray, stream);
        QFETCH(TLines, lines);
        QFETCH(int, dropped);
        int drops = -1;
        QCOMPARE(Frame({stream}, &drops), lines);
        QCOMPARE(drops, dropped);
        if (stream.size() > MaxLineBytes) {
            // Split where the buffer overflows before the CR arrives: the tail is no line.
            QCOMPARE(Frame({stream.left(MaxLineBytes + 1), stream.mid(MaxLineBytes + 1)}, &drops), lines);
            QCOMPARE(drops, dropped);
            return;
        }
        TLines bytes;
        for (char c : stream)
            bytes << QByteArray(1, c);
        QCOMPARE(Frame(bytes), lines);
        for (qsizetype split = 1; split < stream.size(); ++split)
            QCOMPARE(Frame({stream.left(split), stream.mid(split)}), lines);
    }

    void framingNeverGrows()
    {
        TLineFramer framer;
        QByteArray line;
        for (int i = 0; i < 64; ++i) { // 1 MiB without a CR
            framer.Feed(QByteArray(16 * 1024, 'z'));
            QVERIFY(!framer.NextLine(line));
            QVERIFY(framer.Buffered() <= MaxLineBytes + 16 * 1024);
        }
        QCOMPARE(framer.TakeDroppedLines(), 1);
        framer.Feed("\rok\r");
        QVERIFY(framer.NextLine(line) && line == "ok");
    }

    void encodeLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty sends nothing") << QString() << QByteArray();
        QTest::newRow("ends at CR") << "PRIVMSG #a :x\rQUIT" << QByteArray("PRIVMSG #a :x\r\n");
        QTest::newRow("ends at LF") << "a\nb" << QByteArray("a\r\n");
        QTest::newRow("ends at NUL") << QString::fromUtf8("a\0b", 3) << QByteArray("a\r\n");
        QTest::newRow("leading LF sends nothing") << "\nQUIT" << QByteArray();
        QTest::newRow("253 bytes fit") << QString(253, 'a') << QByteArray(253, 'a') + "\r\n";
        QTest::newRow("254 bytes are cut") << QString(254, 'a') << QByteArray(253, 'a') + "\r\n";
        // 252 ASCII bytes then a two-byte character: it would end at byte 254, so it goes.
        QTest::newRow("no split inside UTF-8") << QString(252, 'a') + "\u00e9" << QByteArray(252, 'a') + "\r\n";
        QTest::newRow("three-byte character at the edge")
            << QString(250, 'a') + "\u20ac\u20ac" << QByteArray(250, 'a') + "\xe2\x82\xac\r\n";
    }

    // What goes out, and what the user is shown as sent, are the same.
    void encodeLine()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(EncodeLine(text), bytes);
        const QByteArray shown = SentText(text).toUtf8();
        QCOMPARE(shown.isEmpty() ? QByteArray() : shown + "\r\n", bytes);
    }

    // Nick, host, command, the two parameters and the rest; then the numeric.
    void parseMessage_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("parts");
        const TPair rows[] = {
            {"privmsg", ":bob!~b@10.0.0.1 PRIVMSG #d3 :hi there", "bob|10.0.0.1|PRIVMSG|#d3||:hi there|0"},
            {"names with =", ":srv 353 me = #d3 :@op user", "srv||353|me|#d3|:@op user|353"},
            {"op prefix nick", ":@op!u@h MODE #d3 +o x", "op|h|MODE|#d3|+o|x|0"},
            {"bang without at", ":n!u JOIN :#c", "n||JOIN|||:#c|0"},
            {"double blank: an empty word", ":s X  a", "s||X||a||0"},
            {"numeric past 16 bits", ":s 70000 x", "s||70000|x|||4464"},
            {"only a colon", ":", "||||||0"},
        };
        for (const TPair &row : rows)
            QTest::newRow(row.Name) << QString(row.In) << QString(row.Out);
    }

    void parseMessage()
    {
        QFETCH(QString, line);
        const TMessage m = ParseMessage(line);
        QTEST(
            QStringList({m.Nick, m.Host, m.Command, m.Param1, m.Param2, m.Rest, QString::number(m.Numeric)}).join('|'),
            "parts");
    }

    void opChanges_data()
    {
        QTest::addColumn<QString>("letters");
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("changes");
        const TRow rows[] = {
            {"o, b, minus, o", "+ob-o", "a b!*@* c", "+a -c"},
            {"mask reduced to nick", "+o", "@x!u@h", "+x"},
            {"voice takes its argument", "+vo", "a b", "+b"},
            {"limit takes one only when set", "-lo", "a", "-a"},
            {"limit when set", "+lo", "5 a", "+a"},
            {"trailing argument", "+o", ":nick", "+nick"},
            {"no arguments", "+o", "", "+"},
        };
        for (const TRow &row : rows)
            QTest::newRow(row.Name) << QString(row.A) << QString(row.B) << QString(row.C);
    }

    void opChanges()
    {
        QFETCH(QString, letters);
        QFETCH(QString, args);
        QStringList got;
        for (const TOpChange &c : ParseOpChanges(letters, args))
            got << (c.Adding ? "+" : "-") + c.Nick;
        QTEST(got.join(' '), "changes");
    }

    // Only web and mail addresses go to the system; paths, file: and scripts never.
    void openableUrl()
    {
        const TPair rows[] = {
            {"https trimmed", "  https://example.com/a?b=c ", "https://example.com/a?b=c"},
            {"ftp", "ftp://files.example.com/x.zip", "ftp://files.example.com/x.zip"},
            {"mailto", "mailto:me@example.com", "mailto:me@example.com"},
            {"www as http", "www.example.com", "http://www.example.com"},
            {"share path", "\\\\server\\share\\run.exe", ""},
            {"file path", "/etc/passwd", ""},
            {"file url", "file:///etc/passwd", ""},
            {"script", "javascript:alert(1)", ""},
            {"two words", "http://a.example b", ""},
            {"no host", "http://", ""},
        };
        for (const TPair &row : rows)
            QCOMPARE(OpenableUrl(row.In), QString(row.Out));
    }

    // A typed "/" text: aliases expanded, then the client's own command words.
    void command()
    {
        const QStringList aliases{"/stfu=/ignore", "/pm=/msg", "/i=/me", "/afk=/away", "broken line"};
        const TPair rows[] = {
            {"pm alias, words kept", "pm bob hi there", "Msg bob hi there"},
            {"i alias, any case", "I waves", "Me waves"},
            {"afk alias", "afk gone fishing", "Away gone fishing"},
            {"stfu alias, trimmed", "stfu  bob ", "Ignore bob"},
            {"alias alone is not expanded", "pm", "Raw pm"},
            {"alias inside a longer word", "pmx y", "Raw pmx y"},
            {"me without text", "me", "Raw me"},
            {"away alone", "away", "Away "},
            {"away number", "AWAY 3", "Away 3"},
            {"awayx is no away", "awayx", "Raw awayx"},
            {"back and longer words", "backlog", "Back "},
            {"unknown", "join #a", "Raw join #a"},
        };
        static const char *const kinds[] = {"Msg", "Me", "Ignore", "Away", "Back", "Raw"};
        for (const TPair &row : rows) {
            const ChatCommands::TCommand c = ChatCommands::Parse(ChatCommands::ExpandAlias(row.In, aliases));
            QCOMPARE(QLatin1String(kinds[int(c.Kind)]) + ' ' + c.Argument, QString(row.Out));
        }
    }

    void awayReplyGuard()
    {
        QCOMPARE(ChatCommands::AwayTimeText(43200), QString("12h:00:00"));
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
