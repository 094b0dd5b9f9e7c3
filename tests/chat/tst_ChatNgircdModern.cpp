// The send pace and reconnecting, against a real IRC server (ngircd, default flood limits).
#include "NgircdFormTest.h"

#include "common/IrcTestClient.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTcpSocket>

class tst_ChatNgircdModern : public TNgircdFormTest
{
    Q_OBJECT

    bool Connect(const QString &nick) { return TNgircdFormTest::Connect(new TfrmIRC, nick); }

    bool HasUser(const QString &channel, const QString &nick)
    {
        TChat *chat = m_form ? m_form->FindChat(channel) : nullptr;
        return chat && chat->FindUser(nick);
    }

private slots:
    // Twenty pasted lines at the default pace (5 at once, then one per 2 s): all arrive, in
    // order, and the server keeps us.
    void pastedBlockIsNotAFlood()
    {
        QVERIFY(Connect(QStringLiteral("pilot")));
        TIrcTestClient wingman;
        QVERIFY(wingman.Register(m_server->Host(), m_server->Port(), QStringLiteral("wingman")));
        wingman.Send(QStringLiteral("JOIN #d3"));
        QVERIFY(wingman.WaitFor(QStringLiteral("366 wingman #d3"), Wait));
        m_form->SendLine(QStringLiteral("JOIN #d3"));
        QTRY_VERIFY_WITH_TIMEOUT(HasUser("#d3", "wingman"), Wait);

        QStringList block;
        for (int i = 1; i <= 20; ++i)
            block << QStringLiteral("pasted line %1 of the block").arg(i);
        m_kit->Answer = QMessageBox::Yes;
        QGuiApplication::clipboard()->setText(block.join(QLatin1Char('\n')));
        QElapsedTimer clock;
        clock.start();
        QTest::keySequence(m_form->edtChat, QKeySequence::Paste);
        // Each line consumes what came before it, so a line out of order is never found.
        for (const QString &line : block)
            QVERIFY2(wingman.WaitFor(QStringLiteral("PRIVMSG #d3 :") + line, 60000), qPrintable(line));
        const qint64 took = clock.elapsed();
        // 15 lines after the burst, one per 2 s.
        QVERIFY2(took >= 15 * 2000 - 500, qPrintable(QString::number(took)));
        // Still connected and answered.
        QCOMPARE(m_form->TCP->state(), QAbstractSocket::ConnectedState);
        m_form->SendLine(QStringLiteral("PRIVMSG #d3 :after"));
        QVERIFY(wingman.WaitFor(QStringLiteral("PRIVMSG #d3 :after"), Wait));
        QCOMPARE(m_kit->Boxes.size(), 1); // the question only, never "Connection closed!"
        qInfo("20 pasted lines delivered in %lld ms", took);
    }

    void reconnectsAndRejoinsAfterTheServerCameBack()
    {
        m_kit->Config->cbxChatReconnect->setChecked(true);
        QVERIFY(Connect(QStringLiteral("pilot")));
        m_form->SendLine(QStringLiteral("JOIN #d3,#two"));
        QTRY_VERIFY_WITH_TIMEOUT(HasUser("#d3", "pilot") && HasUser("#two", "pilot"), Wait);

        m_server->Stop();
        QTRY_VERIFY_WITH_TIMEOUT(Rows(m_form->Misc()).join('\n').contains("reconnecting in 2 s"), Wait);
        QVERIFY(m_form->Reconnecting());
        QVERIFY(m_form->FindChat("#d3")); // the conversations stay open
        // An attempt while the server is away fails and the wait doubles.
        QTRY_VERIFY_WITH_TIMEOUT(Rows(m_form->Misc()).join('\n').contains("reconnecting in 4 s"), Wait);
        QVERIFY(m_server->Restart());
        QTRY_VERIFY_WITH_TIMEOUT(HasUser("#d3", "pilot") && HasUser("#two", "pilot"), 30000);
        QVERIFY(Rows(m_form->Misc()).contains(QStringLiteral("Reconnected.")));
        QVERIFY(m_kit->Boxes.isEmpty());

        TIrcTestClient wingman;
        QVERIFY(wingman.Register(m_server->Host(), m_server->Port(), QStringLiteral("wingman")));
        wingman.Send(QStringLiteral("JOIN #d3"));
        wingman.Send(QStringLiteral("PRIVMSG #d3 :welcome back"));
        QTRY_VERIFY_WITH_TIMEOUT(Rows(m_form->FindChat("#d3")).contains(QStringLiteral("wingman: welcome back")), Wait);
    }

    void userQuitAndTheDefaultNeverReconnect()
    {
        m_kit->Config->cbxChatReconnect->setChecked(true);
        QVERIFY(Connect(QStringLiteral("pilot")));
        m_form->edtChat->setText(QStringLiteral("/quit"));
        m_form->edtChatKeyPress();
        QTRY_COMPARE_WITH_TIMEOUT(m_kit->Boxes, QStringList{"Connection closed!"}, Wait);
        QTRY_VERIFY(!m_form);

        m_kit->Boxes.clear();
        m_kit->Config->cbxChatReconnect->setChecked(false);
        QVERIFY(Connect(QStringLiteral("pilot")));
        m_server->Stop();
        QTRY_COMPARE_WITH_TIMEOUT(m_kit->Boxes, QStringList{"Connection closed!"}, Wait);
    }
};

QTEST_MAIN(tst_ChatNgircdModern)
#include "tst_ChatNgircdModern.moc"
