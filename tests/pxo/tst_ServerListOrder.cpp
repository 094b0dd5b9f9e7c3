// The server list kept in order reply by reply: the rows stand where a full sort by the
// list's rules would put them, show their server's values, and keep the user's selection.
// Replies are made by the simulator's encoders, not by the lobby's own code.
#include "PXOTestKit.h"

#include "chat/Server.h"
#include "pxo/ServerListRules.h"
#include "sim/ServerDatagrams.h"

#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTreeWidget>

using namespace ServerListRules;

namespace {
struct TValues
{
    QByteArray name;
    QByteArray level;
    quint16 players = 0;
    quint16 maxPlayers = 8;
    quint16 levelNumber = 1;
    bool dedicated = false;
};

void Answer(TfrmPXO *form, TServer *server, const TValues &values)
{
    ServerDatagrams::TGameInfo info;
    info.name = values.name;
    info.level = values.level;
    info.description = "mission";
    info.gameType = "Anarchy";
    info.players = values.players;
    info.maxPlayers = values.maxPlayers;
    info.levelNumber = values.levelNumber;
    info.dedicated = values.dedicated;
    form->UDPDataReceived(ServerDatagrams::EncodeGameInfoReply(info, server->RequestSeq), server->IP, server->Port);
}

TValues RandomValues(QRandomGenerator &random)
{
    static const char *const names[] = {"alpha", "Bravo", "charlie", "Delta", "echo", "alpha", "[UK] Frag", "|zz|"};
    TValues v;
    v.name = QByteArray(names[random.bounded(8)]) + QByteArray::number(random.bounded(3));
    v.level = "level" + QByteArray::number(random.bounded(6)) + ".mn3";
    v.maxPlayers = quint16(4 + random.bounded(12));
    v.players = quint16(random.bounded(v.maxPlayers + 1));
    v.levelNumber = quint16(random.bounded(1, 12));
    v.dedicated = random.bounded(2) == 1;
    return v;
}

TServer *ServerOfRow(TfrmPXO *form, const QTreeWidgetItem *row)
{
    for (TServer *server : std::as_const(form->Servers)) {
        if (form->RowOf(server) == row)
            return server;
    }
    return nullptr;
}

// The order of the rows as the rules give it from what each row shows; an empty text when
// every row is in order, else where it is not.
QString OrderProblem(TfrmPXO *form)
{
    TRow previous;
    for (int i = 0; i < form->lvwServers->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = form->lvwServers->topLevelItem(i);
        const TServer *server = ServerOfRow(form, item);
        if (!server)
            return QStringLiteral("row %1 has no server").arg(i);
        if (item->text(ColName) != server->Name)
            return QStringLiteral("row %1 shows %2 for %3").arg(i).arg(item->text(ColName), server->Name);
        TRow row;
        for (int c = 0; c < ColumnCount; ++c)
            row.Cells[c] = item->text(c);
        row.Preferred = server->IsPreferred();
        row.Dedicated = server->Dedicated;
        if (i > 0 && LessThan(row, previous, form->SortColumn))
            return QStringLiteral("row %1 (%2) goes before row %3 (%4)")
                .arg(i)
                .arg(row.Cells[ColName])
                .arg(i - 1)
                .arg(previous.Cells[ColName]);
        previous = row;
    }
    return {};
}
} // namespace

class tst_ServerListOrder : public QObject
{
    Q_OBJECT

    std::unique_ptr<TPXOTestKit> m_kit;
    QPointer<TfrmPXO> m_form;

    TfrmPXO *NewLobby(int servers)
    {
        m_form = new TfrmDescent;
        m_form->setAttribute(Qt::WA_DontShowOnScreen);
        m_form->show();
        m_form->TimerServers->stop();
        m_form->TimerPing->stop();
        for (int i = 0; i < servers; ++i)
            m_form->AddServer(QStringLiteral("127.201.%1.%2").arg(i / 250).arg(i % 250 + 1), 2092);
        m_form->RefreshServerList();
        return m_form;
    }

private slots:
    void initTestCase() { m_kit = std::make_unique<TPXOTestKit>(); }
    void init()
    {
        m_kit->Reset();
        m_kit->Config->memServersPrefered->setPlainText(QStringLiteral("Delta1\necho2"));
    }
    void cleanup()
    {
        delete m_form.data();
        m_kit->Config->memServersPrefered->clear();
        m_kit->Config->cbxServersContinousSort->setChecked(false);
    }
    void cleanupTestCase() { m_kit.reset(); }

