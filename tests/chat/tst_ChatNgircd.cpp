// The plain IRC form against a real IRC server (ngircd) and other clients on loopback.
#include "NgircdFormTest.h"

#include "common/IrcTestClient.h"

#include <QSignalSpy>
#include <QTableView>

namespace {
class TCountingIRC : public TfrmIRC
{
public:
    int NickInUseCalls = 0;
    void NickInUse() override
    {
        ++NickInUseCalls;
        TfrmIRC::NickInUse();
    }
};
} // namespace

class tst_ChatNgircd : public TNgircdFormTest
{
    Q_OBJECT

    bool Joined(const QString &channel, const QStringList &names)
    {
        return QTest::qWaitFor(
            [&] { return m_form && m_form->FindChat(channel) && GridNames(m_form->FindChat(channel)) == names; }, Wait);
    }

private slots:
    void registerJoinAndTalk()
    {
        QVERIFY(Connect(new TfrmIRC, QStringLiteral("pilot")));
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Chat (pilot)"));
        TIrcTestClient wingman;
        QVERIFY(wingman.Register(m_server->Host(), m_server->Port(), QStringLiteral("wingman")));
        wingman.Send(QStringLiteral("JOIN #d3"));
        QVERIFY(wingman.WaitFor(QStringLiteral("366 wingman #d3"), Wait));
        m_form->SendLine(QStringLiteral("JOIN #d3"));
        QVERIFY(Joined(QStringLiteral("#d3"), {"pilot", "@wingman"}));
        TChat *chat = m_form->FindChat(QStringLiteral("#d3"));
        QCOMPARE(m_form->ActiveChat(), chat);
        QVERIFY(wingman.WaitFor(QStringLiteral("JOIN :#d3"), Wait));

        wingman.Send(QStringLiteral("PRIVMSG #d3 :hello <i>all</i>"));
        wingman.Send(QStringLiteral("PRIVMSG #d3 :\x01"
                                    "ACTION loops\x01"));
        QTRY_COMPARE_WITH_TIMEOUT(Rows(chat).size(), 2, Wait);
        QCOMPARE(Rows(chat), (QStringList{"wingman: hello <i>all</i>", "wingman loops"}));
        QCOMPARE(RowColor(chat, 0), QColor(0, 0, 255));
        QCOMPARE(chat->TextView->document()->firstBlock().begin().fragment().charFormat().fontWeight(),
                 int(QFont::Bold));
        QCOMPARE(RowColor(chat, 1), QColor(255, 0, 0));

        wingman.Send(QStringLiteral("PRIVMSG pilot :psst"));
        QTRY_VERIFY_WITH_TIMEOUT(m_form->FindChat(QStringLiteral("wingman")), Wait);
        TChat *priv = m_form->FindChat(QStringLiteral("wingman"));
        QTRY_COMPARE_WITH_TIMEOUT(Rows(priv), QStringList{"wingman: psst"}, Wait);
        QCOMPARE(m_form->ActiveChat(), chat);
        QCOMPARE(m_form->FindUser(QStringLiteral("wingman"))->Host, QStringLiteral("127.0.0.1"));

        m_form->edtChat->setText(QStringLiteral("hi wingman"));
        m_form->edtChatKeyPress();
        QVERIFY(wingman.WaitFor(QStringLiteral("PRIVMSG #d3 :hi wingman"), Wait));
        QCOMPARE(Rows(chat).last(), QStringLiteral("hi wingman"));
    }

