// The chat model's lookups and ownership, and what the views show.
#include "ChatTestKit.h"
#include "common/FrameStandIn.h"

#include <QRegularExpression>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

namespace {
// Counts what the main window is told.

std::unique_ptr<TfrmChat> NewForm()
{
    auto form = std::make_unique<TfrmChat>();
    form->setAttribute(Qt::WA_DontShowOnScreen);
    form->show();
    return form;
}
} // namespace

class tst_ChatViews : public QObject
{
    Q_OBJECT

    std::unique_ptr<TChatTestKit> m_kit;

private slots:
    void initTestCase() { m_kit = std::make_unique<TChatTestKit>(); }
    void init() { m_kit->Reset(); }
    void cleanupTestCase() { m_kit.reset(); }

    void lookups()
    {
        auto form = NewForm();
        QCOMPARE(form->ChatCount(), 1);
        QCOMPARE(form->ChatByIndex(1)->Name, QStringLiteral("Misc"));
        QVERIFY(!form->ChatByIndex(0));
        QVERIFY(!form->ChatByIndex(2));
        form->CloseChat(form->Misc());
        form->CloseChat(nullptr);
        QCOMPARE(form->ChatCount(), 1);
        TChat *chat = form->GetChat(QStringLiteral("@#Chan"));
        QCOMPARE(chat->Name, QStringLiteral("#Chan"));
        QCOMPARE(form->PageControl->tabText(form->PageControl->indexOf(chat)), QStringLiteral("Chan"));
        QCOMPARE(form->GetChat(QStringLiteral("#Chan")), chat);
        QCOMPARE(form->ChatIndex(QStringLiteral("#Chan")), 2);
        QCOMPARE(form->ChatIndex(QStringLiteral("#chan")), 0);
        QCOMPARE(form->GetChat(QStringLiteral("A&B"))->Name, QStringLiteral("A&B"));
        QCOMPARE(form->PageControl->tabText(3 - 1), QStringLiteral("A&&B"));

        TUser *bob = form->FindOrAddUser(QStringLiteral("@bob"));
        QCOMPARE(bob->Nick, QStringLiteral("bob"));
        QVERIFY(bob->PingPending);
        QCOMPARE(form->FindUser(QStringLiteral("@bob")), bob);
        QCOMPARE(form->FindOrAddUser(QStringLiteral("bob")), bob);
        QVERIFY(!form->FindUser(QStringLiteral("Bob")));
        QVERIFY(!form->FindOrAddUser(QStringLiteral("@")));
        QCOMPARE(form->UserByIndex(0), bob);
        QVERIFY(!form->UserByIndex(1));
        QVERIFY(!form->UserByIndex(-1));
        bob->DisplayName = QStringLiteral("Bob B");
        QCOMPARE(form->FindUserByDisplayName(QStringLiteral("Bob B")), bob);
        chat->AddUser(bob);
        chat->AddUser(bob);
        QCOMPARE(chat->Users.size(), 1);
        QCOMPARE(chat->FindUser(QStringLiteral("@bob")), bob);
        form->CloseChat(chat);
        QCOMPARE(form->ChatCount(), 2);
        QCOMPARE(form->ActiveChat(), form->Misc());
        form->CloseAllChats();
        QCOMPARE(form->ChatCount(), 1);
        QCOMPARE(form->ActiveChat(), form->Misc());
    }

    // 1 then -1, and a later merge without ignore information keeps the state.
    void mergeRule()
    {
        auto form = NewForm();
        TUser *bob = form->FindOrAddUser(QStringLiteral("bob"));
        form->ToggleIgnore(QStringLiteral("bob"));
        QCOMPARE(bob->IgnoreState, 1);
        form->ToggleIgnore(QStringLiteral("bob"));
        QCOMPARE(bob->IgnoreState, -1);
        form->ToggleIgnore(QStringLiteral("nobody"));
        QCOMPARE(form->UserCount(), 1);
        TUser temporary(nullptr, QStringLiteral("bob"));
        temporary.Host = QStringLiteral("  10.0.0.9 ");
        temporary.TrackerId = QStringLiteral("   ");
        temporary.Kills = 7;
        form->MergeUser(temporary);
        QCOMPARE(bob->IgnoreState, -1);
        QCOMPARE(bob->Host, QStringLiteral("10.0.0.9"));
        QVERIFY(bob->TrackerId.isEmpty());
        QCOMPARE(bob->Kills, 7u);
        TUser empty(nullptr, QStringLiteral("bob"));
        form->MergeUser(empty);
        QCOMPARE(bob->Host, QStringLiteral("10.0.0.9"));
        QCOMPARE(bob->Kills, 7u);
    }

