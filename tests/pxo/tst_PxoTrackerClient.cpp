// The tracker client: replies made by the simulator's encoders (or written here byte by byte)
// go in, signals and datagrams come out; what it sends is read back from a paused queue with
// the simulator's decoders, which list every byte that differs from the layouts.
#include "TrackerSent.h"

#include "net/HostResolver.h"
#include "pxo/PxoTrackerClient.h"
#include "sim/HexBytes.h"

#include <QTimer>
#include <QtTest>

using namespace TrackerDatagrams;

namespace {
const QString UserTracker = QStringLiteral("127.0.0.2");
const QString GameTracker = QStringLiteral("127.0.0.3");

QByteArray ListReply(quint32 ack, int entries)
{
    QList<TListEntry> list;
    for (int i = 0; i < entries; ++i)
        list.append({0x0A000001u + quint32(i), quint16(28000 + i), "name"});
    return EncodeListReply(ack, list);
}
} // namespace

class tst_PxoTrackerClient : public QObject
{
    Q_OBJECT

    std::unique_ptr<TUDPQueue> m_queue;
    std::unique_ptr<TPxoTrackerClient> m_client;
    QStringList m_events;
    qsizetype m_seen = 0;

    // What happened since the last call: signals and what was sent, in order.
    QStringList Happened() { return std::exchange(m_events, {}); }
    bool Feed(const QByteArray &datagram, const QString &sender = {})
    {
        const bool game = datagram.startsWith('\x03');
        const QString from = sender.isEmpty() ? (game ? GameTracker + ":3445" : UserTracker + ":2092") : sender;
        return m_client->Feed(datagram, from.section(u':', 0, 0), quint16(from.section(u':', 1).toUInt()));
    }

private slots:
    void init()
    {
        m_queue = std::make_unique<TUDPQueue>(nullptr, nullptr);
        m_queue->Pause();
        m_client = std::make_unique<TPxoTrackerClient>(m_queue.get());
        m_client->UserTrackerHost = UserTracker;
        m_client->UserTrackerPort = 2092;
        m_client->GameTrackerHost = GameTracker;
        m_client->GameTrackerPort = 3445;
        m_client->GameListAckPort = 3446;
        m_events.clear();
        m_seen = 0;
        connect(m_queue.get(), &TUDPQueue::OnChange, this, [this] {
            for (; m_seen < m_queue->Waiting().size(); ++m_seen)
                m_events << SentText(m_queue->Waiting().at(m_seen));
        });
        TPxoTrackerClient *c = m_client.get();
        connect(c, &TPxoTrackerClient::LoginAttempted, this, [this](int n) { m_events << QString::number(n); });
        connect(c, &TPxoTrackerClient::LoggedIn, this, [this](const QString &id) { m_events << "in " + id; });
        connect(c, &TPxoTrackerClient::LoginFailed, this,
                [this, c] { m_events << (c->TimerLoginRetry->isActive() ? "failed, timer on" : "failed"); });
        connect(c, &TPxoTrackerClient::InvalidLoginReply, this, [this] { m_events << "invalid"; });
        connect(c, &TPxoTrackerClient::StatsReceived, this, [this](const TrackerPackets::TStatsReply &s) {
            m_events << QString::asprintf("stats %s %u %u %u %u %u", s.displayName.constData(), s.rating, s.kills,
                                          s.deaths, s.suicides, s.seconds);
        });
        connect(c, &TPxoTrackerClient::GameListReceived, this,
                [this](const QList<TrackerPackets::TGameListEntry> &entries) {
                    QStringList list;
                    for (const auto &e : entries)
                        list << e.ip + u':' + QString::number(e.port);
                    m_events << "list " + list.join(u',');
                });
    }
    void cleanup()
    {
        m_client.reset();
        m_queue.reset();
    }

    // Every attempt sends the login and asks for the game list, 7 s apart, until the tenth
    // gives up with the timer already off; a new login counts from 1 again.
    void attemptsUntilTheTenth()
    {
        QCOMPARE(m_client->TimerLoginRetry->interval(), 7000);
        m_client->TimerLoginRetry->setInterval(5);
        QVERIFY(!m_client->LoginStarted());
        m_client->Start(QStringLiteral("pilot"), QStringLiteral("secret"));
        QVERIFY(m_client->LoginStarted());
        QTRY_VERIFY(m_events.contains("failed"));
        QStringList expected;
        for (int attempt = 1; attempt <= 9; ++attempt)
            expected << QString::number(attempt) << "login pilot/secret@127.0.0.2:2092"
                     << "list request@127.0.0.3:3445";
        QCOMPARE(Happened(), expected << "10"
                                      << "failed");
        QTest::qWait(30);
        QVERIFY(Happened().isEmpty());
        m_client->Start(QStringLiteral("pilot"), QStringLiteral("secret"));
        QCOMPARE(m_client->LoginTries(), 1);
        QCOMPARE(Happened().first(), QStringLiteral("1"));
    }

