// The lobby's server list as the user sees it: rows, their order, the filters and
// preferred servers gone offline, with replies fed to the lobby as if they had arrived.
#include "PXOTestKit.h"

#include "pxo/ServerListRules.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTreeWidget>

using namespace ServerListRules;

namespace {
QStringList Names(const TfrmPXO *form)
{
    QStringList names;
    for (int i = 0; i < form->lvwServers->topLevelItemCount(); ++i) {
        if (!form->lvwServers->topLevelItem(i)->isHidden())
            names << form->lvwServers->topLevelItem(i)->text(0);
    }
    return names;
}

// Where a full sort by the list's rules would not put a row, or an empty text.
QString OrderProblem(TfrmPXO *form)
{
    TRow previous;
    for (int i = 0; i < form->lvwServers->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = form->lvwServers->topLevelItem(i);
        const TServer *server = nullptr;
        for (TServer *s : form->Servers())
            server = form->RowOf(s) == item ? s : server;
        if (!server || item->text(ColName) != server->Name)
            return QStringLiteral("row %1 does not show its server").arg(i);
        TRow row;
        for (int c = 0; c < ColumnCount; ++c)
            row.Cells[c] = item->text(c);
        row.Preferred = form->IsPreferred(server);
        row.Dedicated = server->Dedicated;
        if (i > 0 && LessThan(row, previous, form->SortColumn))
            return QStringLiteral("row %1 (%2) before row %3 (%4)")
                .arg(i - 1)
                .arg(previous.Cells[0])
                .arg(i)
                .arg(row.Cells[0]);
        previous = row;
    }
    return {};
}
} // namespace

class tst_LobbyWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TPXOTestKit> m_kit;

