// The chat form: what it shows of its session (tabs, lines, marks, beeps, notifications, the
// scrollback and the user list), detached windows, the end of a connection; then what the
// user does, against a scripted server: typing, menus, the channel list, pastes and logs.
#include "ChatTestKit.h"
#include "chat/ChatPages.h"
#include "chat/UfrmChatWindow.h"
#include "common/FrameStandIn.h"
#include "irc/SendQueue.h"
#include "ui/ChildWindow.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTimer>

namespace {
void Feed(TfrmChat *form, const QStringList &lines)
{
    for (const QString &line : lines)
        form->Session()->HandleLine(line);
}

// A chat form of "me" in #d3 with the operator boss and bob, fed lines without a socket.
std::unique_ptr<TfrmChat> NewForm(const QStringList &lines = {})
{
    auto form = std::make_unique<TfrmChat>();
    form->setAttribute(Qt::WA_DontShowOnScreen);
    form->show();
    form->Session()->SetNick("me");
    Feed(form.get(),
         QStringList{":me!~me@127.0.0.1 JOIN :#d3", ":bob!~b@10.0.0.2 JOIN :#d3", ":srv 353 me = #d3 :me @boss bob"} +
             lines);
    return form;
}

TfrmChatWindow *Detach(TfrmChat *form, TChat *chat)
{
    form->PageControl->setCurrentWidget(chat);
    form->PageControl->Window1->trigger();
    return TfrmChatWindow::Of(chat);
}

QTextCharFormat RowStart(const TChat *chat, int row)
{
    return chat->TextView->document()->findBlockByNumber(row).begin().fragment().charFormat();
}
} // namespace

class tst_ChatForm : public QObject
{
    Q_OBJECT

    std::unique_ptr<TChatTestKit> m_kit;
    std::unique_ptr<QMdiArea> m_frame; // the frame detached windows are children of

    QMdiSubWindow *Sub(QWidget *window) { return qobject_cast<QMdiSubWindow *>(window->parentWidget()); }

private slots:
    void initTestCase()
    {
        m_frame = std::make_unique<QMdiArea>();
        m_frame->setAttribute(Qt::WA_DontShowOnScreen);
        m_frame->show();
        ChildWindow::SetHost([this](QWidget *window) {
            QMdiSubWindow *sub = m_frame->addSubWindow(window);
            sub->setAttribute(Qt::WA_DeleteOnClose);
            QObject::connect(window, &QObject::destroyed, sub, &QObject::deleteLater);
            window->show();
        });
    }
    void init()
    {
        m_kit.reset();
        m_kit = std::make_unique<TChatTestKit>();
    }
    void cleanupTestCase()
    {
        ChildWindow::SetHost({});
        m_frame.reset();
        m_kit.reset();
    }

    // Tabs follow the session's conversations; "Misc" is first and stays. A conversation's
    // line shows in its tab, the server's in Misc, any other where the user is; markup stays
    // text and the nick part is bold; what could not be sent is not shown as sent. The form
    // tells the frame of every user when it goes.
    void tabsAndLines()
    {
        TFrameStandIn frame;
        auto form = NewForm({":bob!~b@h PRIVMSG #d3 :<i>hi</i>",
                             ":bob!~b@h PRIVMSG #d3 :\x01"
                             "ACTION waves\x01",
                             ":boss!~o@h KICK #d3 bob :out", "ERROR :closing"});
        frame.WatchChat(form.get());
        TChat *d3 = form->FindChat("#d3");
        QCOMPARE(form->ActiveChat(), d3); // our own JOIN shows its tab
        QCOMPARE(Rows(d3), (QStringList{"bob: <i>hi</i>", "bob waves", "ERROR :closing"}));
        QCOMPARE(Last(form->Misc()), QString("bob was kicked from channel d3 by boss :out"));
        QVERIFY(RowStart(d3, 0).fontWeight() == QFont::Bold && RowStart(d3, 1).fontWeight() != QFont::Bold);
        TChat *chan = form->GetChat("@#Chan");
        QVERIFY(chan->Name == "#Chan" && form->Session()->FindConversation("#Chan"));
        Feed(form.get(), {":bob!~b@h PRIVMSG me :psst", ":bob!~b@h NICK :robert", ":robert!~b@h PRIVMSG me :again"});
        QCOMPARE(form->ActiveChat(), d3); // a private message opens its tab in the background
        QCOMPARE(form->PageControl->tabText(form->PageControl->indexOf(form->FindChat("robert"))), QString("robert"));
        form->CloseChat(form->Misc());
        form->ActivateChat(chan);
        form->CloseChat(chan); // the conversation goes too
        QVERIFY(!form->Session()->FindConversation("#Chan") && form->ActiveChat() == d3);
        for (const char *typed : {"into the void", "/me waves", "/msg bob hi"})
            form->SubmitInput(QLatin1String(typed)); // no connection
        QCOMPARE(Rows(d3).size(), 3);
        Feed(form.get(), {":me!~me@h PART #d3"});
        QVERIFY(!form->FindChat("#d3"));
        form->CloseAllChats();
        QVERIFY(form->ChatCount() == 1 && form->Misc() && form->Session()->Conversations().isEmpty());
        const QList<TUser *> users = form->KnownUsers;
        form.reset();
        QCOMPARE(frame.Removed, users);
    }

