// Additions around the server list, against the simulated network: the quick filter, preferred
// servers that went offline, and auto-join stopping when the user joins by hand.
#include "PXOTestKit.h"

#include "chat/Server.h"
#include "common/ScriptedServer.h"
#include "demo/SimProcess.h"
#include "pxo/ServerQuickFilter.h"
#include "settings/ConfigControls.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTreeWidget>

namespace {
constexpr int Wait = 20000;

QStringList ShownNames(const TfrmPXO *form)
{
    QStringList names;
    for (int i = 0; i < form->lvwServers->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *row = form->lvwServers->topLevelItem(i);
        if (!row->isHidden())
            names << row->text(0);
    }
    names.sort();
    return names;
}

bool AllNamed(const TfrmPXO *form, int expected)
{
    int named = 0;
    for (const TServer *server : form->Servers)
        named += server->Name.isEmpty() ? 0 : 1;
    return named == expected && form->lvwServers->topLevelItemCount() == expected;
}
} // namespace

class tst_ServerBrowser : public QObject
{
    Q_OBJECT

    std::unique_ptr<TPXOTestKit> m_kit;
    QPointer<TfrmPXO> m_form;
    QTemporaryDir m_gameDir;

    TfrmPXO *Lobby(TSimProcess &sim, int servers, quint16 chatPort = 1)
    {
        m_form = new TfrmDescent;
        m_form->setAttribute(Qt::WA_DontShowOnScreen);
        m_form->show();
        m_form->TimerServers->stop();
        m_form->TimerPing->stop();
        TPXOTestKit::PointAt(m_form, sim.UserTrackerAddress(), sim.UserTrackerPort(), sim.GameTrackerAddress(),
                             sim.GameTrackerPort(), QStringLiteral("127.0.0.1"), chatPort);
        m_form->RequestGameList();
        return QTest::qWaitFor([&] { return m_form && AllNamed(m_form, servers); }, Wait) ? m_form.data() : nullptr;
    }

