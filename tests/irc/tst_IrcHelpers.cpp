// The helpers around a session: the send pace and the reconnect waits, nick completion, the
// input history, mentions, and conversation logs.
#include "base/SafeName.h"
#include "irc/ConversationLog.h"
#include "irc/InputHistory.h"
#include "irc/MentionMatcher.h"
#include "irc/NickCompleter.h"
#include "irc/ReconnectPolicy.h"
#include "irc/SendQueue.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using TTimed = QList<QPair<QString, qint64>>; // a line and a time

class tst_IrcHelpers : public QObject
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
            written << qMakePair(QString::fromUtf8(line), (now + 99) / 100 * 100);
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
        QFETCH(TTimed, writes);
        for (auto &write : writes)
            write.second = (write.second + 99) / 100 * 100;
        QCOMPARE(written, writes);
    }

    void paceOffAndFailure()
    {
        int written = 0;
        bool ok = true;
        TSendQueue queue([&](const QByteArray &) { return ++written, ok; });
        queue.SetLimits(0, 2000);
        for (int i = 0; i < 50; ++i)
            queue.Push("x");
        QCOMPARE(written, 50);
        queue.SetLimits(1, 100000);
        queue.Push("a");
        queue.Push("b");
        QCOMPARE(queue.Pending(), 1);
        QSignalSpy failed(&queue, &TSendQueue::WriteFailed);
        ok = false;
        queue.SetLimits(0, 0);
        QVERIFY(queue.Pending() == 0 && failed.size() == 1); // a failed write drops the queue
    }

    void reconnectWaits()
    {
        TReconnectPolicy policy;
        QList<int> waits;
        for (int i = 0; i < 10; ++i)
            waits << policy.NextDelayMs();
        QCOMPARE(waits, (QList<int>{2000, 4000, 8000, 16000, 32000, 64000, 128000, 256000, 300000, 300000}));
        for (int i = 0; i < 100; ++i)
            QCOMPARE(policy.NextDelayMs(), 300000);
        policy.Reset();
        QCOMPARE(policy.NextDelayMs(), 2000);
    }

    // Text, cursor ("|" in it) before and after Tab.
    void completion_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        const char *const rows[][3] = {
            {"line start adds colon", "gu|", "gunner: |"},
            {"recent speaker first", "w|", "Wizard: |"},
            {"case ignored", "WIN|", "wingman: |"},
            {"mid line adds blank", "hi gu|", "hi gunner |"},
            {"after punctuation", "hey,gu|", "hey,gunner |"},
            {"after /msg", "/msg gu|", "/msg gunner |"},
            {"nick with bracket", "[a|", "[ace]: |"},
            {"nick with bar", "a||", "a|b: |"},
            {"cursor inside the line", "gu| rest", "gunner: |rest"},
            {"blank follows", "x gu| rest", "x gunner |rest"},
            {"own nick skipped", "m|", "m|"},
            {"no match", "zz|", "zz|"},
            {"nothing before cursor", "hi |", "hi |"},
        };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]);
    }

    void completion()
    {
        QFETCH(QString, before);
        int cursor = int(before.lastIndexOf('|'));
        QString text = before.remove(cursor, 1);
        TNickCompleter completer;
        completer.Complete(text, cursor,
                           {{"wingman", 0}, {"Wizard", 5}, {"gunner", 2}, {"[ace]", 0}, {"a|b", 0}, {"me", 9}}, "me");
        QTEST(text.insert(cursor, '|'), "after");
    }

    // Tab again cycles the matches; typing in between starts afresh; a cursor past the end
    // is taken as the end.
    void completionCycles()
    {
        const QList<TNickCompleter::TCandidate> crew{{"wingman", 1}, {"Wizard", 3}, {"wolf", 0}, {"gunner", 2}};
        TNickCompleter completer;
        QString text = "/msg w";
        int cursor = 6;
        QStringList seen;
        for (int i = 0; i < 4 && completer.Complete(text, cursor, crew); ++i)
            seen << text;
        QCOMPARE(seen, (QStringList{"/msg Wizard ", "/msg wingman ", "/msg wolf ", "/msg Wizard "}));
        text = "/msg Wizard hi g";
        cursor = 99;
        QVERIFY(completer.Complete(text, cursor, crew) && text == "/msg Wizard hi gunner " && cursor == text.size());
    }

    void history()
    {
        TInputHistory h;
        QString shown;
        QVERIFY(!h.Up("typing", shown));
        for (const char *line : {"one", "two", "two", "", "three"})
            h.Add(line);
        QCOMPARE(h.Count(), 3); // a repeat and an empty line are not kept
        QStringList walked;
        for (QString now = "half typ"; h.Up(now, shown); now = shown)
            walked << shown;
        while (h.Down(shown))
            walked << shown;
        QCOMPARE(walked, (QStringList{"three", "two", "one", "two", "three", "half typ"}));
        QVERIFY(!h.Walking());
        for (int i = 0; i < 150; ++i)
            h.Add(QString::number(i));
        QCOMPARE(h.Count(), TInputHistory::MaxLines);
        while (h.Up(QString(), shown)) {
        }
        QCOMPARE(shown, QString("50"));
    }

    // Nick, highlight words ("," between them), the text, and whether it mentions us.
    void mention_data()
    {
        QTest::addColumn<QString>("nick");
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("mentioned");
        const struct
        {
            const char *Name, *Nick, *Words, *Text;
            bool Mentioned;
        } rows[] = {
            {"own nick, other case", "pilot", "", "PILOT: ready?", true},
            {"inside another word", "pilot", "", "autopilot on", false},
            {"inside another nick", "pilot", "", "pilot_2 joins", false},
            {"at the end", "pilot", "", "go pilot", true},
            {"nick with brackets", "[ace]", "", "hey [ace], go", true},
            {"bracket nick inside word", "ace", "", "x[ace]", false},
            {"action", "pilot", "",
             "\x01"
             "ACTION waves at pilot\x01",
             true},
            {"highlight word", "pilot", "anarchy, ", "Anarchy tonight", true},
            {"highlight word inside", "pilot", "arch", "anarchy", false},
            {"highlight phrase", "pilot", "level 3", "on level 3!", true},
            {"no nick yet", "", "", "anything", false},
        };
        for (const auto &row : rows)
            QTest::newRow(row.Name) << QString(row.Nick) << QString(row.Words) << QString(row.Text) << row.Mentioned;
    }

    void mention()
    {
        QFETCH(QString, nick);
        QFETCH(QString, words);
        QFETCH(QString, text);
        TMentionMatcher matcher;
        matcher.SetNick(nick);
        matcher.SetWords(words.split(','));
        QTEST(matcher.Matches(text), "mentioned");
    }

    // A name from the network is always one plain file name; a changed one is tagged so two
    // conversations never share a log.
    void logNames()
    {
        const QDate day(2026, 12, 6);
        const char *const rows[][2] = {
            {"#descent3", "#descent3_2026-12-06.log"},
            {"../x", "_._x~"},
            {"c:\\x", "c__x~"},
            {"nul.txt", "_nul.txt_2026-12-06.log"},
            {"a\x01\nb\x7f", "a__b_~"},
            {"x\u202Egol.exe", "x_gol.exe~"},
            {"..", "_.~"},
            {"", "_2026-12-06.log"},
            {"con", "con_2026-12-06.log"},
        };
        QStringList names;
        for (const auto &row : rows)
            names << TConversationLog::FileName(row[0], day);
        names << TConversationLog::FileName(QString(300, QChar(0x4E2D)), day);
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QString &name = names.at(i);
            QVERIFY2(i == names.size() - 1 ? name.startsWith(QString(60, QChar(0x4E2D)) + "~")
                                           : name.startsWith(rows[i][1]),
                     qPrintable(name));
            QVERIFY(name.endsWith("_2026-12-06.log") && SafeName::IsPlain(name) &&
                    name.toUtf8().size() <= SafeName::MaxBytes);
        }
        QVERIFY(TConversationLog::FileName("#a/b", day) != TConversationLog::FileName("#a_b", day));
    }

    // One file a day in the logs folder, one line an entry; a failure is told once.
    void logWrites()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("logs");
        TConversationLog log(folder, "../#d3");
        const QDateTime first(QDate(2026, 12, 6), QTime(23, 59, 58));
        QVERIFY(log.Append("wingman: hi\nthere", first));
        QVERIFY(log.Append("me: gr\u00fc\u00df", first.addSecs(1)));
        QVERIFY(log.Append("next day", first.addSecs(3)));
        const QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
        QCOMPARE(files.size(), 2);
        QFile day1(QDir(folder).filePath(files.at(0)));
        QVERIFY(day1.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(day1.readAll()),
                 QString("[2026-12-06 23:59:58] wingman: hi there\n[2026-12-06 23:59:59] me: gr\u00fc\u00df\n"));
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty()); // nothing outside the logs folder
        QFile blocker(dir.filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TConversationLog bad(dir.filePath("file/logs"), "#d3");
        QVERIFY(!bad.Append("a", first) && !bad.Error().isEmpty() && bad.TakeFailure());
        QVERIFY(!bad.Append("b", first) && !bad.TakeFailure());
    }
};

QTEST_GUILESS_MAIN(tst_IrcHelpers)
#include "tst_IrcHelpers.moc"