    // Marks and beeps are for tabs not shown, the beep for private ones. A mention is
    // highlighted and marks its tab until seen; plain text after it never hides that. The
    // frame is asked for a notification: a private message, a mention while no window of ours
    // is active, a friend joining; each can be switched off.
    void marksBeepsAndNotifications()
    {
        using A = TChat::TActivity;
        TFrameStandIn frame;
        SetMemoLines(m_kit->Config->memChatHighlight, {"anarchy"});
        SetMemoLines(m_kit->Config->memChatFriends, {"wingman"});
        auto form = NewForm({":bob!~b@h PRIVMSG me :open"});
        frame.WatchChat(form.get());
        TChat *d3 = form->FindChat("#d3");
        TChat *priv = form->FindChat("bob");
        m_kit->Config->cbxChatMessageSound->setChecked(true);
        form->ActivateChat(form->Misc());
        Feed(form.get(), {"ERROR :shown", ":bob!~b@h PRIVMSG #d3 :plain", ":bob!~b@h PRIVMSG #d3 :ME: over here",
                          ":bob!~b@h PRIVMSG #d3 :more plain",
                          ":bob!~b@h PRIVMSG #d3 :\x01"
                          "ACTION wants Anarchy\x01",
                          ":bob!~b@h PRIVMSG me :private"});
        QVERIFY(form->Misc()->Activity() == A::None && priv->Activity() == A::Text && m_kit->Beeps == 1);
        const auto lit = [d3](int row) { return RowStart(d3, row).background().style() != Qt::NoBrush; };
        QVERIFY(d3->Activity() == A::Mention && !lit(0) && lit(1) && !lit(2) && lit(3));
        form->ActivateChat(priv);
        Feed(form.get(), {":bob!~b@h PRIVMSG me :seen"});
        form->PageControl->setCurrentWidget(d3);
        QVERIFY(priv->Activity() == A::None && m_kit->Beeps == 1 && d3->Activity() == A::None);
        Feed(form.get(), {":wingman!~w@h JOIN :#d3"});
        m_kit->Config->cbxChatNotifyMessage->setChecked(false);
        m_kit->Config->cbxChatNotifyFriendJoin->setChecked(false);
        Feed(form.get(), {":bob!~b@h PRIVMSG me :again", ":wingman!~w@h PART #d3", ":wingman!~w@h JOIN :#d3"});
        QTRY_COMPARE(frame.Notes, (QStringList{"Message from bob | open", "bob in #d3 | ME: over here",
                                               "bob in #d3 | bob wants Anarchy", "Message from bob | private",
                                               "Message from bob | seen", "Friend online | wingman joined #d3"}));
    }

    // A tab keeps the newest whole lines, and a quarter of the limit more before the oldest go.
    // A lowered limit reaches open tabs with the configuration timer, once it is typed.
    void linesKept_data()
    {
        QTest::addColumn<int>("kept");
        QTest::addColumn<int>("written");
        QTest::addColumn<int>("oldest"); // the first line left
        QTest::newRow("a quarter over the limit") << 20 << 25 << 0;
        QTest::newRow("one more: back to the limit") << 20 << 26 << 6;
        QTest::newRow("one line") << 1 << 3 << 2;
        QTest::newRow("0 keeps all") << 0 << 300 << 0;
    }