    // A game that notes its arguments and ends at once.
    void WriteFakeGame()
    {
        QFile file(m_gameDir.filePath(QStringLiteral("main.sh")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> args.txt; done\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_kit->Config->edtDescentPath->setText(m_gameDir.path());
        m_kit->Config->edtDescentExe->setText(QStringLiteral("main.sh"));
    }

private slots:
    void initTestCase() { m_kit = std::make_unique<TPXOTestKit>(); }
    void init()
    {
        m_kit->Reset();
        m_kit->Config->cbxServersAutoJoin->setChecked(true);
        m_kit->Config->cbxServerJoinLevelExist->setChecked(false);
        SetMemoLines(m_kit->Config->memServersPrefered, {});
    }
    void cleanup() { delete m_form.data(); }
    void cleanupTestCase() { m_kit.reset(); }

    void quickFilterWords_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<bool>("shown");
        QTest::newRow("empty") << "" << true;
        QTest::newRow("blanks") << "   " << true;
        QTest::newRow("name, other case") << "ANARCHY" << true;
        QTest::newRow("level") << "city.mn3" << true;
        QTest::newRow("mission") << "retribution" << true;
        QTest::newRow("two words, two fields") << "city  anar" << true;
        QTest::newRow("one word missing") << "city ctf" << false;
        QTest::newRow("game type is not searched") << "coop" << false;
    }

    void quickFilterWords()
    {
        QFETCH(QString, filter);
        QTEST(ServerQuickFilter::Matches(filter, QStringLiteral("Pilot's Anarchy"), QStringLiteral("city.mn3"),
                                         QStringLiteral("Retribution")),
              "shown");
    }

    // Typing hides rows at once and queries nothing more or less.
    void quickFilterHidesRowsOnly()
    {
        TSimProcess sim;
        QVERIFY2(sim.Start({QStringLiteral("--servers"), QStringLiteral("6")}), qPrintable(sim.ErrorString()));
        TfrmPXO *form = Lobby(sim, 6);
        QVERIFY(form);
        const QStringList all = ShownNames(form);
        QList<quint16> requests;
        for (const TServer *server : form->Servers)
            requests << server->RequestSeq;
        const QString wanted = form->Servers.at(2)->Name;
        QTest::keyClicks(form->edtServerFilter, wanted.toUpper());
        QCOMPARE(ShownNames(form), QStringList{wanted});
        QCOMPARE(form->lvwServers->headerItem()->text(0), QStringLiteral("Name (6)"));
        form->RefreshServerList(); // rows made or updated later keep the filter
        QCOMPARE(ShownNames(form), QStringList{wanted});
        form->edtServerFilter->setText(QStringLiteral("no such server"));
        QVERIFY(ShownNames(form).isEmpty());
        form->edtServerFilter->clear();
        QCOMPARE(ShownNames(form), all);
        QList<quint16> after;
        for (const TServer *server : form->Servers) {
            after << server->RequestSeq;
            QVERIFY(!server->FilteredOut);
        }
        QCOMPARE(after, requests);
    }

    // A preferred server that is no longer listed stays, gray and "offline", until it is back.
    void preferredServerShownOffline()
    {
        TSimProcess sim;
        QVERIFY2(sim.Start({QStringLiteral("--servers"), QStringLiteral("3")}), qPrintable(sim.ErrorString()));
        TfrmPXO *form = Lobby(sim, 3);
        QVERIFY(form);
        TServer *preferred = form->Servers.at(0);
        TServer *other = form->Servers.at(1);
        const QString name = preferred->Name;
        const QString ip = preferred->IP;
        const quint16 port = preferred->Port;
        SetMemoLines(m_kit->Config->memServersPrefered, {QStringLiteral("  ") + name.toLower()});
        form->RemoveServer(other); // not preferred: gone
        form->RemoveServer(preferred);
        QCOMPARE(form->OfflineServers(), QStringList{name});
        QCOMPARE(form->lvwServers->topLevelItemCount(), 2);
        QCOMPARE(form->lvwServers->headerItem()->text(0), QStringLiteral("Name (1)"));
        QTreeWidgetItem *row = nullptr;
        for (int i = 0; i < form->lvwServers->topLevelItemCount(); ++i) {
            if (form->lvwServers->topLevelItem(i)->text(0) == name)
                row = form->lvwServers->topLevelItem(i);
        }
        QVERIFY(row);
        QCOMPARE(row->text(6), QStringLiteral("offline"));
        QCOMPARE(row->foreground(0).color(), QColor(128, 128, 128));
        // Nothing acts on an offline row; sorting copes with it.
        form->lvwServers->setCurrentItem(row);
        row->setSelected(true);
        QVERIFY(!form->SelectedServer());
        form->mnuJoinGame->trigger();
        form->mnuPingServer->trigger();
        for (int column = 0; column < 8; ++column) {
            form->SortColumn = column;
            form->SortServerList();
        }
        form->edtServerFilter->setText(QStringLiteral("zzz"));
        QVERIFY(row->isHidden());
        form->edtServerFilter->clear();
        QVERIFY(m_kit->Boxes.isEmpty());

        // Listed again: the live row replaces the offline one.
        QVERIFY(form->AddServer(ip, port));
        QTRY_VERIFY_WITH_TIMEOUT(form->OfflineServers().isEmpty(), Wait);
        QTRY_COMPARE_WITH_TIMEOUT(form->lvwServers->topLevelItemCount(), 2, Wait);
        // Clearing the list (leaving the lobby) keeps no offline rows.
        form->ClearServers();
        QVERIFY(form->OfflineServers().isEmpty());
        QCOMPARE(form->lvwServers->topLevelItemCount(), 0);
    }

    // A full server waits for auto-join; joining another server by hand ends the wait.
    void joiningByHandStopsAutoJoin()
    {
        WriteFakeGame();
        TSimProcess sim;
        QVERIFY2(sim.Start(
                     {QStringLiteral("--servers"), QStringLiteral("2"), QStringLiteral("--full"), QStringLiteral("1")}),
                 qPrintable(sim.ErrorString()));
        // The lobby logs in again after the game: a chat server that accepts keeps it open.
        TScriptedServer chat;
        QVERIFY(chat.Listen());
        TfrmPXO *form = Lobby(sim, 2, chat.Port());
        QVERIFY(form);
        TServer *full = form->FindServer(sim.Server(1).value("address").toString(), 0);
        TServer *open = form->FindServer(sim.Server(0).value("address").toString(), 0);
        QVERIFY(full && open && full != open);
        const int max = sim.Server(1).value("maxPlayers").toInt();
        QTRY_COMPARE_WITH_TIMEOUT(full->Players, quint16(max), Wait);
        full->AutoJoin = true;
        form->JoinServer(open);
        QVERIFY(!full->AutoJoin);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_gameDir.filePath(QStringLiteral("args.txt"))), Wait);
        QTRY_VERIFY_WITH_TIMEOUT(!form->GameRunning(), Wait);

        // A slot frees on the server that was waited for: nothing asks to join it now.
        QVERIFY(m_form);
        TServer *again = form->FindServer(sim.Server(1).value("address").toString(), 0);
        QVERIFY(again);
        QVERIFY(!again->AutoJoin);
        again->Players = quint16(max - 1);
        form->RefreshServerList();
        QTest::qWait(200);
        QVERIFY2(m_kit->Boxes.filter(QStringLiteral("Would you like to join")).isEmpty(),
                 qPrintable(m_kit->Boxes.join('|')));
    }
};

QTEST_MAIN(tst_ServerBrowser)
#include "tst_ServerBrowser.moc"
