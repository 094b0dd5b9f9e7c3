// What the user does in a chat form, against a scripted server: typed text and commands,
// away and ignore, the user menu and operator actions, the channel list, pasted blocks at
// the send pace, the input line's keys, the find bar and conversation logs.
#include "ChatTestKit.h"
#include "chat/ChatFindBar.h"
#include "chat/ChatPages.h"
#include "irc/SendQueue.h"

#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>
#include <QTimer>

namespace {
const QColor Gray(128, 128, 128), Green(0, 128, 0), Red(255, 0, 0), Teal(0, 128, 128);

void Paste(QLineEdit *input, const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
    QTest::keySequence(input, QKeySequence::Paste);
}

QStringList Numbered(const QString &stem, int count)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << stem + QString::number(i);
    return lines;
}
} // namespace

class tst_ChatInput : public QObject
{
    Q_OBJECT

    std::unique_ptr<TChatTestKit> m_kit;

private slots:
    void initTestCase() { m_kit = std::make_unique<TChatTestKit>(); }
    void init() { m_kit->Reset(); }
    void cleanupTestCase() { m_kit.reset(); }

    // The plain IRC form registers with its configured full name; its caption has the nick.
    void registration()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        QCOMPARE(s.Registration.size(), 2);
        QVERIFY(QRegularExpression("^USER Test \\S+ 127\\.0\\.0\\.1 :Test Player$")
                    .match(s.Registration.value(0))
                    .hasMatch());
        QCOMPARE(s.Registration.value(1), QString("NICK me"));
        QCOMPARE(s.Form->windowTitle(), QString("Chat (me)"));
    }

    void typed_data()
    {
        QTest::addColumn<bool>("raw"); // plain IRC form (raw commands) or as the lobby has it
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("sent"); // lines the server gets
        QTest::addColumn<QString>("shown");    // tab: last row of the active tab afterwards; its colour
        const QString y239(239, 'y');
        struct
        {
            const char *Name;
            bool Raw;
            QString Typed, Sent, Shown;
        } const rows[] = {
            {"text in Misc", true, "Misc: hello", "", "Misc: Unable to send to Misc: hello #808080"},
            {"text in a channel", false, "hello all", "PRIVMSG #d3 :hello all", "hello all #008080"},
            {"msg without text", true, "/msg bob", "", ""},
            {"msg with words", true, "/MSG bob several words", "PRIVMSG bob :several words",
             "Msg to bob: several words #008000"},
            {"me", true, "/me waves",
             "PRIVMSG #d3 :\x01"
             "ACTION waves\x01",
             "me waves #ff0000"},
            {"me in Misc", true, "Misc: /me waves", "", "Misc: Unable to send to Misc: /me waves #808080"},
            {"pm alias", true, "/pm bob hi", "PRIVMSG bob :hi", "Msg to bob: hi #008000"},
            {"unknown command, raw", true, "/join #other", "join #other", ""},
            {"unknown command, lobby", false, "/join #other", "", ""},
            {"cut never splits a character", true, y239 + "\u00e9\u00e9", "PRIVMSG #d3 :" + y239, y239 + " #008080"},
        };
        for (const auto &row : rows)
            QTest::newRow(row.Name) << row.Raw << row.Typed
                                    << (row.Sent.isEmpty() ? QStringList() : QStringList{row.Sent}) << row.Shown;
    }

    // Typed into the input line: what goes to the server, and what the tab shows.
    void typed()
    {
        QFETCH(bool, raw);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        TScriptedChat s;
        QVERIFY(s.Open(raw));
        if (typed.startsWith("Misc: "))
            s.Form->ActivateChat(s.Form->Misc());
        TChat *active = s.Form->ActiveChat();
        const QString before = Last(active);
        s.Form->edtChat->setText(typed.mid(typed.startsWith("Misc: ") ? 6 : 0));
        s.Form->edtChatKeyPress();
        QVERIFY(s.Form->edtChat->text().isEmpty());
        QTEST(s.Sent(), "sent");
        shown = shown.mid(shown.startsWith("Misc: ") ? 6 : 0);
        QCOMPARE(Last(active), shown.isEmpty() ? before : shown.section(' ', 0, -2));
        if (!shown.isEmpty())
            QCOMPARE(RowColor(active, -1).name(), shown.section(' ', -1));
    }

    // Nothing went out (no connection): nothing is shown as sent.
    void notShownWhenNotSent()
    {
        TfrmChat form;
        form.Session()->SetNick(QString("me"));
        form.Session()->HandleLine(QString(":me!~me@h JOIN :#d3"));
        form.Session()->HandleLine(QString(":bob!~b@h JOIN :#d3"));
        TChat *chat = form.FindChat(QString("#d3"));
        const QStringList rows = Rows(chat);
        for (const char *typed : {"into the void", "/me waves", "/msg bob hi"})
            form.SubmitInput(QLatin1String(typed));
        QCOMPARE(Rows(chat), rows);
    }

    // The away command through the settings; while away a private message is answered.
    void away()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        TfrmConfig *config = m_kit->Config.get();
        SetMemoLines(config->memChatAway, {"zero", "one", "two", "three"});
        const auto away = [&](const char *typed) {
            s.Form->SubmitInput(QLatin1String(typed));
            return (config->cbxChatAway->isChecked() ? "on " : "off ") + config->lblChatAway->text();
        };
        QCOMPARE(away("/away 3"), QString("on three"));
        QCOMPARE(config->speChatAway->Value(), 3);
        QCOMPARE(away("/away 0"), QString("on zero"));
        QCOMPARE(away("/away 9"), QString("on I'm away..."));
        QCOMPARE(away("/away gone fishing"), QString("on gone fishing"));
        const QPalette standard = QApplication::palette(s.Form->edtChat);
        QCOMPARE(s.Form->edtChat->palette().color(QPalette::Base), standard.color(QPalette::Button));
        s.Send(":bob!~b@h PRIVMSG me :there?\r\n");
        QCOMPARE(s.Sent(), QStringList{"PRIVMSG bob :(Been away 0h:00:00) gone fishing"});
        QCOMPARE(away("/away"), QString("off gone fishing"));
        QCOMPARE(s.Form->edtChat->palette().color(QPalette::Base), standard.color(QPalette::Base));
        QCOMPARE(away("/away"), QString("on gone fishing"));
        QCOMPARE(away("/back"), QString("off gone fishing"));
        QCOMPARE(s.Sent(), QStringList{});
    }

    // Two "Who is?" within 3 s send one WHOIS; after the delay the next one goes.
    void userMenu()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        TChat *chat = s.Chat("#d3");
        chat->UserGrid->selectRow(0); // bob
        s.Sent();
        s.Form->pumUser->mnuWhoIs->trigger();
        s.Form->pumUser->mnuWhoIs->trigger();
        QCOMPARE(s.Sent(), QStringList{"WHOIS bob"});
        QVERIFY(s.Form->FindUser(QString("bob"))->InfoRequested);
        QVERIFY(s.Form->TimerWhoisDelay->isActive());
        s.Form->TimerWhoisDelayTimer();
        chat->UserGrid->selectRow(1);
        s.Form->mnuWhoIsClick();
        QCOMPARE(s.Sent(), QStringList{"WHOIS boss"});
        chat->UserGrid->selectRow(0);
        emit s.Form->pumUser->aboutToShow();
        QVERIFY(!s.Form->pumUser->mnuIgnore->isChecked());
        s.Form->pumUser->mnuIgnore->trigger();
        emit s.Form->pumUser->aboutToShow();
        QVERIFY(s.Form->pumUser->mnuIgnore->isChecked());
        QSignalSpy talk(s.Form.data(), &TfrmChat::TalkWanted);
        s.Form->pumUser->mnuUserTalk->trigger();
        QCOMPARE(talk.value(0), (QVariantList{"10.0.0.2", "me"}));
        s.Form->ToggleFriendClick();
        QCOMPARE(MemoLines(m_kit->Config->memChatFriends), QStringList{"bob"});
        SetMemoLines(m_kit->Config->memChatFriends, {"carl", "BOB", "bob"});
        s.Form->ToggleFriendClick();
        QCOMPARE(MemoLines(m_kit->Config->memChatFriends), (QStringList{"carl", "bob"}));
        s.Form->mnuMessageClick();
        QCOMPARE(s.Form->ActiveChat(), s.Chat("bob"));
        // The ignore command toggles as the item does; a stranger is nobody to ignore.
        s.Form->SubmitInput("/IGNORE bob");
        QCOMPARE(s.Form->FindUser("bob")->IgnoreState, -1);
        s.Form->SubmitInput("/ignore bob");
        QVERIFY(s.Form->FindUser("bob")->IgnoreState == 1 && chat->UserGrid->item(0, 0)->foreground().color() == Red);
        s.Form->SubmitInput("/ignore stranger");
        QVERIFY(!s.Form->FindUser("stranger"));
        // A double-click in the plain IRC form opens the private tab as well.
        chat->UserGrid->selectRow(1);
        s.Form->sgrUsersDblClick(chat);
        QCOMPARE(s.Form->ActiveChat(), s.Chat("boss"));
    }

    // The model changes only when the server answers.
    void operatorActions()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        auto *irc = static_cast<TfrmIRC *>(s.Form.data());
        TChat *chat = s.Chat("#d3");
        s.Form->pumUser->SetChat(chat);
        s.Sent();
        irc->mnuOpClick();            // nobody selected
        chat->UserGrid->selectRow(0); // bob
        irc->mnuOpClick();
        chat->UserGrid->selectRow(1); // @boss, whose host is not known
        irc->mnuBanClick();
        irc->mnuOpClick();
        chat->UserGrid->selectRow(0);
        irc->mnuKickBanClick();
        QCOMPARE(s.Sent(), (QStringList{"MODE #d3 +o bob", "MODE #d3 +b *!*@", "MODE #d3 -o boss", "KICK #d3 bob",
                                        "MODE #d3 +b *!*@10.0.0.2"}));
        QVERIFY(!chat->IsOp(QString("bob")));
    }

    // Close on a channel sends one PART and keeps the tab until the server confirms; the
    // channel list joins a channel, or shows its open tab; no timed LIST while one arrives.
    void channels()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        s.Send(":srv 322 me #d3 1 :x\r\n:srv 322 me #zone 5 :y\r\n");
        s.Sent();
        s.Form->btnCloseChatClick();
        QCOMPARE(s.Sent(), QStringList{"PART #d3"});
        QVERIFY(s.Chat("#d3"));
        QTableView *grid = s.Form->pnlChannels->sgrChannels;
        grid->selectRow(1);
        s.Form->sgrChannelsDblClick();
        QCOMPARE(s.Sent(), QStringList{"JOIN #zone"});
        s.Form->ActivateChat(s.Form->Misc());
        grid->selectRow(0);
        s.Form->pnlChannels->Join1->trigger();
        QCOMPARE(s.Form->ActiveChat(), s.Chat("#d3"));
        s.Form->TimerChannelsTimer();
        s.Form->TimerChannelsTimer();
        s.Send(":srv 322 me #a 3 :x\r\n");
        QCOMPARE(s.Sent(), QStringList{"LIST"});
        s.Send(":srv 323 me :End of LIST\r\n");
        s.Sync();
        s.Form->TimerChannelsTimer();
        QCOMPARE(s.Sent(), QStringList{"LIST"});
        s.Form->pnlChannels->mnuRefreshChannels->trigger(); // empties the list and asks again
        QCOMPARE(s.Form->Session()->ChannelCount(), 0);
        QCOMPARE(s.Sent(), QStringList{"LIST"});
    }

    // More than five lines ask first; the burst goes at once, the rest at the configured
    // pace, each shown as sent; an answer to the server never waits behind them.
    void pastedBlock()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        m_kit->Config->speChatSendInterval->SetValue(150);
        s.Form->TimerConfigTimer();
        QTRY_VERIFY(s.Form->Session()->SendQueue()->Rested());
        s.Sent();
        m_kit->Answer = QMessageBox::Yes;
        s.Form->edtChat->setText(QString("first "));
        QElapsedTimer clock;
        clock.start();
        Paste(s.Form->edtChat, Numbered(QString("line "), 20).join(QLatin1Char('\n')).mid(5) + "\n");
        QCOMPARE(m_kit->Boxes.size(), 1);
        QVERIFY(s.Form->edtChat->text().isEmpty());
        s.Server.SendLine(QString("PING :now"));
        QVERIFY(s.Server.WaitForLine(QString("PONG :now")));
        QVERIFY2(s.Server.Received().size() < 20, "the answer waited for the block");
        QStringList expected;
        for (const QString &line : Numbered(QString("line "), 20))
            expected << QString("PRIVMSG #d3 :") + (expected.isEmpty() ? "first 1" : line);
        QTRY_COMPARE_WITH_TIMEOUT(s.Server.Received().filter(QString("PRIVMSG")), expected, 10000);
        QVERIFY2(clock.elapsed() >= 15 * 150 - 40, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(Rows(s.Chat("#d3")).size(), 20);
        QCOMPARE(s.Chat("#d3")->History.Count(), 20);
        // A few lines go without a question; declining sends nothing; one line is a paste.
        s.Server.ClearReceived();
        m_kit->Boxes.clear();
        Paste(s.Form->edtChat, QString("a\r\n\r\nb\rc"));
        m_kit->Answer = QMessageBox::No;
        Paste(s.Form->edtChat, Numbered(QString("x"), 6).join(QLatin1Char('\n')));
        Paste(s.Form->edtChat, QString("plain"));
        QCOMPARE(s.Form->edtChat->text(), QString("plain"));
        QCOMPARE(m_kit->Boxes.size(), 1);
        QTRY_COMPARE(s.Server.Received(), (QStringList{"PRIVMSG #d3 :a", "PRIVMSG #d3 :b", "PRIVMSG #d3 :c"}));
    }

    void completionAndHistoryKeys()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        s.Send(":boss!~o@h PRIVMSG #d3 :ready\r\n");
        QVERIFY(s.Sync());
        QLineEdit *input = s.Form->edtChat;
        input->setFocus();
        QTest::keyClicks(input, QString("b"));
        QTest::keyClick(input, Qt::Key_Tab); // the last speaker first
        QCOMPARE(input->text(), QString("boss: "));
        QTest::keyClicks(input, QString("go b"));
        QTest::keyClick(input, Qt::Key_Tab);
        QTest::keyClick(input, Qt::Key_Tab); // again: the next match
        QCOMPARE(input->text(), QString("boss: go bob "));
        QTest::keyClick(input, Qt::Key_Return);
        QTest::keyClicks(input, QString("second"));
        QTest::keyClick(input, Qt::Key_Return);
        QCOMPARE(s.Sent(), (QStringList{"PRIVMSG #d3 :boss: go bob ", "PRIVMSG #d3 :second"}));
        QTest::keyClicks(input, QString("half typed"));
        QTest::keyClick(input, Qt::Key_Up);
        QCOMPARE(input->text(), QString("second"));
        QTest::keyClick(input, Qt::Key_Up);
        QTest::keyClick(input, Qt::Key_Down);
        QTest::keyClick(input, Qt::Key_Down);
        QCOMPARE(input->text(), QString("half typed"));
        s.Form->ActivateChat(s.Form->Misc()); // a tab of its own history
        QTest::keyClick(input, Qt::Key_Up);
        QCOMPARE(input->text(), QString("half typed"));
    }

    void findBar()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        s.Send(":bob!~b@h PRIVMSG #d3 :alpha Beta\r\n:boss!~o@h PRIVMSG #d3 :gamma beta\r\n");
        QVERIFY(s.Sync());
        TChat *d3 = s.Chat("#d3");
        QTest::keySequence(s.Form->edtChat, QKeySequence::Find);
        TChatFindBar *bar = s.Form->pnlFind;
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->View(), d3->TextView);
        const auto found = [d3] { return d3->TextView->textCursor().blockNumber(); };
        QTest::keyClicks(bar->edtFind, QString("beta"));
        QCOMPARE(d3->TextView->textCursor().selectedText(), QString("Beta"));
        QTest::keyClick(bar->edtFind, Qt::Key_Return);
        QCOMPARE(found(), 1);
        QTest::keyClick(bar->edtFind, Qt::Key_Return); // wraps to the first
        QCOMPARE(found(), 0);
        QTest::keyClick(bar->edtFind, Qt::Key_Return, Qt::ShiftModifier); // previous wraps back
        QCOMPARE(found(), 1);
        bar->cbxFindCase->setChecked(true);
        bar->edtFind->setText(QString("Beta"));
        QVERIFY(bar->Find(false) && found() == 0 && bar->Find(false) && found() == 0);
        bar->edtFind->setText(QString("delta"));
        QVERIFY(!bar->Find(false));
        QVERIFY(bar->NotFound());
        // The match goes with its line; the search goes on in what is kept.
        m_kit->Config->speChatLinesKept->SetValue(1);
        s.Send(":boss!~o@h PRIVMSG #d3 :delta beta\r\n");
        QVERIFY(s.Sync());
        QVERIFY(bar->Find(false));
        QCOMPARE(d3->TextView->textCursor().selectedText(), QString("delta"));
        QTest::keyClick(bar->edtFind, Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
    }

    // Logs stay in their folder whatever the conversation's name; a log that cannot be
    // written is told once in Misc, and the chat goes on.
    void logs()
    {
        m_kit->Config->cbxChatLog->setChecked(true);
        const QString folder = ChatLogFolder();
        QVERIFY(folder.contains(QString("qttest"))); // never the user's own data
        QDir(folder).removeRecursively();
        {
            TScriptedChat s;
            QVERIFY(s.Open());
            m_kit->Config->speChatLinesKept->SetValue(1); // the log keeps what the view drops
            s.Send(":bob!~b@h PRIVMSG #d3 :logged line\r\n:bob!~b@h PRIVMSG #d3 :second line\r\n"
                   ":../../evil!u@h PRIVMSG me :escape attempt\r\n");
            QVERIFY(s.Sync());
            QVERIFY(s.Chat("../../evil"));
            QVERIFY(s.Form->PageControl->pumChat->actions().contains(s.Form->PageControl->mnuChatOpenLogFolder));
        }
        const QStringList files = QDir(folder).entryList(QDir::Files);
        QVERIFY2(files.size() >= 3, qPrintable(files.join(',')));
        QVERIFY(!QFileInfo::exists(QDir(folder).filePath(QString("../../evil"))));
        QFile d3(QDir(folder).filePath(QString("#d3_%1.log").arg(QDate::currentDate().toString("yyyy-MM-dd"))));
        QVERIFY(d3.open(QIODevice::ReadOnly));
        QVERIFY(
            QString::fromUtf8(d3.readAll()).contains(QRegularExpression("bob: logged line\n.* bob: second line\n")));

        m_kit->Config->speChatLinesKept->SetValue(0);
        QDir(folder).removeRecursively();
        QDir().mkpath(QFileInfo(folder).path());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TScriptedChat s;
        QVERIFY(s.Open());
        s.Send(":bob!~b@h PRIVMSG #d3 :one\r\n:bob!~b@h PRIVMSG #d3 :two\r\n");
        QVERIFY(s.Sync());
        QTest::qWait(20);
        QCOMPARE(Rows(s.Chat("#d3")), (QStringList{"bob: one", "bob: two"}));
        const int told = int(Rows(s.Form->Misc()).filter(QString("Unable to write the conversation log")).size());
        QVERIFY(told >= 1 && told <= 2); // at most once for Misc and once for #d3
        QVERIFY(m_kit->Boxes.isEmpty());
        QFile::remove(folder);
    }
};

QTEST_MAIN(tst_ChatInput)
#include "tst_ChatInput.moc"
