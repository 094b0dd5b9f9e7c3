// The plain IRC form against its real peer, ngircd, with other clients on loopback: one road
// through a chat, from registration to the server going away.
#include "ChatTestKit.h"

#include "common/IrcTestClient.h"
#include "common/NgircdFixture.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>

namespace {
constexpr int Wait = 15000; // the server slows down clients that send in bursts

bool Shows(TfrmChat *form, const QString &channel, const QStringList &names)
{
    return QTest::qWaitFor([&] { return form->FindChat(channel) && GridNames(form->FindChat(channel)) == names; },
                           Wait);
}

bool Says(TfrmChat *form, const QString &tab, const QString &text)
{
    return QTest::qWaitFor([&] { return Rows(form->FindChat(tab)).join('\n').contains(text); }, Wait);
}
} // namespace

class tst_ChatNgircd : public QObject
{
    Q_OBJECT

    std::unique_ptr<TChatTestKit> m_kit;
    std::unique_ptr<TNgircd> m_server;
    QList<QPointer<TfrmIRC>> m_forms;

    TfrmIRC *Connect(const QString &nick)
    {
        auto *form = new TfrmIRC;
        m_forms << form;
        form->setAttribute(Qt::WA_DontShowOnScreen);
        form->show();
        form->ConnectTo(m_server->Host(), m_server->Port(), nick);
        return form;
    }

    bool Client(TIrcTestClient &client, const QString &nick, const QString &join)
    {
        if (!client.Register(m_server->Host(), m_server->Port(), nick, Wait))
            return false;
        client.Send("JOIN " + join);
        return client.WaitFor("366 " + nick + ' ' + join.section(',', -1), Wait);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(TNgircd::Available(), "ngircd is needed: scripts/install-deps.sh installs it");
        m_kit = std::make_unique<TChatTestKit>();
        m_kit->Reset();
        m_server = std::make_unique<TNgircd>();
        QVERIFY2(m_server->Start(), qPrintable(m_server->Error()));
    }
    void cleanupTestCase()
    {
        for (const QPointer<TfrmIRC> &form : std::exchange(m_forms, {}))
            delete form.data();
        m_server.reset();
        m_kit.reset();
    }

