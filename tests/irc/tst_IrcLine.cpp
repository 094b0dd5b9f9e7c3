// The IRC line codec and the helpers of the input line and the views: framing, encoding,
// the addresses handed to the system, what a typed slash command becomes, nick completion,
// mentions, and conversation logs.
#include "base/SafeName.h"
#include "irc/ChatCommands.h"
#include "irc/ConversationLog.h"
#include "irc/IrcLine.h"
#include "irc/MentionMatcher.h"
#include "irc/NickCompleter.h"

#include <QDir>
#include <QTemporaryDir>
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

    // 1 MiB without a CR is never held; the line after it stands.
    void framingNeverGrows()
    {
        TLineFramer framer;
        QByteArray line;
        for (int i = 0; i < 64; ++i) {
            framer.Feed(QByteArray(16 * 1024, 'z'));
            QVERIFY(!framer.NextLine(line) && framer.Buffered() <= MaxLineBytes + 16 * 1024);
        }
        framer.Feed("\rok\r");
        QVERIFY(framer.TakeDroppedLines() == 1 && framer.NextLine(line) && line == "ok");
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

    // Only web and mail addresses go to the system; paths, file: and scripts never.
    void openableUrl()
    {
        const TPair rows[] = {
            {"https trimmed", "  https://example.com/a?b=c ", "https://example.com/a?b=c"},
            {"mailto", "mailto:me@example.com", "mailto:me@example.com"},
            {"www as http", "www.example.com", "http://www.example.com"},
            {"share path", "\\\\server\\share\\run.exe", ""},
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
            {"alias alone is not expanded", "pm", "Raw pm"},
            {"alias inside a longer word", "pmx y", "Raw pmx y"},
            {"me without text", "me", "Raw me"},
            {"away alone", "away", "Away "},
            {"awayx is no away", "awayx", "Raw awayx"},
        };
        static const char *const kinds[] = {"Msg", "Me", "Ignore", "Away", "Back", "Raw"};
        for (const TPair &row : rows) {
            const ChatCommands::TCommand c = ChatCommands::Parse(ChatCommands::ExpandAlias(row.In, aliases));
            QCOMPARE(QLatin1String(kinds[int(c.Kind)]) + ' ' + c.Argument, QString(row.Out));
        }
    }

    // One away reply per sender and minute, across the wrap of the tick count; an away reply
    // is never answered.
    void awayReplyGuard()
    {
        ChatCommands::TAwayReplyGuard guard;
        QVERIFY(guard.Allow("bob", "hi", 1000) && !guard.Allow("bob", "hi again", 1000 + 59999));
        QVERIFY(guard.Allow("ann", "hi", 1000) && guard.Allow("bob", "later", 1000 + 60000));
        QVERIFY(!guard.Allow("cid", "(Been away 0h:00:01) I'm away...", 5000));
        QVERIFY(guard.Allow("eve", "x", 0xFFFFFF00u) && !guard.Allow("eve", "x", 0x100u));
    }

    // Text with the cursor ("|") before and after Tab; a cursor past the end is taken as the
    // end.
    void completion()
    {
        const QList<TNickCompleter::TCandidate> crew{
            {"wingman", 0}, {"Wizard", 5}, {"gunner", 2}, {"[ace]", 0}, {"me", 9}};
        const TPair rows[] = {
            {"line start adds colon", "gu|", "gunner: |"},
            {"recent speaker first", "w|", "Wizard: |"},
            {"case ignored", "WIN|", "wingman: |"},
            {"mid line adds blank", "hi,gu|", "hi,gunner |"},
            {"nick with bracket", "[a|", "[ace]: |"},
            {"blank follows", "x gu| rest", "x gunner |rest"},
            {"own nick skipped", "m|", "m|"},
            {"nothing before cursor", "hi |", "hi |"},
        };
        for (const TPair &row : rows) {
            QString text = row.In;
            int cursor = int(text.indexOf('|'));
            TNickCompleter().Complete(text.remove(cursor, 1), cursor, crew, "me");
            QVERIFY2(text.insert(cursor, '|') == row.Out, row.Name);
        }
        QString text = "w";
        int cursor = 99; // past the end: taken as the end
        QVERIFY(TNickCompleter().Complete(text, cursor, crew, "me") && text == "Wizard: " && cursor == 8);
    }

    // Nick, highlight words, the text: whether it mentions us ("+" first) or not.
    void mention()
    {
        const struct
        {
            const char *Nick, *Words, *Text;
        } rows[] = {
            {"pilot", "", "+PILOT: ready?"}, {"[ace]", "", "+hey [ace], go"},
            {"ace", "", "-x[ace]"},          {"pilot", "anarchy, ", "+Anarchy tonight"},
            {"pilot", "arch", "-anarchy"},   {"pilot", "level 3", "+on level 3!"},
            {"", "", "-anything"},
        };
        for (const auto &row : rows) {
            TMentionMatcher matcher;
            matcher.SetNick(row.Nick);
            matcher.SetWords(QString(row.Words).split(','));
            QVERIFY2(matcher.Matches(QString(row.Text).mid(1)) == (row.Text[0] == '+'), row.Text);
        }
    }

    // A name from the network is always one plain file name, cut when long; a changed one is
    // tagged so two conversations never share a log.
    void logNames()
    {
        const QDate day(2026, 12, 6);
        const QString cjk(300, QChar(0x4E2D));
        const QPair<QString, QString> rows[] = {
            {"#descent3", "#descent3_2026-12-06.log"},
            {"../x", "_._x~"},
            {"nul.txt", "_nul.txt_2026-12-06.log"},
            {"a\x01\nb\x7f", "a__b_~"},
            {"x\u202Egol.exe", "x_gol.exe~"},
            {"..", "_.~"},
            {"", "_2026-12-06.log"},
            {cjk, cjk.left(60) + "~"},
        };
        for (const auto &[conversation, start] : rows) {
            const QString name = TConversationLog::FileName(conversation, day);
            QVERIFY2(name.startsWith(start) && name.endsWith("_2026-12-06.log") && SafeName::IsPlain(name) &&
                         name.toUtf8().size() <= SafeName::MaxBytes,
                     qPrintable(name));
        }
        QVERIFY(TConversationLog::FileName("#a/b", day) != TConversationLog::FileName("#a_b", day));
    }

    // One file a day, one line an entry; a failure is told once.
    void logWrites()
    {
        QTemporaryDir dir;
        TConversationLog log(dir.path(), "#d3");
        const QDateTime first(QDate(2026, 12, 6), QTime(23, 59, 58));
        QVERIFY(log.Append("wingman: hi\nthere", first) && log.Append("me: gr\u00fc\u00df", first.addSecs(1)));
        QVERIFY(log.Append("next day", first.addSecs(3)));
        QFile day1(dir.filePath("#d3_2026-12-06.log"));
        QVERIFY(day1.open(QIODevice::ReadOnly) && QDir(dir.path()).entryList(QDir::Files).size() == 2);
        QCOMPARE(QString::fromUtf8(day1.readAll()),
                 QString("[2026-12-06 23:59:58] wingman: hi there\n[2026-12-06 23:59:59] me: gr\u00fc\u00df\n"));
        TConversationLog bad(dir.filePath("#d3_2026-12-06.log/logs"), "#d3");
        QVERIFY(!bad.Append("a", first) && !bad.Error().isEmpty() && bad.TakeFailure());
        QVERIFY(!bad.Append("b", first) && !bad.TakeFailure());
    }
};

QTEST_GUILESS_MAIN(tst_IrcLine)
#include "tst_IrcLine.moc"