    void modesKicksPartsQuits()
    {
        QVERIFY(Connect(new TfrmIRC, QStringLiteral("pilot")));
        TIrcTestClient wingman;
        TIrcTestClient gunner;
        QVERIFY(wingman.Register(m_server->Host(), m_server->Port(), QStringLiteral("wingman")));
        QVERIFY(gunner.Register(m_server->Host(), m_server->Port(), QStringLiteral("gunner")));
        wingman.Send(QStringLiteral("JOIN #d3"));
        QVERIFY(wingman.WaitFor(QStringLiteral("366 wingman #d3"), Wait));
        gunner.Send(QStringLiteral("JOIN #d3,#two"));
        QVERIFY(gunner.WaitFor(QStringLiteral("366 gunner #two"), Wait));
        m_form->SendLine(QStringLiteral("JOIN #d3,#two"));
        QVERIFY(Joined(QStringLiteral("#d3"), {"gunner", "pilot", "@wingman"}));
        QVERIFY(Joined(QStringLiteral("#two"), {"@gunner", "pilot"}));
        TChat *d3 = m_form->FindChat(QStringLiteral("#d3"));

        wingman.Send(QStringLiteral("MODE #d3 +ob-o pilot *!*@10.0.0.1 pilot"));
        QVERIFY(wingman.WaitFor(QStringLiteral("MODE #d3 +o-o pilot pilot"), Wait));
        wingman.Send(QStringLiteral("MODE #d3 +o pilot"));
        QVERIFY(Joined(QStringLiteral("#d3"), {"gunner", "@pilot", "@wingman"}));
        wingman.Send(QStringLiteral("MODE #d3 -o pilot"));
        QVERIFY(Joined(QStringLiteral("#d3"), {"gunner", "pilot", "@wingman"}));

        wingman.Send(QStringLiteral("KICK #d3 gunner :out"));
        QVERIFY(Joined(QStringLiteral("#d3"), {"pilot", "@wingman"}));
        QVERIFY(Rows(m_form->Misc()).contains(QStringLiteral("gunner was kicked from channel d3 by wingman :out")));
        wingman.Send(QStringLiteral("PART #d3 :bye"));
        QVERIFY(Joined(QStringLiteral("#d3"), {"pilot"}));
        QVERIFY(Rows(m_form->Misc()).contains(QStringLiteral("wingman part channel d3")));
        gunner.Send(QStringLiteral("QUIT :done"));
        QVERIFY(Joined(QStringLiteral("#two"), {"pilot"}));
        QVERIFY(Rows(m_form->Misc()).contains(QStringLiteral("gunner quit")));

        m_form->PageControl->setCurrentWidget(d3);
        m_form->btnCloseChatClick();
        QTRY_VERIFY_WITH_TIMEOUT(!m_form->FindChat(QStringLiteral("#d3")), Wait);
        QVERIFY(Rows(m_form->Misc()).contains(QStringLiteral("pilot part channel d3")));
        QVERIFY(m_form->FindChat(QStringLiteral("#two")));
    }

    void channelList()
    {
        TIrcTestClient host;
        QVERIFY(host.Register(m_server->Host(), m_server->Port(), QStringLiteral("host")));
        host.Send(QStringLiteral("JOIN #gamma,#Beta,#alpha"));
        QVERIFY(host.WaitFor(QStringLiteral("366 host #alpha"), Wait));
        QVERIFY(Connect(new TfrmIRC, QStringLiteral("pilot")));
        m_form->mnuRefreshChannelsClick();
        QTRY_VERIFY_WITH_TIMEOUT(!m_form->ListPending(), Wait);
        // The server lists a channel of its own ("&SERVER") beside ours.
        const QAbstractItemModel *grid = m_form->sgrChannels->model();
        QStringList names;
        for (int row = 0; row < grid->rowCount(); ++row) {
            const QString name = grid->index(row, 0).data().toString();
            if (!name.startsWith(QLatin1Char('&')))
                names << name + QLatin1Char('/') + grid->index(row, 1).data().toString();
        }
        QCOMPARE(names, (QStringList{"alpha/1", "Beta/1", "gamma/1"}));
    }

    void nickInUse()
    {
        TIrcTestClient holder;
        QVERIFY(holder.Register(m_server->Host(), m_server->Port(), QStringLiteral("taken")));
        auto *form = new TCountingIRC;
        m_form = form;
        form->setAttribute(Qt::WA_DontShowOnScreen);
        form->show();
        form->ConnectTo(m_server->Host(), m_server->Port(), QStringLiteral("taken"));
        QTRY_COMPARE_WITH_TIMEOUT(form->NickInUseCalls, 1, Wait);
        QVERIFY(Rows(form->Misc()).last().contains(QLatin1String("taken is in use")));
    }