    void linesKept()
    {
        QFETCH(int, kept);
        QFETCH(int, written);
        QFETCH(int, oldest);
        m_kit->Config->speChatLinesKept->SetValue(kept);
        auto form = NewForm();
        QStringList rows;
        for (int i = 0; i < written; ++i) {
            Feed(form.get(), {QString(":bob!~b@h PRIVMSG #d3 :line %1").arg(i)});
            if (i >= oldest)
                rows << QString("bob: line %1").arg(i);
        }
        QCOMPARE(Rows(form->FindChat("#d3")), rows);
        if (kept != 0)
            return;
        QScrollBar *bar = form->FindChat("#d3")->TextView->verticalScrollBar();
        bar->setValue(10);
        Feed(form.get(), {":bob!~b@h PRIVMSG #d3 :one more"}); // a view read further up stays
        QCOMPARE(bar->value(), 10);
        m_kit->Config->show();
        m_kit->Config->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_kit->Config.get()));
        m_kit->Config->speChatLinesKept->setFocus();
        m_kit->Config->speChatLinesKept->SetValue(1); // lowered, but still being typed: nothing goes
        form->TimerConfigTimer();
        QCOMPARE(Rows(form->FindChat("#d3")).size(), 301);
        m_kit->Config->hide();
        form->TimerConfigTimer();
        QCOMPARE(Rows(form->FindChat("#d3")), QStringList{"bob: one more"});
    }

    // Users in locale order with "@" for operators, ignored and friends apart; the selection
    // stays with its user; an emptied list names nobody. Redrawn once per read.
    void userList()
    {
        auto form = NewForm();
        TChat *d3 = form->FindChat("#d3");
        QSignalSpy redrawn(d3, &TChat::OnUsersChanged);
        QByteArray names;
        for (int i = 0; i < 400; ++i)
            names += " Adam" + QByteArray::number(i);
        form->Session()->Feed(":srv 353 me = #d3 :zed" + names + "\r\n:boss!~o@h MODE #d3 +o zed\r\n");
        d3->UserGrid->selectRow(403);
        Feed(form.get(), {":aaron!~a@h JOIN :#d3", ":me!~me@h NICK :pilot"});
        QVERIFY(redrawn.size() == 3 && d3->SelectedUser()->Nick == "zed");
        QCOMPARE(GridNames(d3).mid(401), (QStringList{"bob", "@boss", "pilot", "@zed"}));
        form->FindUser("bob")->IgnoreState = 1;
        SetMemoLines(m_kit->Config->memChatFriends, {"BOSS"});
        form->RefreshActiveUserList();
        const auto color = [d3](int row) { return d3->UserGrid->item(row, 0)->foreground().color(); };
        QVERIFY(color(401) != color(0) && color(402) != color(0) && color(401) != color(402)); // ignored, friend
        form->Session()->ClearUsers();
        QVERIFY(GridNames(d3) == QStringList{QString()} && !d3->SelectedUser());
    }

    // A lost connection stops the timers and sets Closing before the one box, and the form
    // goes once; closing the form sends QUIT and is quiet; while a game runs the channel
    // tabs close silently.
    void connectionEnds_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("the server drops") << "drop" << QStringList{"Connection closed!"};
        QTest::newRow("the form closes") << "close" << QStringList{};
        QTest::newRow("while a game runs") << "game" << QStringList{};
    }

    void connectionEnds()
    {
        QFETCH(QString, how);
        TScriptedChat s;
        QVERIFY(s.Open());
        QSignalSpy destroyed(s.Form.data(), &QObject::destroyed);
        QPointer<TfrmChat> form = s.Form.data();
        bool quietBeforeBox = false;
        m_kit->OnBox = [&](const QString &) {
            quietBeforeBox = form && form->Closing && !form->TimerConfig->isActive();
        };
        if (how == "close") {
            s.Form->close();
            QVERIFY(s.Server.WaitForLine("QUIT"));
        } else if (how == "game") {
            s.Send(":bob!~b@h PRIVMSG me :hi\r\n");
            QVERIFY(s.Sync());
            s.Form->InGame = true;
        }
        s.Server.DropClient();
        if (how == "game")
            QTRY_VERIFY(!s.Chat("#d3") && s.Chat("bob"));
        else
            QTRY_COMPARE(destroyed.count(), 1);
        QTest::qWait(50);
        QTEST(m_kit->Boxes, "boxes");
        QCOMPARE(quietBeforeBox, !m_kit->Boxes.isEmpty());
    }

    // A detached tab takes typed lines and keeps receiving them without the new-text mark;
    // the active chat follows the window the user works in, of its own form only; the close
    // box gives the tab back; "&Part" leaves a channel with one PART, and on Misc only closes
    // the window.
    void detachedWindow()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        ChildWindow::Show(s.Form);
        TChat *chat = s.Chat("#d3");
        TChat *priv = s.Form->GetChat("bob");
        TfrmChatWindow *window = Detach(s.Form, chat);
        QVERIFY(window && s.Form->PageControl->indexOf(chat) == -1 && s.Form->ChatCount() == 3);
        window->edtChat->setText("from the window");
        window->edtChatKeyPress();
        s.Send(":bob!~b@h PRIVMSG #d3 :still reaching you\r\n");
        QCOMPARE(s.Sent(), QStringList{"PRIVMSG #d3 :from the window"});
        QCOMPARE(Rows(chat), (QStringList{"from the window", "bob: still reaching you"}));
        QVERIFY(window->PageControl->tabIcon(0).isNull());
        auto other = std::make_unique<TfrmIRC>(); // another form's window is none of ours
        ChildWindow::Show(other.get());
        s.Form->PageControl->setCurrentWidget(priv);
        m_frame->setActiveSubWindow(Sub(window));
        QVERIFY(s.Form->ActiveChat() == chat && other->ActiveChat() == other->Misc());
        m_frame->setActiveSubWindow(Sub(s.Form));
        QCOMPARE(s.Form->ActiveChat(), priv);
        QSignalSpy gone(window, &QObject::destroyed);
        window->close();
        QTRY_COMPARE(gone.count(), 1);
        QVERIFY(s.Form->PageControl->indexOf(chat) == 1 && chat->HostForm == s.Form);
        for (TChat *tab : {s.Form->Misc(), chat}) {
            QSignalSpy parted(Detach(s.Form, tab), &QObject::destroyed);
            TfrmChatWindow::Of(tab)->Button1->click();
            QTRY_COMPARE(parted.count(), 1);
            QVERIFY(s.Form->PageControl->indexOf(tab) >= 0);
        }
        QCOMPARE(s.Sent(), QStringList{"PART #d3"});
    }

    // Whoever goes first, the form, the window and the tab are freed once each.
    void windowFreedOnce_data()
    {
        QTest::addColumn<QString>("first");
        QTest::newRow("the form closes its tab") << "tab";
        QTest::newRow("the form closes") << "form";
        QTest::newRow("the frame frees the window") << "frame";
    }

    void windowFreedOnce()
    {
        QFETCH(QString, first);
        TScriptedChat s;
        QVERIFY(s.Open());
        TChat *chat = first == "tab" ? s.Form->GetChat("bob") : s.Chat("#d3");
        TfrmChatWindow *window = Detach(s.Form, chat);
        QSignalSpy formGone(s.Form.data(), &QObject::destroyed);
        QSignalSpy windowGone(window, &QObject::destroyed);
        QSignalSpy chatGone(chat, &QObject::destroyed);
        if (first == "tab") {
            s.Form->CloseChat(chat);
        } else if (first == "form") {
            s.Form->close();
            QVERIFY(s.Server.WaitForLine("QUIT"));
        } else {
            delete window->parentWidget();
            QVERIFY(s.Form->PageControl->indexOf(chat) >= 0);
            delete s.Form.data();
        }
        QTRY_VERIFY(windowGone.count() == 1 && chatGone.count() == 1);
        QCOMPARE(formGone.count(), first == "tab" ? 0 : 1);
        s.Server.DropClient(); // a form gone is quiet
        QTest::qWait(20);
        QCOMPARE(m_kit->Boxes.isEmpty(), first != "tab");
    }

    void typed_data()
    {
        QTest::addColumn<bool>("raw"); // the plain IRC form, or the lobby: no raw commands
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("sent");  // the line the server gets
        QTest::addColumn<QString>("shown"); // the last row of the active tab afterwards
        const QString y240(240, 'y');       // a line is cut at 253 bytes
        const struct
        {
            const char *Name;
            bool Raw;
            QString Typed, Sent, Shown;
        } rows[] = {
            {"text in Misc", true, "Misc: hi", "", "Unable to send to Misc: hi"},
            {"text in a channel", false, "hi all", "PRIVMSG #d3 :hi all", "hi all"},
            {"shown as it went out", true, y240 + "cut", "PRIVMSG #d3 :" + y240, y240},
            {"msg by alias", true, "/pm bob two words", "PRIVMSG bob :two words", "Msg to bob: two words"},
            {"me", true, "/me waves",
             "PRIVMSG #d3 :\x01"
             "ACTION waves\x01",
             "me waves"},
            {"me in Misc", true, "Misc: /me waves", "", "Unable to send to Misc: /me waves"},
            {"unknown command, raw", true, "/join #other", "join #other", ""},
            {"unknown command, lobby", false, "/join #other", "", ""},
        };
        for (const auto &row : rows)
            QTest::newRow(row.Name) << row.Raw << row.Typed << row.Sent << row.Shown;
    }

    // Typed into the input line: what goes to the server, and what the tab shows.
    void typed()
    {
        QFETCH(QString, typed);
        QFETCH(QString, sent);
        QFETCH(QString, shown);
        TScriptedChat s;
        QVERIFY(s.Open());
        QFETCH(bool, raw);
        s.Form->RawCommands = raw;
        if (typed.startsWith("Misc: "))
            s.Form->ActivateChat(s.Form->Misc());
        TChat *active = s.Form->ActiveChat();
        const QString before = Last(active);
        s.Form->edtChat->setText(typed.mid(typed.startsWith("Misc: ") ? 6 : 0));
        s.Form->edtChatKeyPress();
        QVERIFY(s.Form->edtChat->text().isEmpty());
        QCOMPARE(s.Sent(), sent.isEmpty() ? QStringList() : QStringList{sent});
        QCOMPARE(Last(active), shown.isEmpty() ? before : shown);
    }

    // Two "Who is?" within 3 s send one WHOIS; ignore, talk and a private tab work on the
    // selected user; the operator items send what the server then decides on.
    void userMenu()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        TChat *chat = s.Chat("#d3");
        s.Form->pumUser->SetChat(chat);
        chat->UserGrid->selectRow(0); // bob
        s.Form->pumUser->mnuWhoIs->trigger();
        s.Form->pumUser->mnuWhoIs->trigger();
        s.Form->TimerWhoisDelayTimer();
        s.Form->mnuWhoIsClick();
        QCOMPARE(s.Sent(), (QStringList{"WHOIS bob", "WHOIS bob"}));
        s.Form->pumUser->mnuIgnore->trigger();
        s.Form->SubmitInput("/IGNORE bob"); // the command toggles as the item does
        s.Form->SubmitInput("/ignore stranger");
        QVERIFY(s.Form->FindUser("bob")->IgnoreState == -1 && !s.Form->FindUser("stranger"));
        QSignalSpy talk(s.Form.data(), &TfrmChat::TalkWanted);
        s.Form->pumUser->mnuUserTalk->trigger();
        QCOMPARE(talk.value(0), (QVariantList{"10.0.0.2", "me"}));
        s.Form->mnuOpClick();
        s.Form->mnuKickBanClick();
        chat->UserGrid->selectRow(1); // @boss, host not known
        s.Form->mnuOpClick();
        s.Form->mnuBanClick();
        chat->UserGrid->clearSelection();
        s.Form->mnuOpClick(); // nobody selected
        QCOMPARE(s.Sent(), (QStringList{"MODE #d3 +o bob", "KICK #d3 bob", "MODE #d3 +b *!*@10.0.0.2",
                                        "MODE #d3 -o boss", "MODE #d3 +b boss!*@*"}));
        QVERIFY(!chat->IsOp("bob")); // until the server says so
        chat->UserGrid->selectRow(0);
        s.Form->sgrUsersDblClick(chat); // the plain IRC form opens the private tab
        QCOMPARE(s.Form->ActiveChat(), s.Chat("bob"));
    }

    // Close on a channel sends one PART and keeps the tab until the server confirms; the
    // channel list joins a channel; no timed LIST while one arrives.
    void channels()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        s.Send(":srv 322 me #zone 5 :y\r\n");
        s.Form->btnCloseChatClick();
        QVERIFY(s.Sent() == QStringList{"PART #d3"} && s.Chat("#d3"));
        s.Form->pnlChannels->sgrChannels->selectRow(0);
        s.Form->sgrChannelsDblClick();
        s.Form->TimerChannelsTimer();
        s.Form->TimerChannelsTimer();
        QCOMPARE(s.Sent(), (QStringList{"JOIN #zone", "LIST"}));
        s.Send(":srv 323 me :End of LIST\r\n");
        QVERIFY(s.Sync());
        s.Form->TimerChannelsTimer();
        s.Form->pnlChannels->mnuRefreshChannels->trigger(); // empties the list and asks again
        QVERIFY(s.Form->Session()->ChannelCount() == 0 && s.Sent() == (QStringList{"LIST", "LIST"}));
    }

    // More than five lines ask first; the block goes at the pace, with what was typed around
    // it, blank lines left out, each line shown as sent; declining sends nothing.
    void pastedBlock()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        m_kit->Config->speChatSendInterval->SetValue(20);
        s.Form->TimerConfigTimer();
        QTRY_VERIFY(s.Form->Session()->SendQueue()->Rested());
        m_kit->Answer = QMessageBox::Yes;
        s.Form->edtChat->setText("first ");
        QStringList block, expected;
        for (int i = 1; i <= 20; ++i) {
            block << QString("line %1").arg(i);
            expected << "PRIVMSG #d3 :" + (i == 1 ? "first 1" : block.last());
        }
        const auto paste = [&s](const QString &text) {
            QGuiApplication::clipboard()->setText(text);
            QTest::keySequence(s.Form->edtChat, QKeySequence::Paste);
        };
        paste(block.join("\n\n").mid(5) + "\n");
        QVERIFY(m_kit->Boxes.size() == 1 && s.Form->edtChat->text().isEmpty() &&
                s.Form->Session()->SendQueue()->Pending() > 0); // asked, then at the pace
        QTRY_COMPARE(s.Server.Received().filter("PRIVMSG"), expected);
        QCOMPARE(Rows(s.Chat("#d3")), expected.replaceInStrings("PRIVMSG #d3 :", ""));
        s.Server.ClearReceived();
        m_kit->Answer = QMessageBox::No;
        paste(block.first(6).join('\n'));
        paste("a\r\nb");
        QTRY_COMPARE(s.Server.Received(), (QStringList{"PRIVMSG #d3 :a", "PRIVMSG #d3 :b"}));
    }

    // Tab completes a nick, the last speaker first, and again the next; Up recalls what was
    // sent, the same line once, and Down gives back what was being typed.
    void keys()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        s.Send(":boss!~o@h PRIVMSG #d3 :alpha Beta\r\n:bob!~b@h PRIVMSG #d3 :gamma\r\n");
        QVERIFY(s.Sync());
        QLineEdit *input = s.Form->edtChat;
        for (const char *typed : {"b", "b", ""}) {
            QTest::keyClicks(input, typed);
            QTest::keyClick(input, Qt::Key_Tab);
        }
        QTest::keyClick(input, Qt::Key_Return);
        QTest::keyClicks(input, "bob: boss ");
        QTest::keyClick(input, Qt::Key_Return);
        QTest::keyClicks(input, "half");
        QStringList shown;
        for (Qt::Key key : {Qt::Key_Up, Qt::Key_Up, Qt::Key_Down}) {
            QTest::keyClick(input, key);
            shown << input->text();
        }
        QCOMPARE(s.Sent(), (QStringList{"PRIVMSG #d3 :bob: boss ", "PRIVMSG #d3 :bob: boss "}));
        QCOMPARE(shown, (QStringList{"bob: boss ", "bob: boss ", "half"}));
    }

    // A log keeps what the view drops; one that cannot be written is told once in Misc, and
    // the chat goes on.
    void logs()
    {
        m_kit->Config->cbxChatLog->setChecked(true);
        const QString folder = ChatLogFolder();
        QVERIFY(folder.contains("qttest")); // never the user's own data
        QDir(folder).removeRecursively();
        for (bool blocked : {false, true}) {
            m_kit->Config->speChatLinesKept->SetValue(blocked ? 0 : 1);
            QFile blocker(folder);
            QVERIFY(!blocked || blocker.open(QIODevice::WriteOnly));
            TScriptedChat s;
            QVERIFY(s.Open());
            s.Send(":bob!~b@h PRIVMSG #d3 :first\r\n:bob!~b@h PRIVMSG #d3 :second\r\n");
            QVERIFY(s.Sync());
            QTest::qWait(20);
            QCOMPARE(Last(s.Chat("#d3")), QString("bob: second"));
            const qsizetype told = Rows(s.Form->Misc()).filter("Unable to write the conversation log").size();
            QVERIFY(blocked ? told >= 1 && told <= 2 : told == 0); // at most once for Misc and once for #d3
            QFile log(QDir(folder).filePath("#d3_" + QDate::currentDate().toString(Qt::ISODate) + ".log"));
            QVERIFY(blocked || (log.open(QIODevice::ReadOnly) && log.readAll().contains("] bob: first\n[")));
            QDir(folder).removeRecursively();
        }
        QFile::remove(folder);
        QVERIFY(m_kit->Boxes.isEmpty());
    }
};

QTEST_MAIN(tst_ChatForm)
#include "tst_ChatForm.moc"
