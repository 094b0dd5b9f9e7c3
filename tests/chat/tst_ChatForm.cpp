// What the chat form shows of its session: tabs, lines and their looks, marks and beeps,
// mentions and notifications, the user and channel lists; timers, window settings, and the
// end of a connection.
#include "ChatTestKit.h"
#include "common/FrameStandIn.h"

#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTabBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

namespace {
const QColor Blue(0, 0, 255), Red(255, 0, 0), Green(0, 128, 0);

// A chat form of "me" in #d3 with the operator boss and bob, fed lines without a socket.
std::unique_ptr<TfrmChat> NewForm(const QStringList &lines = {})
{
    auto form = std::make_unique<TfrmChat>();
    form->setAttribute(Qt::WA_DontShowOnScreen);
    form->show();
    form->Session()->SetNick("me");
    for (const QString &line :
         QStringList{":me!~me@127.0.0.1 JOIN :#d3", ":bob!~b@10.0.0.2 JOIN :#d3", ":srv 353 me = #d3 :me @boss bob"} +
             lines)
        form->Session()->HandleLine(line);
    return form;
}

void Feed(TfrmChat *form, const QStringList &lines)
{
    for (const QString &line : lines)
        form->Session()->HandleLine(line);
}

bool Marked(TfrmChat *form, TChat *chat)
{
    return !form->PageControl->tabIcon(form->PageControl->indexOf(chat)).isNull();
}

bool Highlighted(const TChat *chat, int row)
{
    const QTextBlock block = chat->TextView->document()->findBlockByNumber(row);
    return block.begin().fragment().charFormat().background().style() != Qt::NoBrush;
}
} // namespace

class tst_ChatForm : public QObject
{
    Q_OBJECT

    std::unique_ptr<TChatTestKit> m_kit;

private slots:
    void initTestCase() { m_kit = std::make_unique<TChatTestKit>(); }
    void init() { m_kit->Reset(); }
    void cleanupTestCase() { m_kit.reset(); }

    // Tabs follow the session's conversations; "Misc" is first and stays.
    void tabs()
    {
        auto form = NewForm();
        TIrcSession *session = form->Session();
        TChat *d3 = form->FindChat("#d3");
        QCOMPARE(form->ActiveChat(), d3); // our own JOIN shows its tab
        QVERIFY(form->Misc()->IsMisc() && !form->ChatByIndex(0) && !form->ChatByIndex(3));
        QCOMPARE(form->ChatIndex("#D3"), 0);
        TChat *chan = form->GetChat("@#Chan");
        QVERIFY(chan->Name == "#Chan" && session->FindConversation("#Chan"));
        QCOMPARE(form->PageControl->tabText(2), QString("Chan"));
        QCOMPARE(form->PageControl->tabText(form->PageControl->indexOf(form->GetChat("A&B"))), QString("A&&B"));
        Feed(form.get(), {":bob!~b@h PRIVMSG me :psst"});
        TChat *bob = form->FindChat("bob");
        QCOMPARE(GridNames(bob), (QStringList{"bob", "me"}));
        QCOMPARE(form->ActiveChat(), d3); // a private message opens its tab in the background
        Feed(form.get(), {":bob!~b@h NICK :robert", ":robert!~b@h PRIVMSG me :renamed"});
        QCOMPARE(form->FindChat("robert"), bob);
        QCOMPARE(form->PageControl->tabText(form->PageControl->indexOf(bob)), QString("robert"));
        QCOMPARE(Last(bob), QString("robert: renamed"));
        form->CloseChat(form->Misc());
        form->CloseChat(nullptr);
        form->ActivateChat(chan);
        form->CloseChat(chan); // the conversation goes too, the tab before it is shown
        QVERIFY(!session->FindConversation("#Chan"));
        QCOMPARE(form->ActiveChat(), d3);
        Feed(form.get(), {":me!~me@h PART #d3"});
        QVERIFY(!form->FindChat("#d3"));
        form->CloseAllChats();
        QVERIFY(form->ChatCount() == 1 && session->Conversations().isEmpty());
    }

