// The plain IRC form against its real peer, ngircd, with other clients on loopback: one road
// through a chat, from registration to the server going away.
#include "ChatTestKit.h"

#include "common/IrcTestClient.h"
#include "common/NgircdFixture.h"

#include <QLineEdit>
#include <QSignalSpy>

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

private slots:
    void initTestCase()
    {
        QVERIFY2(TNgircd::Available(), "ngircd is needed: scripts/install-deps.sh installs it");
        m_kit = std::make_unique<TChatTestKit>();
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
        // Registered; a channel with its operator; talk both ways, in private too, where away
        // answers.
        TIrcTestClient wingman;
        QVERIFY(wingman.Register(m_server->Host(), m_server->Port(), "wingman", Wait));
        wingman.Send("JOIN #d3");
        QVERIFY(wingman.WaitFor("366 wingman #d3", Wait));
        TfrmIRC *form = Connect("pilot");
        QVERIFY(Says(form, "Misc", "test network"));
        form->SubmitInput("/join #d3,#two");
        QVERIFY(Shows(form, "#d3", {"pilot", "@wingman"}) && Shows(form, "#two", {"@pilot"}));
        TChat *d3 = form->FindChat("#d3");
        wingman.Send("PRIVMSG #d3 :hello <i>all</i>");
        wingman.Send("PRIVMSG #d3 :\x01"
                     "ACTION loops\x01");
        m_kit->Config->cbxChatAway->setChecked(true); // a private message is answered
        wingman.Send("PRIVMSG pilot :psst");
        QVERIFY(Says(form, "wingman", "wingman: psst") && wingman.WaitFor("PRIVMSG wingman :(Been away 0h:", Wait));
        QCOMPARE(Rows(d3), (QStringList{"wingman: hello <i>all</i>", "wingman loops"}));
        form->ActivateChat(d3);
        form->edtChat->setText("hi wingman");
        form->edtChatKeyPress();
        QVERIFY(wingman.WaitFor("PRIVMSG #d3 :hi wingman", Wait));

        // The server's modes; a nick in use is told.
        wingman.Send("MODE #d3 +ob pilot *!*@10.0.0.1");
        QVERIFY(Shows(form, "#d3", {"@pilot", "@wingman"}));
        QVERIFY(Says(Connect("pilot"), "Misc", "The nick pilot is in use"));

        // The server goes away: every form tells and goes.
        QSignalSpy gone(form, &QObject::destroyed);
        m_server->Stop();
        QTRY_COMPARE_WITH_TIMEOUT(gone.size(), 1, Wait);
        QTRY_COMPARE_WITH_TIMEOUT(m_kit->Boxes.filter("Connection closed!").size(), 2, Wait);
    }
};

QTEST_MAIN(tst_ChatNgircd)
#include "tst_ChatNgircd.moc"