    void road()
    {
        // Registered; a channel with its operator; talk both ways, in private too.
        TIrcTestClient wingman, gunner;
        QVERIFY(Client(wingman, "wingman", "#d3"));
        QVERIFY(Client(gunner, "gunner", "#d3,#two"));
        TfrmIRC *form = Connect("pilot");
        QVERIFY(Says(form, "Misc", "test network"));
        QCOMPARE(form->windowTitle(), QString("Chat (pilot)"));
        form->SubmitInput("/join #d3,#two");
        QVERIFY(Shows(form, "#d3", {"gunner", "pilot", "@wingman"}) && Shows(form, "#two", {"@gunner", "pilot"}));
        TChat *d3 = form->FindChat("#d3");
        wingman.Send("PRIVMSG #d3 :hello <i>all</i>");
        wingman.Send("PRIVMSG #d3 :\x01"
                     "ACTION loops\x01");
        wingman.Send("PRIVMSG pilot :psst");
        QVERIFY(Says(form, "wingman", "wingman: psst"));
        QCOMPARE(Rows(d3), (QStringList{"wingman: hello <i>all</i>", "wingman loops"}));
        QCOMPARE(form->FindUser("wingman")->Host, QString("127.0.0.1"));
        form->ActivateChat(d3);
        form->edtChat->setText("hi wingman");
        form->edtChatKeyPress();
        QVERIFY(wingman.WaitFor("PRIVMSG #d3 :hi wingman", Wait));

        // The server's modes, kicks and quits; the channel list.
        wingman.Send("MODE #d3 +ob-o pilot *!*@10.0.0.1 pilot");
        wingman.Send("MODE #d3 +o pilot");
        QVERIFY(Shows(form, "#d3", {"gunner", "@pilot", "@wingman"}));
        wingman.Send("KICK #d3 gunner :out");
        QVERIFY(Shows(form, "#d3", {"@pilot", "@wingman"}));
        gunner.Send("QUIT :done");
        QVERIFY(Shows(form, "#two", {"pilot"}));
        QVERIFY(Says(form, "Misc", "gunner was kicked from channel d3 by wingman :out") &&
                Says(form, "Misc", "gunner quit"));
        form->mnuRefreshChannelsClick();
        QTRY_VERIFY_WITH_TIMEOUT(!form->Session()->ListPending(), Wait);
        const QAbstractItemModel *grid = form->pnlChannels->sgrChannels->model();
        QStringList names;
        for (int row = 0; row < grid->rowCount(); ++row) // the server lists "&SERVER" of its own
            names << grid->index(row, 0).data().toString() + '/' + grid->index(row, 1).data().toString();
        QCOMPARE(names.filter(QRegularExpression("^[^&]")), (QStringList{"d3/2", "two/1"}));

        // Two forms both away answer each other once, not for ever; a nick in use is told.
        TfrmIRC *beta = Connect("beta");
        QVERIFY(Says(beta, "Misc", "test network"));
        m_kit->Config->cbxChatAway->setChecked(true);
        form->SubmitInput("/msg beta hello");
        QVERIFY(Says(form, "beta", "beta: (Been away 0h:00:"));
        form->SubmitInput("/msg beta again");
        QVERIFY(Says(beta, "pilot", "pilot: again"));
        beta->SubmitInput("/msg pilot marker"); // what beta sent before it has arrived with it
        QVERIFY(Says(form, "beta", "beta: marker"));
        QCOMPARE(Rows(form->FindChat("beta")).filter("(Been away").size(), 1);
        QVERIFY(Rows(beta->FindChat("pilot")).filter("(Been away").size() <= 1);
        m_kit->Config->cbxChatAway->setChecked(false);
        QVERIFY(Says(Connect("beta"), "Misc", "The nick beta is in use"));

        // Operator actions take effect when the server says so; a banned user cannot join.
        d3->UserGrid->selectRow(1);
        form->pumUser->SetChat(d3);
        form->mnuOpClick();
        QVERIFY(Shows(form, "#d3", {"@pilot", "wingman"}));
        form->mnuKickBanClick();
        QVERIFY(Shows(form, "#d3", {"@pilot"}));
        wingman.Send("JOIN #d3");
        QVERIFY(wingman.WaitFor("474 wingman #d3", Wait));
        wingman.Send("JOIN #two");
        QVERIFY(Shows(form, "#two", {"pilot", "wingman"}));
        form->ActivateChat(d3);
        form->btnCloseChatClick();
        QTRY_VERIFY_WITH_TIMEOUT(!form->FindChat("#d3"), Wait);
        QVERIFY(Says(form, "Misc", "pilot part channel d3"));

        // Twenty pasted lines at the default pace (5 at once, then one per 2 s): all arrive, in
        // order, and the server keeps us.
        QStringList block;
        for (int i = 1; i <= 20; ++i)
            block << QString("pasted line %1 of the block").arg(i);
        m_kit->Answer = QMessageBox::Yes;
        QGuiApplication::clipboard()->setText(block.join('\n'));
        form->ActivateChat(form->FindChat("#two"));
        QElapsedTimer clock;
        clock.start();
        QTest::keySequence(form->edtChat, QKeySequence::Paste);
        for (const QString &line : block) // each line found consumes those before it
            QVERIFY2(wingman.WaitFor("PRIVMSG #two :" + line, 60000), qPrintable(line));
        QVERIFY2(clock.elapsed() >= 15 * 2000 - 500, qPrintable(QString::number(clock.elapsed())));
        form->SendLine("PRIVMSG #two :after");
        QVERIFY(wingman.WaitFor("PRIVMSG #two :after", Wait));

        // The server goes away: the form tells and goes.
        QSignalSpy gone(form, &QObject::destroyed);
        m_server->Stop();
        QTRY_COMPARE_WITH_TIMEOUT(gone.size(), 1, Wait);
        QTRY_COMPARE_WITH_TIMEOUT(m_kit->Boxes.filter("Connection closed!").size(), 3, Wait);
    }
};

QTEST_MAIN(tst_ChatNgircd)
#include "tst_ChatNgircd.moc"