    // A line of the session in its tab: text, colour, and the nick part in bold.
    void lines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("shown"); // tab: row
        QTest::addColumn<QString>("colors");
        struct
        {
            const char *Name, *Line, *Shown, *Colors; // text colour, then nick part colour
        } const rows[] = {
            {"message", ":bob!~b@h PRIVMSG #d3 :<i>hi</i>", "#d3: bob: <i>hi</i>", "#0000ff #000080"},
            {"a friend's message", ":boss!~o@h PRIVMSG #d3 :hi", "#d3: boss: hi", "#0000ff #008000"},
            {"action",
             ":bob!~b@h PRIVMSG #d3 :\x01"
             "ACTION waves\x01",
             "#d3: bob waves", "#ff0000"},
            {"join", ":ann!~a@h JOIN :#d3", "Misc: ann join channel d3", "#008000"},
            {"kick", ":boss!~o@h KICK #d3 bob :out", "Misc: bob was kicked from channel d3 by boss :out", "#0000ff"},
            {"quit", ":bob!~b@h QUIT :x", "Misc: bob quit", "#ff0000"},
            {"message of the day", ":srv 372 me :- hello", "Misc: hello", "#000000"},
            {"any other line, where the user is", "ERROR :closing", "#d3: ERROR :closing", "#ff0000"},
        };
        for (const auto &row : rows)
            QTest::newRow(row.Name) << QString(row.Line) << QString(row.Shown) << QString(row.Colors);
    }

    void lines()
    {
        QFETCH(QString, line);
        SetMemoLines(m_kit->Config->memChatFriends, {" BOSS "});
        auto form = NewForm({line});
        QFETCH(QString, shown);
        TChat *chat = form->FindChat(shown.section(": ", 0, 0));
        QCOMPARE(Last(chat), shown.section(": ", 1));
        const QTextBlock row = chat->TextView->document()->lastBlock();
        QStringList colors{RowColor(chat, -1).name()};
        if (QTextCharFormat first = row.begin().fragment().charFormat(); first.fontWeight() == QFont::Bold)
            colors << first.foreground().color().name();
        QTEST(colors.join(' '), "colors");
    }

    void timeStamp()
    {
        m_kit->Config->cbxChatTimeStamp->setChecked(true);
        auto form = NewForm();
        QVERIFY(QRegularExpression("^\\(\\d\\d:\\d\\d\\) bob join channel d3$").match(Last(form->Misc())).hasMatch());
        const QTextCharFormat stamp = form->Misc()->TextView->document()->lastBlock().begin().fragment().charFormat();
        QCOMPARE(stamp.fontFamilies().toStringList().value(0), QString("Terminal"));
        QCOMPARE(stamp.foreground().color(), QColor(Qt::black));
    }

    // The new-text mark and the beeps: inactive tabs only, private ones for the beep.
    void newTextMarkAndBeeps()
    {
        auto form = NewForm({":bob!~b@h PRIVMSG me :open"});
        TChat *d3 = form->FindChat("#d3");
        TChat *priv = form->FindChat("bob");
        form->ActivateChat(form->Misc());
        m_kit->Config->cbxChatMessageSound->setChecked(true);
        m_kit->Beeps = 0;
        Feed(form.get(), {"ERROR :active", ":bob!~b@h PRIVMSG #d3 :channel"});
        QVERIFY(!Marked(form.get(), form->Misc()) && Marked(form.get(), d3) && m_kit->Beeps == 0);
        Feed(form.get(), {":bob!~b@h PRIVMSG me :private"});
        QVERIFY(Marked(form.get(), priv) && m_kit->Beeps == 1);
        form->ActivateChat(priv);
        QVERIFY(!Marked(form.get(), priv));
        Feed(form.get(), {":bob!~b@h PRIVMSG me :seen"});
        QCOMPARE(m_kit->Beeps, 1);
        form->PageControl->setCurrentWidget(d3);
        QVERIFY(!Marked(form.get(), d3));
        // Only the friend sound: a friend who is in the tab's list.
        m_kit->Config->cbxChatMessageSound->setChecked(false);
        m_kit->Config->cbxChatMessageFriendSound->setChecked(true);
        Feed(form.get(), {":bob!~b@h PRIVMSG me :not a friend"});
        SetMemoLines(m_kit->Config->memChatFriends, {"Bob"});
        Feed(form.get(), {":bob!~b@h PRIVMSG me :a friend"});
        form->AddChatLine(priv, "carl: ", Qt::blue, "not in the list");
        QCOMPARE(m_kit->Beeps, 2);
    }

    // A mention is highlighted and marks its tab until seen; later plain text never hides it.
    // The frame is asked for a notification: a private message, a mention while no window
    // of ours is active, a friend joining; each can be switched off.
    void mentionsAndNotifications()
    {
        TFrameStandIn frame;
        SetMemoLines(m_kit->Config->memChatHighlight, {"anarchy"});
        SetMemoLines(m_kit->Config->memChatFriends, {"wingman"});
        auto form = NewForm({":me!~me@h JOIN :#two"});
        frame.WatchChat(form.get());
        TChat *d3 = form->FindChat("#d3");
        QTabBar *bar = form->PageControl->tabBar();
        const QColor plain = bar->tabTextColor(form->PageControl->indexOf(form->FindChat("#two")));
        Feed(form.get(), {":bob!~b@h PRIVMSG #d3 :plain", ":bob!~b@h PRIVMSG #d3 :ME: over here",
                          ":bob!~b@h PRIVMSG #d3 :more plain",
                          ":bob!~b@h PRIVMSG #d3 :\x01"
                          "ACTION wants Anarchy\x01"});
        QCOMPARE(d3->Activity(), TChat::TActivity::Mention);
        QVERIFY(bar->tabTextColor(form->PageControl->indexOf(d3)) != plain);
        QCOMPARE((QList<bool>{Highlighted(d3, 0), Highlighted(d3, 1), Highlighted(d3, 2), Highlighted(d3, 3)}),
                 (QList<bool>{false, true, false, true}));
        form->ActivateChat(d3);
        QVERIFY(d3->Activity() == TChat::TActivity::None && bar->tabTextColor(bar->currentIndex()) == plain);
        Feed(form.get(), {":bob!~b@h PRIVMSG me :psst", ":wingman!~w@h JOIN :#d3"});
        m_kit->Config->cbxChatNotifyMessage->setChecked(false);
        m_kit->Config->cbxChatNotifyFriendJoin->setChecked(false);
        Feed(form.get(), {":bob!~b@h PRIVMSG me :again", ":wingman!~w@h PART #d3", ":wingman!~w@h JOIN :#d3"});
        QTRY_COMPARE(frame.Notes, (QStringList{"bob in #d3 | ME: over here", "bob in #d3 | bob wants Anarchy",
                                               "Message from bob | psst", "Friend online | wingman joined #d3"}));
    }

    // A tab keeps the newest whole lines, and a quarter of the limit more before the oldest go.
    void linesKept_data()
    {
        QTest::addColumn<int>("kept");
        QTest::addColumn<int>("written");
        QTest::addColumn<int>("oldest"); // the first line left
        QTest::newRow("at the limit") << 20 << 20 << 0;
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
    }

    // The user's selection and place survive new lines and dropped ones; a lowered limit
    // reaches open tabs with the configuration timer, not while the number is typed.
    void selectionAndScrolling()
    {
        TfrmChat form;
        form.setAttribute(Qt::WA_DontShowOnScreen);
        form.show();
        TChat *misc = form.Misc();
        for (int i = 0; i < 200; ++i)
            form.AddChatLine(misc, QString(), Qt::black, QString("line %1").arg(i));
        QScrollBar *bar = misc->TextView->verticalScrollBar();
        QCOMPARE(bar->value(), bar->maximum());
        // The last line selected: appending at the end of a selection must not stretch it.
        QTextCursor cursor(misc->TextView->document()->lastBlock());
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        misc->TextView->setTextCursor(cursor);
        bar->setValue(60);
        form.AddChatLine(misc, QString(), Qt::black, "one more");
        QVERIFY(bar->value() == 60 && misc->TextView->textCursor().selectedText() == "line 199");
        m_kit->Config->show();
        m_kit->Config->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_kit->Config.get()));
        m_kit->Config->speChatLinesKept->setFocus();
        m_kit->Config->speChatLinesKept->SetValue(150);
        form.TimerConfigTimer();
        QCOMPARE(Rows(misc).size(), 201);
        m_kit->Config->hide();
        form.TimerConfigTimer();
        QCOMPARE(Rows(misc).size(), 150);
        QVERIFY(bar->value() == 60 - 51 && misc->TextView->textCursor().selectedText() == "line 199");
        QCOMPARE(misc->TextView->document()->findBlockByLineNumber(bar->value()).text(), QString("line 60"));
    }

    // Users in locale order with "@" for operators, ignored red, friends green; the selection
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
        QCOMPARE(redrawn.size(), 1);
        QCOMPARE(GridNames(d3).mid(400), (QStringList{"bob", "@boss", "me", "@zed"}));
        d3->UserGrid->selectRow(403);
        Feed(form.get(), {":aaron!~a@h JOIN :#d3"});
        QCOMPARE(d3->SelectedUser()->Nick, QString("zed"));
        form->FindUser("bob")->IgnoreState = 1;
        SetMemoLines(m_kit->Config->memChatFriends, {"BOSS"});
        form->RefreshActiveUserList();
        QCOMPARE(d3->UserGrid->item(401, 0)->foreground().color(), Red);
        QCOMPARE(d3->UserGrid->item(402, 0)->foreground().color(), Green);
        Feed(form.get(), {":me!~me@h NICK :pilot"});
        QCOMPARE(GridNames(d3).mid(402), (QStringList{"@boss", "pilot", "@zed"}));
        form->Session()->ClearUsers();
        QVERIFY(GridNames(d3) == QStringList{QString()} && !d3->SelectedUser());
    }

    // The channel list shows the session's, redrawn once per read, and keeps the selected
    // channel as others arrive.
    void channelList()
    {
        auto form = NewForm();
        const QAbstractItemModel *model = form->pnlChannels->sgrChannels->model();
        QSignalSpy redrawn(model, &QAbstractItemModel::modelReset);
        QByteArray list;
        for (int i = 0; i < 400; ++i)
            list += ":srv 322 me #c" + QByteArray::number(i) + " 1 :x\r\n";
        form->Session()->Feed(list);
        QVERIFY(redrawn.size() == 1 && model->rowCount() == 400);
        form->ClearChannels();
        Feed(form.get(),
             {":srv 322 me #gamma 1 :x", ":srv 322 me #d3 1 :x", ":srv 322 me #beta 7 :x", ":ann!~a@h JOIN :#d3"});
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QString("Channel"));
        // An open channel's count follows its users.
        QCOMPARE(model->index(0, 0).data().toString() + model->index(1, 1).data().toString(), QString("beta4"));
        form->pnlChannels->sgrChannels->selectRow(2);
        Feed(form.get(), {":srv 322 me #aardvark 1 :x"});
        QCOMPARE(form->pnlChannels->sgrChannels->currentIndex().data().toString(), QString("gamma"));
    }

    void timers()
    {
        auto form = NewForm();
        QVERIFY(form->TimersEnabled && form->TimerConfig->isActive() && form->TimerChannels->isActive());
        m_kit->Config->speChatChannellistTime->SetValue(5000);
        form->TimerConfigTimer();
        QCOMPARE(form->TimerChannels->interval(), 8000);
        m_kit->Config->cbxChatChannellistTime->setChecked(false);
        form->TimerConfigTimer();
        QVERIFY(!form->TimerChannels->isActive());
        m_kit->Config->cbxChatChannellistTime->setChecked(true);
        form->SetTimersEnabled(false);
        form->TimerConfigTimer();
        QVERIFY(!form->TimerChannels->isActive() && !form->TimerConfig->isActive());
        m_kit->Config->speChatChannellistTime->SetValue(11000);
        m_kit->Config->cbxChatAway->setChecked(true); // the dialog's own switch: seen at the next tick
        form->TimerConfigTimer();
        QCOMPARE(form->edtChat->palette().color(QPalette::Base),
                 QApplication::palette(form->edtChat).color(QPalette::Button));
    }

    void tabPositionAndWindowSize()
    {
        {
            auto form = NewForm();
            form->resize(700, 500);
            form->splChannels->setSizes({150, 550});
        }
        auto form = NewForm();
        QVERIFY(form->size() == QSize(700, 500) && form->pnlChannels->width() == 150);
        for (const auto &[text, position] :
             {std::pair{"Left", QTabWidget::West}, {"Bottom", QTabWidget::South}, {"Sideways", QTabWidget::North}}) {
            m_kit->Config->cmbChatChannelTabsPos->SetText(text);
            form->ApplyTabPosition();
            QCOMPARE(form->PageControl->tabPosition(), position);
        }
    }

    // The close button sits in the top-right corner of the shown conversation, never on Misc.
    void closeButton()
    {
        auto form = NewForm();
        QToolButton *button = form->PageControl->btnCloseChat;
        form->ActivateChat(form->Misc());
        QVERIFY(!button->isVisible());
        TChat *chat = form->GetChat("bob");
        form->ActivateChat(chat);
        const QRect view(chat->TextView->viewport()->mapTo(form->PageControl, QPoint(0, 0)),
                         chat->TextView->viewport()->size());
        QVERIFY(button->isVisible() && view.contains(button->geometry()));
        QVERIFY(button->geometry().right() >= view.right() - 20);
        button->click();
        QVERIFY(!form->FindChat("bob"));
    }

    // The form goes once and tells the frame of every user it had.
    void usersTellTheFrame()
    {
        TFrameStandIn frame;
        auto form = NewForm();
        frame.WatchChat(form.get());
        const QList<TUser *> users = form->KnownUsers;
        form.reset();
        QCOMPARE(frame.Removed, users);
    }

    // A lost connection stops the timers and sets Closing before the one box, and
    // the form goes once; closing the form sends QUIT and is quiet; while a game runs the
    // channel tabs close silently.
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
        QPointer<TfrmChat> form = s.Form;
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
};

QTEST_MAIN(tst_ChatForm)
#include "tst_ChatForm.moc"