    // Replies from the trackers: what they bring, and the acknowledgement each one gets.
    void replies_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("sender"); // empty: the tracker the reply is from
        QTest::addColumn<QStringList>("happened");
        const QByteArray head = HexBytes("04 0F z8 78 56 34 12 z4");
        const QString ack = QStringLiteral("ack login 305419896@127.0.0.2:2092");
        QTest::newRow("login accepted") << EncodeLoginAccepted(0x12345678, "ABCDEFGHIJ") << ""
                                        << QStringList{ack, "in ABCDEFGHIJ"};
        QTest::newRow("an id padded with zeros ends at the first")
            << head + HexBytes("'ABC' z7 'x'") << "" << QStringList{ack, "in ABC"};
        QTest::newRow("the datagram ends inside the id") << head + "ABC"
                                                         << "" << QStringList{ack, "in ABC"};
        QTest::newRow("a CR after the zero is not part of it")
            << head + HexBytes("'AB' 00 0D 'CDEFGH'") << "" << QStringList{ack, "in AB"};
        QTest::newRow("CR in the id") << head + "ABCD\rEFGHI"
                                      << "" << QStringList{ack, "invalid"};
        QTest::newRow("LF in the id") << head + "\nBCDEFGHIJ"
                                      << "" << QStringList{ack, "invalid"};
        QTest::newRow("empty id") << head + QByteArray(10, '\0') << "" << QStringList{ack, "invalid"};
        QTest::newRow("only the key") << HexBytes("04 0F") << ""
                                      << QStringList{"ack login 0@127.0.0.2:2092", "invalid"};
        QTest::newRow("login retry: the next attempt at once")
            << EncodeLoginRetry() << ""
            << QStringList{"2", "login pilot/secret@127.0.0.2:2092", "list request@127.0.0.3:3445"};
        TUserStats wolf{"Wolf", 1000, 15, 5, 2, 3643};
        QTest::newRow("stats reply") << EncodeStatsReply(10, wolf) << ""
                                     << QStringList{"stats Wolf 1000 15 5 2 3643", "ack stats 10@127.0.0.2:2092"};
        QTest::newRow("stats reply cut short: zeros, the name to the end")
            << HexBytes("04 08 z8 01 02 03 04 z14 'Ace'") << ""
            << QStringList{"stats Ace 0 0 0 0 0", "ack stats 67305985@127.0.0.2:2092"};
        const QString listAck = QStringLiteral("list ack 7@127.0.0.3:3446");
        QTest::newRow("game list of 31 bytes: none, acknowledged")
            << ListReply(7, 0) << "" << QStringList{"list ", listAck};
        QTest::newRow("68 bytes: one short of an entry")
            << ListReply(7, 1).chopped(1) << "" << QStringList{"list ", listAck};
        QTest::newRow("69 bytes: one entry, big-endian port")
            << ListReply(7, 1) << "" << QStringList{"list 10.0.0.1:28000", listAck};
        QStringList twenty;
        for (int i = 0; i < 20; ++i)
            twenty << QStringLiteral("10.0.0.%1:%2").arg(1 + i).arg(28000 + i);
        QTest::newRow("791 bytes: 20 entries")
            << ListReply(7, 20) << "" << QStringList{"list " + twenty.join(u','), listAck};
        QTest::newRow("a zero address comes through")
            << HexBytes("03 17 z24 07 00 00 00 00 z32 z4 00 01") << "" << QStringList{"list 0.0.0.0:1", listAck};
        // Only the tracker asked may answer: another address, or its address on another port.
        QTest::newRow("login accepted from elsewhere")
            << EncodeLoginAccepted(1, "EVIL000001") << "127.0.0.9:2092" << QStringList{"refused"};
        QTest::newRow("login retry from the game tracker")
            << EncodeLoginRetry() << "127.0.0.3:3445" << QStringList{"refused"};
        QTest::newRow("stats reply from another port")
            << EncodeStatsReply(2, wolf) << "127.0.0.2:2093" << QStringList{"refused"};
        QTest::newRow("game list from the user tracker")
            << ListReply(7, 1) << "127.0.0.2:2092" << QStringList{"refused"};
        QTest::newRow("game list from port 0") << ListReply(7, 1) << "127.0.0.3:0" << QStringList{"refused"};
        QTest::newRow("no tracker reply") << HexBytes("01 1F z30") << "" << QStringList{"not taken"};
    }
    void replies()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, sender);
        m_client->Start(QStringLiteral("pilot"), QStringLiteral("secret"));
        Happened();
        if (!Feed(reply, sender))
            m_events << "not taken";
        if (m_client->RefusedReplies() == 1)
            m_events << "refused";
        QTEST(Happened(), "happened");
        QCOMPARE(m_client->TimerLoginRetry->isActive(), m_client->TrackerId().isEmpty());
    }

    // Once the chat may connect, or when no login runs, a login reply is acknowledged and
    // changes nothing; a known tracker id logs in at the first attempt.
    void lateLoginReplies()
    {
        Feed(EncodeLoginAccepted(1, "EARLY00000"));
        Feed(EncodeLoginRetry());
        QCOMPARE(Happened(), QStringList{"ack login 1@127.0.0.2:2092"});
        m_client->Start(QStringLiteral("pilot"), QStringLiteral("secret"));
        Feed(EncodeLoginAccepted(2, "FIRST00000"));
        Happened();
        Feed(EncodeLoginAccepted(3, "OTHER00000"));
        Feed(EncodeLoginRetry());
        QCOMPARE(Happened(), QStringList{"ack login 3@127.0.0.2:2092"});
        QCOMPARE(m_client->TrackerId(), QStringLiteral("FIRST00000"));
        m_client->Start(QStringLiteral("pilot"), QStringLiteral("secret"));
        QCOMPARE(Happened(), (QStringList{"1", "in FIRST00000", "list request@127.0.0.3:3445"}));
        QVERIFY(!m_client->TimerLoginRetry->isActive());
    }

    // A tracker given by name answers from the address the name resolved to.
    void trackerByName()
    {
        struct TLookup : THostLookup
        {
            QList<QHostAddress> Lookup(const QString &) override { return {QHostAddress(QStringLiteral("127.0.0.5"))}; }
        };
        THostResolver::Shared().SetLookup(std::make_shared<TLookup>());
        m_client->UserTrackerHost = QStringLiteral("tracker.test");
        m_client->Start(QStringLiteral("pilot"), QStringLiteral("secret"));
        QVERIFY(Feed(EncodeLoginAccepted(1, "ID00000001"), QStringLiteral("127.0.0.5:2092")));
        QCOMPARE(m_client->RefusedReplies(), 1u); // not resolved yet: nobody answers for it
        QHostAddress address;
        QTRY_VERIFY(THostResolver::Shared().Resolve(QStringLiteral("tracker.test"), address) ==
                    THostResolver::TStatus::Ok);
        Feed(EncodeLoginAccepted(1, "ID00000001"), QStringLiteral("127.0.0.5:2092"));
        QCOMPARE(m_client->TrackerId(), QStringLiteral("ID00000001"));
        THostResolver::Shared().SetLookup(nullptr);
        THostResolver::Shared().Clear();
    }

    // Names and passwords cut to their fields, requests byte for byte as the layouts draw them.
    void requests_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("sent");
        const QString at = QStringLiteral("@127.0.0.2:2092");
        QTest::newRow("login") << "pilot" << QStringLiteral("se cret$") << "login pilot/se cret$" + at;
        QTest::newRow("password cut to 27, name to 33")
            << QString(40, u'n') << QStringLiteral("abcdefghijklmnopqrstuvwxyz0123")
            << "login " + QString(33, u'n') + "/abcdefghijklmnopqrstuvwxyz0" + at;
        QTest::newRow("stats") << "Big Bad Wolf" << QStringLiteral("0123456789")
                               << "stats Big Bad Wolf/0123456789" + at;
        QTest::newRow("stats, name cut to 20, id to 10") << QString(25, u'd') << QStringLiteral("01234567890123")
                                                         << "stats " + QString(20, u'd') + "/0123456789" + at;
    }
    void requests()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        if (QString(QTest::currentDataTag()).startsWith("stats"))
            m_client->RequestStats(first, second);
        else
            m_client->Start(first, second);
        QTEST(Happened().filter(QStringLiteral("@127.0.0.2")).first(), "sent");
    }
};

QTEST_GUILESS_MAIN(tst_PxoTrackerClient)
#include "tst_PxoTrackerClient.moc"