    void usersTellTheMainWindow()
    {
        TFrameStandIn services;
        auto form = NewForm();
        services.WatchChat(form.get());
        TUser *a = form->FindOrAddUser(QStringLiteral("a"));
        TUser *b = form->FindOrAddUser(QStringLiteral("b"));
        form->GetChat(QStringLiteral("#x"))->AddUser(a);
        form.reset();
        QCOMPARE(services.Removed, (QList<TUser *>{a, b}));
    }

    void channelOrder()
    {
        auto form = NewForm();
        for (const char *name : {"#gamma", "#Beta", "#alpha", "#beta", "#Alpha"})
            form->AddOrUpdateChannel(QLatin1String(name), 1, QString());
        form->AddOrUpdateChannel(QStringLiteral("#gamma"), 42, QStringLiteral("topic"));
        QStringList names;
        for (int i = 1; i <= form->ChannelCount(); ++i)
            names << form->ChannelByIndex(i)->Name;
        QCOMPARE(names, (QStringList{"#alpha", "#Alpha", "#beta", "#Beta", "#gamma"}));
        QVERIFY(!form->ChannelByIndex(0));
        QVERIFY(!form->ChannelByIndex(6));
        const QAbstractItemModel *model = form->sgrChannels->model();
        QCOMPARE(model->rowCount(), 5);
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Channel"));
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("#"));
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("alpha"));
        QCOMPARE(model->index(4, 1).data().toString(), QStringLiteral("42"));
        // An open tab's count follows its users.
        TChat *chat = form->GetChat(QStringLiteral("#beta"));
        chat->AddUser(form->FindOrAddUser(QStringLiteral("x")));
        chat->AddUser(form->FindOrAddUser(QStringLiteral("y")));
        QCOMPARE(form->FindChannel(QStringLiteral("#beta"))->Users, 2);
        QCOMPARE(model->index(2, 1).data().toString(), QStringLiteral("2"));
        // The selection follows its channel as others arrive before it.
        form->sgrChannels->selectRow(3);
        form->AddOrUpdateChannel(QStringLiteral("#aardvark"), 1, QString());
        QCOMPARE(form->sgrChannels->currentIndex().row(), 4);
        QCOMPARE(form->sgrChannels->currentIndex().data().toString(), QStringLiteral("Beta"));
        form->ClearChannels();
        QCOMPARE(model->rowCount(), 0);
    }

    // Users in locale order with "@" for operators; an emptied list names nobody.
    void userGrid()
    {
        auto form = NewForm();
        TChat *chat = form->GetChat(QStringLiteral("#x"));
        for (const char *nick : {"zed", "Adam", "bob"})
            chat->AddUser(form->FindOrAddUser(QLatin1String(nick)));
        chat->AddOp(form->FindUser(QStringLiteral("zed")));
        QCOMPARE(GridNames(chat), (QStringList{"Adam", "bob", "@zed"}));
        chat->UserGrid->selectRow(2);
        QCOMPARE(chat->SelectedUser(), form->FindUser(QStringLiteral("zed")));
        chat->AddUser(form->FindOrAddUser(QStringLiteral("aaron")));
        QCOMPARE(chat->SelectedUser(), form->FindUser(QStringLiteral("zed")));
        form->FindUser(QStringLiteral("bob"))->IgnoreState = 1;
        SetMemoLines(m_kit->Config->memChatFriends, {QStringLiteral("ADAM")});
        form->RefreshActiveUserList();
        chat->RefreshUserList();
        QCOMPARE(chat->UserGrid->item(1, 0)->foreground().color(), QColor(0, 128, 0));
        QCOMPARE(chat->UserGrid->item(2, 0)->foreground().color(), QColor(255, 0, 0));
        for (const char *nick : {"zed", "Adam", "bob", "aaron"})
            chat->RemoveUser(QLatin1String(nick));
        QCOMPARE(GridNames(chat), QStringList{QString()});
        chat->UserGrid->selectRow(0);
        QVERIFY(!chat->SelectedUser());
        chat->RemoveUser(QStringLiteral("ghost"));
    }

    void timeStamp()
    {
        m_kit->Config->cbxChatTimeStamp->setChecked(true);
        auto form = NewForm();
        form->AddChatLine(form->Misc(), QStringLiteral("bob: "), Qt::blue, QStringLiteral("hello"));
        const QString row = Rows(form->Misc()).value(0);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\(\\d\\d:\\d\\d\\) bob: hello$")).match(row).hasMatch(),
                 qPrintable(row));
        const QTextBlock block = form->Misc()->TextView->document()->firstBlock();
        const QTextCharFormat stamp = block.begin().fragment().charFormat();
        QCOMPARE(stamp.fontFamilies().toStringList().value(0), QStringLiteral("Terminal"));
        QCOMPARE(stamp.foreground().color(), QColor(Qt::black));
    }

    void selectionSurvivesNewLines()
    {
        auto form = NewForm();
        TChat *misc = form->Misc();
        for (int i = 0; i < 3; ++i)
            form->AddChatLine(misc, QString(), Qt::black, QStringLiteral("line %1").arg(i));
        QTextCursor cursor(misc->TextView->document());
        cursor.setPosition(2);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        misc->TextView->setTextCursor(cursor);
        const QString selected = misc->TextView->textCursor().selectedText();
        for (int i = 0; i < 50; ++i)
            form->AddChatLine(misc, QString(), Qt::black, QStringLiteral("more %1").arg(i));
        QCOMPARE(misc->TextView->textCursor().selectedText(), selected);
        QCOMPARE(misc->TextView->textCursor().selectionStart(), 2);
        // Lines dropped above a selection shift it with its text.
        cursor.setPosition(misc->TextView->document()->lastBlock().position());
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        misc->TextView->setTextCursor(cursor);
        m_kit->Config->speChatLinesKept->SetValue(5);
        form->AddChatLine(misc, QString(), Qt::black, QStringLiteral("last"));
        QCOMPARE(misc->TextView->textCursor().selectedText(), QStringLiteral("more 49"));
        QCOMPARE(misc->TextView->textCursor().blockNumber(), 3);
    }

    // A tab keeps the newest whole lines, and a quarter of the limit more before the oldest
    // go; 0 keeps all.
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
            form->AddChatLine(form->Misc(), QStringLiteral("bob: "), Qt::blue, QStringLiteral("line %1").arg(i));
            if (i >= oldest)
                rows << QStringLiteral("bob: line %1").arg(i);
        }
        QCOMPARE(Rows(form->Misc()), rows);
    }

    // The new-text mark and the beeps: inactive tabs only, private ones for the beep.
    void newTextMarkAndBeeps()
    {
        auto form = NewForm();
        TChat *channel = form->GetChat(QStringLiteral("#x"));
        TChat *priv = form->GetChat(QStringLiteral("bob"));
        priv->AddUser(form->FindOrAddUser(QStringLiteral("bob")));
        const auto marked = [&form](TChat *chat) {
            return !form->PageControl->tabIcon(form->PageControl->indexOf(chat)).isNull();
        };
        form->ActivateChat(form->Misc());
        m_kit->Config->cbxChatMessageSound->setChecked(true);
        form->AddChatLine(form->Misc(), QString(), Qt::black, QStringLiteral("active"));
        QVERIFY(!marked(form->Misc()));
        QCOMPARE(m_kit->Beeps, 0);
        form->AddChatLine(channel, QStringLiteral("bob: "), Qt::blue, QStringLiteral("in a channel"));
        QVERIFY(marked(channel));
        QCOMPARE(m_kit->Beeps, 0);
        form->AddChatLine(priv, QStringLiteral("bob: "), Qt::blue, QStringLiteral("private"));
        QVERIFY(marked(priv));
        QCOMPARE(m_kit->Beeps, 1);
        form->ActivateChat(priv);
        QVERIFY(!marked(priv));
        form->AddChatLine(priv, QStringLiteral("bob: "), Qt::blue, QStringLiteral("seen"));
        QCOMPARE(m_kit->Beeps, 1);
        form->PageControl->setCurrentWidget(channel);
        QVERIFY(!marked(channel));
        // Only the friend sound: a friend who is in the tab's list.
        m_kit->Config->cbxChatMessageSound->setChecked(false);
        m_kit->Config->cbxChatMessageFriendSound->setChecked(true);
        form->AddChatLine(priv, QStringLiteral("bob: "), Qt::blue, QStringLiteral("not a friend"));
        QCOMPARE(m_kit->Beeps, 1);
        SetMemoLines(m_kit->Config->memChatFriends, {QStringLiteral("Bob")});
        form->AddChatLine(priv, QStringLiteral("bob: "), Qt::blue, QStringLiteral("a friend"));
        QCOMPARE(m_kit->Beeps, 2);
        form->AddChatLine(priv, QStringLiteral("carl: "), Qt::blue, QStringLiteral("not in the list"));
        QCOMPARE(m_kit->Beeps, 2);
    }

    void closeButton()
    {
        auto form = NewForm();
        QVERIFY(!form->btnCloseChat->isVisible());
        TChat *chat = form->GetChat(QStringLiteral("bob"));
        form->ActivateChat(chat);
        QVERIFY(form->btnCloseChat->isVisible());
        const QRect view(chat->TextView->viewport()->mapTo(form.get(), QPoint(0, 0)),
                         chat->TextView->viewport()->size());
        QVERIFY(view.contains(form->btnCloseChat->geometry()));
        QVERIFY(form->btnCloseChat->geometry().right() >= view.right() - 20);
        form->btnCloseChatClick();
        QVERIFY(!form->FindChat(QStringLiteral("bob")));
        QVERIFY(!form->btnCloseChat->isVisible());
    }

    void timersAndInterval()
    {
        auto form = NewForm();
        QVERIFY(form->TimersEnabled);
        QVERIFY(form->TimerConfig->isActive());
        QVERIFY(form->TimerChannels->isActive());
        m_kit->Config->speChatChannellistTime->SetValue(5000);
        form->TimerConfigTimer();
        QCOMPARE(form->TimerChannels->interval(), 8000);
        m_kit->Config->speChatChannellistTime->SetValue(9000);
        form->TimerConfigTimer();
        QCOMPARE(form->TimerChannels->interval(), 9000);
        m_kit->Config->cbxChatChannellistTime->setChecked(false);
        form->TimerConfigTimer();
        QVERIFY(!form->TimerChannels->isActive());
        m_kit->Config->cbxChatChannellistTime->setChecked(true);
        form->SetTimersEnabled(false);
        form->TimerConfigTimer();
        QVERIFY(!form->TimerChannels->isActive());
        QVERIFY(!form->TimerConfig->isActive());
        // The input line turns gray while away.
        m_kit->Config->cbxChatAway->setChecked(true);
        form->TimerConfigTimer();
        const QPalette standard = QApplication::palette(form->edtChat);
        QCOMPARE(form->edtChat->palette().color(QPalette::Base), standard.color(QPalette::Button));
        m_kit->Config->cbxChatAway->setChecked(false);
        form->TimerConfigTimer();
        QCOMPARE(form->edtChat->palette().color(QPalette::Base), standard.color(QPalette::Base));
        m_kit->Config->speChatChannellistTime->SetValue(11000);
    }

    // No timed LIST while the previous list is still arriving.
    void listNotRepeatedWhileArriving()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        s.Server.ClearReceived();
        s.Form->TimerChannelsTimer();
        s.Form->TimerChannelsTimer();
        s.Send(":srv 322 me #a 3 :x\r\n");
        QVERIFY(s.Sync());
        s.Form->TimerChannelsTimer();
        QCOMPARE(s.Server.Received().count(QStringLiteral("LIST")), 1);
        s.Send(":srv 323 me :End of LIST\r\n");
        QVERIFY(s.Sync());
        s.Form->TimerChannelsTimer();
        QVERIFY(s.Sync());
        QCOMPARE(s.Server.Received().count(QStringLiteral("LIST")), 2);
        // Refresh empties the list and asks again.
        s.Form->mnuRefreshChannelsClick();
        QCOMPARE(s.Form->ChannelCount(), 0);
        QVERIFY(s.Sync());
        QCOMPARE(s.Server.Received().count(QStringLiteral("LIST")), 3);
    }

    // Close on a channel sends one PART and keeps the tab until the server confirms;
    // a double-click on a listed channel joins it, or shows its open tab.
    void leaveAndJoinChannels()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        s.Send(":me!~me@h JOIN :#d3\r\n:srv 322 me #d3 1 :x\r\n:srv 322 me #zone 5 :y\r\n");
        QVERIFY(s.Sync());
        s.Server.ClearReceived();
        s.Form->btnCloseChatClick();
        QVERIFY(s.Sync());
        QCOMPARE(s.Server.Received().count(QStringLiteral("PART #d3")), 1);
        QVERIFY(s.Chat("#d3"));
        s.Form->sgrChannels->selectRow(1);
        s.Form->sgrChannelsDblClick();
        QVERIFY(s.Server.WaitForLine(QStringLiteral("JOIN #zone")));
        s.Form->ActivateChat(s.Form->Misc());
        s.Form->sgrChannels->selectRow(0);
        s.Form->sgrChannelsDblClick();
        QCOMPARE(s.Form->ActiveChat(), s.Chat("#d3"));
    }

    void tabPosition()
    {
        auto form = NewForm();
        m_kit->Config->cmbChatChannelTabsPos->SetText(QStringLiteral("Left"));
        form->ApplyTabPosition();
        QCOMPARE(form->PageControl->tabPosition(), QTabWidget::West);
        m_kit->Config->cmbChatChannelTabsPos->SetText(QStringLiteral("Bottom"));
        form->ApplyTabPosition();
        QCOMPARE(form->PageControl->tabPosition(), QTabWidget::South);
        m_kit->Config->cmbChatChannelTabsPos->SetText(QStringLiteral("Sideways"));
        form->ApplyTabPosition();
        QCOMPARE(form->PageControl->tabPosition(), QTabWidget::North);
    }

    void windowSizeKept()
    {
        {
            auto form = NewForm();
            form->resize(700, 500);
            form->splChannels->setSizes({150, 550});
        }
        auto form = NewForm();
        QCOMPARE(form->size(), QSize(700, 500));
        QCOMPARE(form->pnlChannels->width(), 150);
    }

    // A view that follows the end keeps following; one scrolled up stays where it is.
    void scrolling()
    {
        auto form = NewForm();
        TChat *misc = form->Misc();
        for (int i = 0; i < 200; ++i)
            form->AddChatLine(misc, QString(), Qt::black, QStringLiteral("line %1").arg(i));
        QScrollBar *bar = misc->TextView->verticalScrollBar();
        QCOMPARE(bar->value(), bar->maximum());
        bar->setValue(10);
        form->AddChatLine(misc, QString(), Qt::black, QStringLiteral("one more"));
        QCOMPARE(bar->value(), 10);

        // A lowered limit reaches open tabs with the config timer, but not while it is typed;
        // the view stays on its text as the lines above it go.
        bar->setValue(60);
        m_kit->Config->show();
        m_kit->Config->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_kit->Config.get()));
        m_kit->Config->speChatLinesKept->setFocus();
        m_kit->Config->speChatLinesKept->SetValue(150);
        form->TimerConfigTimer();
        QCOMPARE(Rows(misc).size(), 201);
        m_kit->Config->hide();
        form->TimerConfigTimer();
        QCOMPARE(Rows(misc).size(), 150);
        QCOMPARE(bar->value(), 60 - 51);
        QCOMPARE(misc->TextView->document()->findBlockByLineNumber(bar->value()).text(), QStringLiteral("line 60"));
    }
};

QTEST_MAIN(tst_ChatViews)
#include "tst_ChatViews.moc"