    void continuousSortKeepsOrder_data()
    {
        QTest::addColumn<int>("column");
        QTest::newRow("name") << int(ColName);
        QTest::newRow("mode") << int(ColMode);
        QTest::newRow("level") << int(ColLevel);
        QTest::newRow("number") << int(ColNumber);
        QTest::newRow("players") << int(ColPlayers);
    }
    void continuousSortKeepsOrder()
    {
        QFETCH(int, column);
        m_kit->Config->cbxServersContinousSort->setChecked(true);
        TfrmPXO *form = NewLobby(60);
        form->SortColumn = column;
        form->SortServerList();
        QRandomGenerator random(quint32(column + 1));
        for (TServer *server : std::as_const(form->Servers))
            Answer(form, server, RandomValues(random));
        QCOMPARE(OrderProblem(form), QString());
        for (int round = 0; round < 6; ++round) {
            for (int n = 0; n < 60; ++n) {
                TServer *server = form->Servers.value(random.bounded(60));
                QVERIFY(server);
                server->RequestGameInfo();
                Answer(form, server, RandomValues(random));
                const QString problem = OrderProblem(form);
                QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("round %1: %2").arg(round).arg(problem)));
            }
        }
        QCOMPARE(form->lvwServers->topLevelItemCount(), 60);
    }

    // Without continuous sorting only a new row or a new caption sorts the list, as before;
    // a sort then puts every row in place, also those that changed in between.
    void withoutContinuousSortOnlyCaptionsResort()
    {
        TfrmPXO *form = NewLobby(5);
        form->SortColumn = ColPlayers;
        for (int i = 0; i < 5; ++i) {
            TServer *server = form->Servers.value(i);
            Answer(form, server, {"s" + QByteArray::number(i), "l.mn3", quint16(i), 8, 1, false});
        }
        QCOMPARE(OrderProblem(form), QString());
        QCOMPARE(form->lvwServers->topLevelItem(0)->text(ColName), QStringLiteral("s4"));

        TServer *last = ServerOfRow(form, form->lvwServers->topLevelItem(4));
        QVERIFY(last);
        last->RequestGameInfo();
        Answer(form, last, {last->Name.toLatin1(), "l.mn3", 8, 8, 1, false});
        QCOMPARE(form->lvwServers->topLevelItem(4), form->RowOf(last)); // not moved
        QVERIFY(!OrderProblem(form).isEmpty());

        TServer *first = ServerOfRow(form, form->lvwServers->topLevelItem(0));
        first->RequestGameInfo();
        Answer(form, first, {"renamed", "l.mn3", first->Players, 8, 1, false});
        QCOMPARE(OrderProblem(form), QString());
        QCOMPARE(form->lvwServers->topLevelItem(0), form->RowOf(last));
    }

    void movedRowKeepsSelection()
    {
        m_kit->Config->cbxServersContinousSort->setChecked(true);
        TfrmPXO *form = NewLobby(8);
        form->SortColumn = ColPlayers;
        for (int i = 0; i < 8; ++i)
            Answer(form, form->Servers.value(i), {"s" + QByteArray::number(i), "l.mn3", quint16(i), 10, 1, false});
        TServer *chosen = form->Servers.value(2);
        form->lvwServers->setCurrentItem(form->RowOf(chosen));
        QCOMPARE(form->SelectedServer(), chosen);
        chosen->RequestGameInfo();
        Answer(form, chosen, {"s2", "l.mn3", 10, 10, 1, false});
        QCOMPARE(form->lvwServers->topLevelItem(0), form->RowOf(chosen));
        QCOMPARE(form->SelectedServer(), chosen);
        QCOMPARE(OrderProblem(form), QString());
    }

    // A reply that filters its server out takes its row away at once; the header counts rows.
    void filteredOutRowLeaves()
    {
        TfrmPXO *form = NewLobby(3);
        for (int i = 0; i < 3; ++i)
            Answer(form, form->Servers.value(i), {"s" + QByteArray::number(i), "l.mn3", 1, 8, 1, false});
        QCOMPARE(form->lvwServers->topLevelItemCount(), 3);
        m_kit->Config->cbxServersFilterMaxPlayers->setChecked(true);
        TServer *server = form->Servers.value(1);
        server->RequestGameInfo();
        Answer(form, server, {"s1", "l.mn3", 8, 8, 1, false});
        QCOMPARE(form->RowOf(server), nullptr);
        QCOMPARE(form->lvwServers->topLevelItemCount(), 2);
        QCOMPARE(form->lvwServers->headerItem()->text(ColName), QStringLiteral("Name (2)"));
        m_kit->Config->cbxServersFilterMaxPlayers->setChecked(false);
    }
};

QTEST_MAIN(tst_ServerListOrder)
#include "tst_ServerListOrder.moc"