    // Two forms that are both away answer each other once, not for ever.
    void bothAway()
    {
        QPointer<TfrmIRC> beta = new TfrmIRC;
        QVERIFY(Connect(beta, QStringLiteral("beta")));
        QVERIFY(Connect(new TfrmIRC, QStringLiteral("alpha")));
        std::unique_ptr<TfrmIRC> betaOwner(beta.data());
        TfrmIRC *alpha = m_form;
        m_kit->Config->cbxChatAway->setChecked(true);
        alpha->SubmitInput(QStringLiteral("/msg beta hello"));
        QCOMPARE(Rows(alpha->Misc()).last(), QStringLiteral("Msg to beta: hello"));
        QTRY_VERIFY_WITH_TIMEOUT(alpha->FindChat(QStringLiteral("beta")), Wait);
        alpha->SubmitInput(QStringLiteral("/msg beta again"));
        QTRY_VERIFY_WITH_TIMEOUT(beta->FindChat(QStringLiteral("alpha")) &&
                                     Rows(beta->FindChat(QStringLiteral("alpha"))).contains("alpha: again"),
                                 Wait);
        // Anything beta sent before this marker has reached alpha once the marker has.
        beta->SubmitInput(QStringLiteral("/msg alpha marker"));
        TChat *atAlpha = alpha->FindChat(QStringLiteral("beta"));
        QTRY_VERIFY_WITH_TIMEOUT(Rows(atAlpha).contains("beta: marker"), Wait);
        alpha->SubmitInput(QStringLiteral("/msg beta marker two"));
        TChat *atBeta = beta->FindChat(QStringLiteral("alpha"));
        QTRY_VERIFY_WITH_TIMEOUT(Rows(atBeta).contains("alpha: marker two"), Wait);
        QCOMPARE(Rows(atAlpha).filter("(Been away").size(), 1);
        QVERIFY(Rows(atAlpha).first().startsWith("beta: (Been away 0h:00:"));
        QVERIFY(Rows(atBeta).filter("(Been away").size() <= 1);
        m_kit->Config->cbxChatAway->setChecked(false);
    }

    // Operator actions from the user menu, confirmed by the server.
    void operatorActions()
    {
        QVERIFY(Connect(new TfrmIRC, QStringLiteral("pilot")));
        m_form->SendLine(QStringLiteral("JOIN #ops"));
        QVERIFY(Joined(QStringLiteral("#ops"), {"@pilot"}));
        TIrcTestClient wingman;
        QVERIFY(wingman.Register(m_server->Host(), m_server->Port(), QStringLiteral("wingman")));
        wingman.Send(QStringLiteral("JOIN #ops"));
        QVERIFY(Joined(QStringLiteral("#ops"), {"@pilot", "wingman"}));
        TChat *chat = m_form->FindChat(QStringLiteral("#ops"));
        m_form->ActivateChat(chat);
        chat->UserGrid->selectRow(1);
        m_form->mnuOpClick();
        QVERIFY(Joined(QStringLiteral("#ops"), {"@pilot", "@wingman"}));
        m_form->mnuOpClick();
        QVERIFY(Joined(QStringLiteral("#ops"), {"@pilot", "wingman"}));
        m_form->mnuKickBanClick();
        QVERIFY(Joined(QStringLiteral("#ops"), {"@pilot"}));
        QVERIFY(wingman.WaitFor(QStringLiteral("KICK #ops wingman"), Wait));
        wingman.Send(QStringLiteral("JOIN #ops"));
        QVERIFY(wingman.WaitFor(QStringLiteral("474 wingman #ops"), Wait));
    }

    void serverStops()
    {
        QVERIFY(Connect(new TfrmIRC, QStringLiteral("pilot")));
        QSignalSpy destroyed(m_form.data(), &QObject::destroyed);
        m_server->Stop();
        QTRY_COMPARE_WITH_TIMEOUT(destroyed.count(), 1, Wait);
        QCOMPARE(m_kit->Boxes, QStringList{"Connection closed!"});
    }
};

QTEST_MAIN(tst_ChatNgircd)
#include "tst_ChatNgircd.moc"
