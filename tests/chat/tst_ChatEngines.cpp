// The chat form's helpers without windows: completion, history, mentions, the send pace,
// log names and reconnect waits.
#include "base/SafeName.h"
#include "irc/ConversationLog.h"
#include "irc/InputHistory.h"
#include "irc/MentionMatcher.h"
#include "irc/NickCompleter.h"
#include "irc/ReconnectPolicy.h"
#include "irc/SendQueue.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using TCandidates = QList<TNickCompleter::TCandidate>;
Q_DECLARE_METATYPE(TCandidates)

namespace {
// A send queue at the default pace (5 at once, then one line per 2 s) on a clock the test
// moves, writing into Written.
struct TPacedQueue
{
    explicit TPacedQueue(qint64 start) : now(start)
    {
        queue.SetClock([this] { return now; });
        queue.SetLimits(5, 2000);
    }
    QList<QByteArray> written;
    qint64 now;
    TSendQueue queue{[this](const QByteArray &line) {
        written << line;
        return true;
    }};
};
} // namespace

class tst_ChatEngines : public QObject
{
    Q_OBJECT

private slots:
    void completion_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<TCandidates>("users");
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("resultCursor");
        const TCandidates crew{{"wingman", 0}, {"Wizard", 5}, {"gunner", 2}, {"[ace]", 0}, {"a|b", 0}, {"me", 9}};
        QTest::newRow("line start adds colon") << "gu" << 2 << crew << "gunner: " << 8;
        QTest::newRow("recent speaker first") << "w" << 1 << crew << "Wizard: " << 8;
        QTest::newRow("case ignored") << "WIN" << 3 << crew << "wingman: " << 9;
        QTest::newRow("mid line adds blank") << "hi gu" << 5 << crew << "hi gunner " << 10;
        QTest::newRow("after punctuation") << "hey,gu" << 6 << crew << "hey,gunner " << 11;
        QTest::newRow("after /msg") << "/msg gu" << 7 << crew << "/msg gunner " << 12;
        QTest::newRow("nick with bracket") << "[a" << 2 << crew << "[ace]: " << 7;
        QTest::newRow("nick with bar") << "a|" << 2 << crew << "a|b: " << 5;
        QTest::newRow("cursor inside the line") << "gu rest" << 2 << crew << "gunner: rest" << 8;
        QTest::newRow("blank already follows") << "x gu rest" << 4 << crew << "x gunner rest" << 9;
        QTest::newRow("own nick skipped") << "m" << 1 << crew << "m" << 1;
        QTest::newRow("no match") << "zz" << 2 << crew << "zz" << 2;
        QTest::newRow("nothing before cursor") << "hi " << 3 << crew << "hi " << 3;
        QTest::newRow("cursor past the end clamps") << "gu" << 99 << crew << "gunner: " << 8;
    }

    void completion()
    {
        QFETCH(QString, text);
        QFETCH(int, cursor);
        QFETCH(TCandidates, users);
        TNickCompleter completer;
        completer.Complete(text, cursor, users, QStringLiteral("me"));
        QTEST(text, "result");
        QTEST(cursor, "resultCursor");
    }

    void completionCycles()
    {
        const TCandidates crew{{"wingman", 1}, {"Wizard", 3}, {"wolf", 0}, {"gunner", 2}};
        TNickCompleter completer;
        QString text = QStringLiteral("/msg w");
        int cursor = 6;
        QStringList seen;
        for (int i = 0; i < 4; ++i) {
            QVERIFY(completer.Complete(text, cursor, crew));
            seen << text;
        }
        QCOMPARE(seen, (QStringList{"/msg Wizard ", "/msg wingman ", "/msg wolf ", "/msg Wizard "}));
        // Typing in between starts a new completion from what is there now.
        text = QStringLiteral("/msg Wizard hi g");
        cursor = int(text.size());
        QVERIFY(completer.Complete(text, cursor, crew));
        QCOMPARE(text, QStringLiteral("/msg Wizard hi gunner "));
    }

    void history()
    {
        TInputHistory h;
        QString shown;
        QVERIFY(!h.Up(QStringLiteral("typing"), shown));
        QVERIFY(!h.Down(shown));
        h.Add(QStringLiteral("one"));
        h.Add(QStringLiteral("two"));
        h.Add(QStringLiteral("two")); // a repeat is kept once
        h.Add(QString());
        h.Add(QStringLiteral("three"));
        QCOMPARE(h.Count(), 3);
        QVERIFY(h.Up(QStringLiteral("half typ"), shown));
        QCOMPARE(shown, QStringLiteral("three"));
        QVERIFY(h.Up(shown, shown));
        QCOMPARE(shown, QStringLiteral("two"));
        QVERIFY(h.Up(shown, shown));
        QCOMPARE(shown, QStringLiteral("one"));
        QVERIFY(!h.Up(shown, shown)); // the oldest stays
        QVERIFY(h.Down(shown));
        QCOMPARE(shown, QStringLiteral("two"));
        QVERIFY(h.Down(shown));
        QVERIFY(h.Down(shown));
        QCOMPARE(shown, QStringLiteral("half typ")); // the line being typed comes back
        QVERIFY(!h.Walking());
        QVERIFY(!h.Down(shown));
    }

    void historyKeepsTheNewestHundred()
    {
        TInputHistory h;
        for (int i = 0; i < 150; ++i)
            h.Add(QString::number(i));
        QCOMPARE(h.Count(), TInputHistory::MaxLines);
        QString shown;
        for (int i = 0; i < 200 && h.Up(QString(), shown); ++i) {
        }
        QCOMPARE(shown, QStringLiteral("50"));
    }

    void mention_data()
    {
        QTest::addColumn<QString>("nick");
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("mentioned");
        QTest::newRow("own nick") << "pilot" << QStringList() << "hi pilot!" << true;
        QTest::newRow("own nick, other case") << "pilot" << QStringList() << "PILOT: ready?" << true;
        QTest::newRow("inside another word") << "pilot" << QStringList() << "autopilot on" << false;
        QTest::newRow("inside another nick") << "pilot" << QStringList() << "pilot_2 joins" << false;
        QTest::newRow("at the end") << "pilot" << QStringList() << "go pilot" << true;
        QTest::newRow("nick with brackets") << "[ace]" << QStringList() << "hey [ace], go" << true;
        QTest::newRow("bracket nick inside word") << "ace" << QStringList() << "x[ace]" << false;
        QTest::newRow("action") << "pilot" << QStringList()
                                << "\x01"
                                   "ACTION waves at pilot\x01"
                                << true;
        QTest::newRow("highlight word") << "pilot" << QStringList{"anarchy", " "} << "Anarchy tonight" << true;
        QTest::newRow("highlight word inside") << "pilot" << QStringList{"arch"} << "anarchy" << false;
        QTest::newRow("highlight phrase") << "pilot" << QStringList{"level 3"} << "on level 3!" << true;
        QTest::newRow("nothing") << "pilot" << QStringList{"x"} << "plain text" << false;
        QTest::newRow("no nick yet") << "" << QStringList() << "anything" << false;
    }

    void mention()
    {
        QFETCH(QString, nick);
        QFETCH(QStringList, words);
        QFETCH(QString, text);
        TMentionMatcher matcher;
        matcher.SetNick(nick);
        matcher.SetWords(words);
        QTEST(matcher.Matches(text), "mentioned");
    }

    // The pace on a clock the test moves: a burst, then one line per interval, in order.
    void sendPace()
    {
        TPacedQueue paced(1000);
        auto &[written, now, queue] = paced;
        for (int i = 0; i < 8; ++i)
            queue.Push(QByteArray::number(i));
        QCOMPARE(written.size(), 5);
        QCOMPARE(queue.Pending(), 3);
        now += 1999;
        QTest::qWait(0);
        queue.Push("late"); // waits behind the others
        QCOMPARE(written.size(), 5);
        now += 1;
        queue.SetLimits(5, 2000);
        QCOMPARE(written.size(), 6);
        now += 2000 * 3;
        queue.SetLimits(5, 2000);
        QCOMPARE(written.size(), 9);
        QCOMPARE(written, (QList<QByteArray>{"0", "1", "2", "3", "4", "5", "6", "7", "late"}));
        // An urgent line goes before queued text, urgent lines keep their order.
        queue.Clear();
        written.clear();
        for (int i = 0; i < 7; ++i)
            queue.Push(QByteArray::number(i));
        queue.Push("PONG 1", TSendQueue::TKind::Urgent);
        queue.Push("direct", TSendQueue::TKind::Direct); // lines wait: it goes behind them
        queue.Push("PONG 2", TSendQueue::TKind::Urgent);
        queue.FlushAll();
        QCOMPARE(written, (QList<QByteArray>{"0", "1", "2", "3", "4", "PONG 1", "PONG 2", "5", "6", "direct"}));
    }

    // What the program sends by itself keeps its timing; a block pasted after it still waits.
    void directLinesKeepTheirTiming()
    {
        TPacedQueue paced(0);
        auto &[written, now, queue] = paced;
        for (int i = 0; i < 8; ++i)
            queue.Push("MODE " + QByteArray::number(i), TSendQueue::TKind::Direct);
        QCOMPARE(written.size(), 8);
        queue.Push("pasted");
        QCOMPARE(written.size(), 8);
        QCOMPARE(queue.Pending(), 1);
        now += 8 * 2000;
        queue.SetLimits(5, 2000);
        QCOMPARE(written.size(), 9);
        QCOMPARE(queue.Pending(), 0);
    }

    void sendPaceOffAndFailure()
    {
        QList<QByteArray> written;
        bool ok = true;
        TSendQueue queue([&](const QByteArray &line) {
            written << line;
            return ok;
        });
        queue.SetLimits(0, 2000);
        for (int i = 0; i < 50; ++i)
            queue.Push("x");
        QCOMPARE(written.size(), 50);
        queue.SetLimits(1, 100000);
        queue.Push("a");
        queue.Push("b");
        QCOMPARE(queue.Pending(), 1);
        QSignalSpy failed(&queue, &TSendQueue::WriteFailed);
        ok = false;
        queue.SetLimits(0, 0);
        QCOMPARE(queue.Pending(), 0); // a failed write drops the queue
        QCOMPARE(failed.size(), 1);
        QCOMPARE(TSendQueue::WaitMs(10000, 0, 5, 2000), 2000);
        QCOMPARE(TSendQueue::WaitMs(8000, 0, 5, 2000), 0);
        QCOMPARE(TSendQueue::WaitMs(1 << 30, 0, 0, 2000), 0);
    }

    void logNames_data()
    {
        QTest::addColumn<QString>("conversation");
        QTest::addColumn<QString>("expectedStart");
        QTest::newRow("channel") << "#descent3"
                                 << "#descent3_2026-12-06.log";
        QTest::newRow("nick with bracket") << "[ace]"
                                           << "[ace]_2026-12-06.log";
        QTest::newRow("parent folder") << "../x"
                                       << "_._x~";
        QTest::newRow("separator") << "a/b"
                                   << "a_b~";
        QTest::newRow("backslash and drive") << "c:\\x"
                                             << "c__x~";
        QTest::newRow("device") << "con"
                                << "con_2026-12-06.log";
        QTest::newRow("device with ext") << "nul.txt"
                                         << "_nul.txt_2026-12-06.log";
        QTest::newRow("long") << QString(300, QLatin1Char('n')) << QString(60, QLatin1Char('n')) + "~";
        QTest::newRow("long wide") << QString(300, QChar(0x4E2D)) << QString(60, QChar(0x4E2D)) + "~";
        QTest::newRow("control") << "a\x01\nb\x7f"
                                 << "a__b_~";
        QTest::newRow("direction override") << QString::fromUtf8("x\u202Egol.exe") << "x_gol.exe~";
        QTest::newRow("only dots") << ".."
                                   << "_.~";
        QTest::newRow("empty") << ""
                               << "_2026-12-06.log";
    }

    void logNames()
    {
        QFETCH(QString, conversation);
        QFETCH(QString, expectedStart);
        const QString name = TConversationLog::FileName(conversation, QDate(2026, 12, 6));
        QVERIFY2(name.startsWith(expectedStart), qPrintable(name));
        QVERIFY(name.endsWith(QStringLiteral("_2026-12-06.log")));
        QVERIFY(SafeName::IsPlain(name));
        QVERIFY(name.toUtf8().size() <= SafeName::MaxBytes);
    }

    void logNamesDoNotCollide()
    {
        const QDate day(2026, 12, 6);
        QVERIFY(TConversationLog::FileName(QStringLiteral("#a/b"), day) !=
                TConversationLog::FileName(QStringLiteral("#a_b"), day));
        QVERIFY(TConversationLog::FileName(QStringLiteral("../b"), day) !=
                TConversationLog::FileName(QStringLiteral("b"), day));
    }

    void logWritesDaysAndReportsOnce()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("logs"));
        TConversationLog log(folder, QStringLiteral("../#d3"));
        const QDateTime first(QDate(2026, 12, 6), QTime(23, 59, 58));
        QVERIFY(log.Append(QStringLiteral("wingman: hi\nthere"), first));
        QVERIFY(log.Append(QString::fromUtf8("me: gr\u00fc\u00df"), first.addSecs(1)));
        QVERIFY(log.Append(QStringLiteral("next day"), first.addSecs(3)));
        const QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
        QCOMPARE(files.size(), 2);
        QFile day1(QDir(folder).filePath(files.at(0)));
        QVERIFY(day1.open(QIODevice::ReadOnly));
        QCOMPARE(
            QString::fromUtf8(day1.readAll()),
            QString::fromUtf8("[2026-12-06 23:59:58] wingman: hi there\n[2026-12-06 23:59:59] me: gr\u00fc\u00df\n"));
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty()); // nothing outside the logs folder

        // A folder that cannot be made: the failure is told once, later lines are dropped.
        QFile blocker(dir.filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TConversationLog bad(dir.filePath(QStringLiteral("file/logs")), QStringLiteral("#d3"));
        QVERIFY(!bad.Append(QStringLiteral("a"), first));
        QVERIFY(!bad.Error().isEmpty());
        QVERIFY(bad.TakeFailure());
        QVERIFY(!bad.Append(QStringLiteral("b"), first));
        QVERIFY(!bad.TakeFailure());
    }

    void reconnectWaits()
    {
        TReconnectPolicy policy;
        QList<int> waits;
        for (int i = 0; i < 12; ++i)
            waits << policy.NextDelayMs();
        QCOMPARE(waits,
                 (QList<int>{2000, 4000, 8000, 16000, 32000, 64000, 128000, 256000, 300000, 300000, 300000, 300000}));
        for (int i = 0; i < 100; ++i)
            QVERIFY(policy.NextDelayMs() == 300000);
        policy.Reset();
        QCOMPARE(policy.NextDelayMs(), 2000);
    }
};

QTEST_GUILESS_MAIN(tst_ChatEngines)
#include "tst_ChatEngines.moc"