private slots:
    void initTestCase() { m_kit = std::make_unique<TPXOTestKit>(); }
    void init()
    {
        m_kit->Reset();
        m_kit->Config->memServersPrefered->clear();
        m_kit->Config->cbxServersContinousSort->setChecked(false);
        m_kit->Config->cbxServersFilterMaxPlayers->setChecked(false);
    }
    void cleanupTestCase() { m_kit.reset(); }

    // A row per server that answered and passes the filters; the header counts the rows; a
    // reply that filters its server out, or the server leaving, takes its row away at once.
    void rowsFollowTheServers()
    {
        TfrmPXO *form = m_kit->NewLobby();
        TServer *a = Listed(form, 1, {"Arena", 3, 8, "city.mn3", 4, true, "Fun"});
        QVERIFY(form->ServerList->AddServer(QStringLiteral("127.201.0.9"), 2092)); // no game info yet: no row
        TServer *b = Listed(form, 2, {"Bunker"});
        QCOMPARE(Names(form), (QStringList{"Arena", "Bunker"}));
        a->Ping = 1999;
        form->RefreshServer(a);
        QStringList cells;
        for (int c = 0; c < ColumnCount; ++c)
            cells << form->RowOf(a)->text(c);
        QCOMPARE(cells, (QStringList{"Arena", "c/s d", "Anarchy", "city.mn3", "Fun", "4", "3/8", "1999"}));
        QCOMPARE(form->lvwServers->headerItem()->text(0), QStringLiteral("Name (2)"));
        m_kit->Config->cbxServersFilterMaxPlayers->setChecked(true);
        b->RequestGameInfo();
        Answer(form, b, {"Bunker", 8, 8});
        QCOMPARE(Names(form), QStringList{"Arena"});
        QCOMPARE(form->lvwServers->headerItem()->text(0), QStringLiteral("Name (1)"));
        form->ServerList->RemoveServer(a);
        QCOMPARE(form->lvwServers->topLevelItemCount(), 0);
        QCOMPARE(form->lvwServers->headerItem()->text(0), QStringLiteral("Name (0)"));
    }

    // Kept sorted reply by reply (only a new row or caption sorts without "Continous sort",
    // and a later sort puts everything in place); a moved row keeps the selection.
    void keptInOrder_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("continuous");
        for (int column : {ColName, ColPlayers})
            QTest::addRow("continuous, column %d", column) << column << true;
        QTest::newRow("only captions, players") << int(ColPlayers) << false;
    }
    void keptInOrder()
    {
        QFETCH(int, column);
        QFETCH(bool, continuous);
        m_kit->Config->cbxServersContinousSort->setChecked(continuous);
        m_kit->Config->memServersPrefered->setPlainText(QStringLiteral("Delta1\necho2"));
        TfrmPXO *form = m_kit->NewLobby();
        form->lvwServers->header()->sectionClicked(column); // sorts, and is remembered
        QCOMPARE(m_kit->Config->ServerSortColumn, column);
        QRandomGenerator random(quint32(column + 1));
        const auto values = [&random] {
            static const char *const names[] = {"alpha", "Bravo", "charlie", "Delta", "echo", "[UK] Frag", "|zz|"};
            const quint16 max = quint16(4 + random.bounded(12));
            return TValues{names[random.bounded(7)] + QByteArray::number(random.bounded(3)),
                           quint16(random.bounded(max + 1)),
                           max,
                           "level" + QByteArray::number(random.bounded(6)),
                           quint16(random.bounded(1, 12)),
                           random.bounded(2) == 1};
        };
        for (int i = 0; i < 40; ++i)
            Listed(form, i, values());
        QCOMPARE(OrderProblem(form), QString());
        for (int n = 0; n < 200; ++n) {
            TServer *server = form->Servers().value(random.bounded(40));
            server->RequestGameInfo();
            TValues v = values();
            if (!continuous)
                v.name = server->Name.toLatin1();
            Answer(form, server, v);
            if (continuous)
                QVERIFY2(OrderProblem(form).isEmpty(), qPrintable(OrderProblem(form)));
        }
        QCOMPARE(OrderProblem(form).isEmpty(), continuous);
        TServer *chosen = form->Servers().value(7);
        form->lvwServers->setCurrentItem(form->RowOf(chosen));
        chosen->RequestGameInfo();
        Answer(form, chosen, {"Zulu", 0, 8});
        QCOMPARE(OrderProblem(form), QString());
        QCOMPARE(form->SelectedServer(), chosen);
    }

    // The quick filter hides rows whose name, level and mission do not hold every word typed;
    // the rows stay counted, made and queried as before.
    void quickFilter_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("blanks") << "   " << QStringList{"Pilot's Anarchy", "Zone"};
        QTest::newRow("name, another case") << "ANARCHY" << QStringList{"Pilot's Anarchy"};
        QTest::newRow("two words, two fields") << "city  anar" << QStringList{"Pilot's Anarchy"};
        QTest::newRow("one word missing") << "city zone" << QStringList{};
        QTest::newRow("the game type is not searched") << "Anarchy" << QStringList{"Pilot's Anarchy"};
    }
    void quickFilter()
    {
        QFETCH(QString, filter);
        TfrmPXO *form = m_kit->NewLobby();
        Listed(form, 1, {"Pilot's Anarchy", 1, 8, "city.mn3", 1, false, "Retribution"});
        TServer *zone = Listed(form, 2, {"Zone", 1, 8, "other.mn3"});
        QTest::keyClicks(form->edtServerFilter, filter);
        QTEST(Names(form), "shown");
        zone->RequestGameInfo();
        Answer(form, zone, {"Zone", 2, 8, "other.mn3"}); // rows updated later keep the filter
        form->RefreshServerList();
        QTEST(Names(form), "shown");
        QCOMPARE(form->lvwServers->headerItem()->text(0), QStringLiteral("Name (2)"));
        QCOMPARE(zone->RequestSeq, quint16(2));
        form->edtServerFilter->clear();
        QCOMPARE(Names(form).size(), 2);
    }

    // A preferred server the tracker stops listing stays, gray and "offline", until it is
    // listed again; nothing acts on its row, sorting and the quick filter cope with it.
    void preferredServerOffline()
    {
        m_kit->Config->memServersPrefered->setPlainText(QStringLiteral("  arena"));
        TfrmPXO *form = m_kit->NewLobby();
        TServer *arena = Listed(form, 1, {"Arena"});
        form->ServerList->RemoveServer(Listed(form, 2, {"Other"}));
        form->ServerList->RemoveServer(arena);
        QCOMPARE(form->OfflineServers(), QStringList{"Arena"});
        QCOMPARE(form->lvwServers->headerItem()->text(0), QStringLiteral("Name (0)"));
        QTreeWidgetItem *row = form->lvwServers->topLevelItem(0);
        QCOMPARE(form->lvwServers->topLevelItemCount(), 1);
        QCOMPARE(row->text(ColPlayers), QStringLiteral("offline"));
        QCOMPARE(row->foreground(0).color(), QColor(128, 128, 128));
        form->lvwServers->setCurrentItem(row);
        QVERIFY(!form->SelectedServer());
        for (QAction *item : {form->mnuJoinGame, form->mnuServerInfo, form->mnuPingServer, form->DownloadLevel1})
            item->trigger();
        for (int column = 0; column < ColumnCount; ++column) {
            form->SortColumn = column;
            form->SortServerList();
        }
        form->edtServerFilter->setText(QStringLiteral("zzz"));
        QVERIFY(row->isHidden());
        form->edtServerFilter->clear();
        QVERIFY(m_kit->Boxes.isEmpty());
        Listed(form, 1, {"Arena"});
        QVERIFY(form->OfflineServers().isEmpty());
        QCOMPARE(Names(form), QStringList{"Arena"});
    }
};

QTEST_MAIN(tst_LobbyWindow)
#include "tst_LobbyWindow.moc"
