// The chat form's conveniences against a scripted server: a pasted block at the send pace,
// answers that never wait behind it, completion and history keys, mentions, find, logs.
#include "ChatTestKit.h"
#include "common/FrameStandIn.h"

#include "chat/ChatFindBar.h"
#include "irc/SendQueue.h"

#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>

namespace {
QStringList Numbered(const QString &stem, int count)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << stem + QString::number(i);
    return lines;
}

// With ORLO_SCREENSHOT_DIR set, a picture of the window goes there.
void Screenshot(QWidget *window, const QString &name)
{
    const QString dir = qEnvironmentVariable("ORLO_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QCoreApplication::processEvents();
    window->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

bool Highlighted(const TChat *chat, int row)
{
    const QTextBlock block = chat->TextView->document()->findBlockByNumber(row);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        if (it.fragment().charFormat().background().style() == Qt::NoBrush)
            return false;
    }
    return block.isValid() && !block.text().isEmpty();
}
} // namespace

class tst_ChatModern : public QObject
{
    Q_OBJECT

    std::unique_ptr<TChatTestKit> m_kit;

    // Registered as "me" and in #d3 with wingman and gunner.
    bool InChannel(TScriptedChat &chat, const QString &channel = QStringLiteral("#d3"))
    {
        if (!chat.Form && !chat.Open())
            return false;
        chat.Send(QStringLiteral(":srv 001 me :Welcome\r\n:me!u@h JOIN :%1\r\n"
                                 ":srv 353 me = %1 :me wingman @gunner\r\n")
                      .arg(channel));
        return chat.Sync() && chat.Chat(channel) && chat.Chat(channel)->Users.size() == 3;
    }

    void Paste(QLineEdit *input, const QString &text)
    {
        QGuiApplication::clipboard()->setText(text);
        QTest::keySequence(input, QKeySequence::Paste);
    }

private slots:
    void initTestCase() { m_kit = std::make_unique<TChatTestKit>(); }
    void init() { m_kit->Reset(); }
    void cleanupTestCase() { m_kit.reset(); }

    void pastedBlockGoesOutAtThePace()
    {
        TScriptedChat chat;
        QVERIFY(InChannel(chat));
        m_kit->Config->speChatSendBurst->SetValue(5);
        m_kit->Config->speChatSendInterval->SetValue(150);
        chat.Form->ApplySendPace();
        QTRY_VERIFY(chat.Form->SendQueue()->Rested());
        chat.Server.ClearReceived();
        m_kit->Answer = QMessageBox::Yes;
        chat.Form->edtChat->setText(QStringLiteral("first "));
        Paste(chat.Form->edtChat, Numbered(QStringLiteral("line "), 20).join(QLatin1Char('\n')).mid(5) + "\n");
        QCOMPARE(m_kit->Boxes.size(), 1); // more than five lines: asked first
        QVERIFY(chat.Form->edtChat->text().isEmpty());

        QStringList expected;
        for (const QString &line : Numbered(QStringLiteral("line "), 20))
            expected << QStringLiteral("PRIVMSG #d3 :") + (expected.isEmpty() ? "first 1" : line);
        QList<qint64> arrivals;
        QElapsedTimer clock;
        clock.start();
        while (arrivals.size() < expected.size() && clock.elapsed() < 20000) {
            QTest::qWait(5);
            while (arrivals.size() < chat.Server.Received().size())
                arrivals << clock.elapsed();
        }
        QCOMPARE(chat.Server.Received(), expected);
        QVERIFY2(arrivals.at(4) < 1000, "the burst goes at once");
        // Never faster than the pace: lines j … i need (i - j + 1 - 5) intervals.
        for (int i = 0; i < arrivals.size(); ++i) {
            for (int j = 0; j < i; ++j)
                QVERIFY2(arrivals.at(i) - arrivals.at(j) >= (i - j - 4) * 150 - 40, qPrintable(QString::number(i)));
        }
        QVERIFY(arrivals.last() - arrivals.first() >= 15 * 150 - 40);
        QCOMPARE(Rows(chat.Chat("#d3")).size(), 20); // each shown as sent
        QCOMPARE(chat.Chat("#d3")->History.Count(), 20);
    }

    void fewLinesGoWithoutQuestionAndDecliningSendsNothing()
    {
        TScriptedChat chat;
        QVERIFY(InChannel(chat));
        chat.Server.ClearReceived();
        Paste(chat.Form->edtChat, QStringLiteral("a\r\n\r\nb\rc"));
        QVERIFY(m_kit->Boxes.isEmpty());
        QVERIFY(chat.Server.WaitForLine(QStringLiteral("PRIVMSG #d3 :c")));
        QCOMPARE(chat.Server.Received(), (QStringList{"PRIVMSG #d3 :a", "PRIVMSG #d3 :b", "PRIVMSG #d3 :c"}));

        chat.Server.ClearReceived();
        m_kit->Answer = QMessageBox::No;
        Paste(chat.Form->edtChat, Numbered(QStringLiteral("x"), 6).join(QLatin1Char('\n')));
        QCOMPARE(m_kit->Boxes.size(), 1);
        // A one-line paste is an ordinary paste.
        Paste(chat.Form->edtChat, QStringLiteral("plain"));
        QCOMPARE(chat.Form->edtChat->text(), QStringLiteral("plain"));
        QVERIFY(chat.Sync());
        QCOMPARE(chat.Server.Received().size(), 1);
        QVERIFY(chat.Server.Received().constFirst().startsWith(QLatin1String("PONG :sync")));
    }

    void answersNeverWaitBehindQueuedText()
    {
        m_kit->Config->speChatSendInterval->SetValue(60000);
        TScriptedChat chat;
        QVERIFY(InChannel(chat));
        chat.Server.ClearReceived();
        m_kit->Answer = QMessageBox::Yes;
        Paste(chat.Form->edtChat, Numbered(QStringLiteral("n"), 8).join(QLatin1Char('\n')));
        const int pending = chat.Form->SendQueue()->Pending();
        QVERIFY(pending > 0);
        chat.Server.SendLine(QStringLiteral("PING :still-there"));
        QVERIFY(chat.Server.WaitForLine(QStringLiteral("PONG :still-there")));
        QCOMPARE(chat.Form->SendQueue()->Pending(), pending);
        QStringList before = Numbered(QStringLiteral("PRIVMSG #d3 :n"), 8 - pending);
        QCOMPARE(chat.Server.Received(), before << QStringLiteral("PONG :still-there"));
        // Closing sends what is queued, then QUIT.
        chat.Form->close();
        QVERIFY(chat.Server.WaitForLine(QStringLiteral("QUIT")));
        QStringList rest = Numbered(QStringLiteral("PRIVMSG #d3 :n"), 8).mid(8 - pending);
        QCOMPARE(chat.Server.Received().mid(9 - pending), rest << QStringLiteral("QUIT"));
    }

    void tabCompletesAndArrowsWalkHistory()
    {
        TScriptedChat chat;
        QVERIFY(InChannel(chat));
        chat.Send(QStringLiteral(":gunner!u@h PRIVMSG #d3 :ready\r\n"));
        QVERIFY(chat.Sync());
        QLineEdit *input = chat.Form->edtChat;
        input->setFocus();
        QTest::keyClicks(input, QStringLiteral("g"));
        QTest::keyClick(input, Qt::Key_Tab);
        QCOMPARE(input->text(), QStringLiteral("gunner: "));
        QCOMPARE(input->cursorPosition(), 8);
        QTest::keyClicks(input, QStringLiteral("go w"));
        QTest::keyClick(input, Qt::Key_Tab);
        QCOMPARE(input->text(), QStringLiteral("gunner: go wingman "));
        QTest::keyClick(input, Qt::Key_Tab); // no other match: it stays
        QCOMPARE(input->text(), QStringLiteral("gunner: go wingman "));
        QTest::keyClick(input, Qt::Key_Return);
        QVERIFY(chat.Server.WaitForLine(QStringLiteral("PRIVMSG #d3 :gunner: go wingman ")));

        QTest::keyClicks(input, QStringLiteral("second"));
        QTest::keyClick(input, Qt::Key_Return);
        QTest::keyClicks(input, QStringLiteral("half typed"));
        QTest::keyClick(input, Qt::Key_Up);
        QCOMPARE(input->text(), QStringLiteral("second"));
        QTest::keyClick(input, Qt::Key_Up);
        QCOMPARE(input->text(), QStringLiteral("gunner: go wingman "));
        QTest::keyClick(input, Qt::Key_Down);
        QTest::keyClick(input, Qt::Key_Down);
        QCOMPARE(input->text(), QStringLiteral("half typed"));
        QVERIFY(input->hasFocus() || !input->window()->isActiveWindow());
        // Misc has its own (empty) history.
        chat.Form->PageControl->setCurrentIndex(0);
        QTest::keyClick(input, Qt::Key_Up);
        QCOMPARE(input->text(), QStringLiteral("half typed"));
    }

    void mentionsAreHighlightedMarkedAndNotified()
    {
        TFrameStandIn notifications;
        SetMemoLines(m_kit->Config->memChatHighlight, {QStringLiteral("anarchy")});
        TScriptedChat chat;
        QVERIFY(InChannel(chat));
        notifications.WatchChat(chat.Form.data());
        chat.Send(QStringLiteral(":me!u@h JOIN :#two\r\n"));
        QVERIFY(chat.Sync());
        TChat *d3 = chat.Chat("#d3");
        TChat *two = chat.Chat("#two");
        QCOMPARE(chat.Form->ActiveChat(), two);
        chat.Send(QStringLiteral(":wingman!u@h PRIVMSG #d3 :plain words about meteors\r\n"));
        QVERIFY(chat.Sync());
        QCOMPARE(d3->Activity(), TChat::TActivity::Text);
        chat.Send(QStringLiteral(":wingman!u@h PRIVMSG #d3 :ME: over here\r\n"
                                 ":gunner!u@h PRIVMSG #d3 :more plain text\r\n"
                                 ":gunner!u@h PRIVMSG #d3 :\x01"
                                 "ACTION wants Anarchy\x01\r\n"));
        QVERIFY(chat.Sync());
        QCOMPARE(d3->Activity(), TChat::TActivity::Mention); // plain text after it does not hide it
        QTabBar *bar = chat.Form->PageControl->tabBar();
        const int index = chat.Form->PageControl->indexOf(d3);
        QVERIFY(bar->tabTextColor(index) != bar->tabTextColor(chat.Form->PageControl->indexOf(two)));
        QCOMPARE(Rows(d3).size(), 4);
        QVERIFY(!Highlighted(d3, 0));
        QVERIFY(Highlighted(d3, 1));
        QVERIFY(!Highlighted(d3, 2));
        QVERIFY(Highlighted(d3, 3));
        QTRY_COMPARE(notifications.Notes.size(), 2);
        Screenshot(chat.Form, QStringLiteral("mention-inactive-tab"));
        chat.Form->ActivateChat(d3);
        Screenshot(chat.Form, QStringLiteral("mention-lines"));
        chat.Form->ActivateChat(two);
        QCOMPARE(notifications.Notes.at(0), QStringLiteral("wingman in #d3 | ME: over here"));

        // Our own lines never mention us; activating the tab clears its state.
        chat.Form->SubmitInput(QStringLiteral("me me me"), d3);
        chat.Form->ActivateChat(d3);
        QCOMPARE(d3->Activity(), TChat::TActivity::None);
        QCOMPARE(bar->tabTextColor(index), bar->tabTextColor(chat.Form->PageControl->indexOf(two)));
        QCOMPARE(Rows(d3).size(), 5);
        QVERIFY(!Highlighted(d3, 4));
        QTest::qWait(20);
        QCOMPARE(notifications.Notes.size(), 2);
    }

    void findBarSearchesTheActiveConversation()
    {
        TScriptedChat chat;
        QVERIFY(InChannel(chat));
        chat.Send(QStringLiteral(":wingman!u@h PRIVMSG #d3 :alpha Beta\r\n"
                                 ":gunner!u@h PRIVMSG #d3 :gamma beta\r\n"));
        QVERIFY(chat.Sync());
        TChat *d3 = chat.Chat("#d3");
        QTest::keySequence(chat.Form->edtChat, QKeySequence::Find);
        TChatFindBar *bar = chat.Form->pnlFind;
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->View(), d3->TextView);
        QTest::keyClicks(bar->edtFind, QStringLiteral("beta"));
        QCOMPARE(d3->TextView->textCursor().selectedText(), QStringLiteral("Beta"));
        QCOMPARE(d3->TextView->textCursor().blockNumber(), 0);
        QTest::keyClick(bar->edtFind, Qt::Key_Return);
        QCOMPARE(d3->TextView->textCursor().blockNumber(), 1);
        QTest::keyClick(bar->edtFind, Qt::Key_Return); // wraps to the first
        QCOMPARE(d3->TextView->textCursor().blockNumber(), 0);
        QTest::keyClick(bar->edtFind, Qt::Key_Return, Qt::ShiftModifier); // previous wraps back
        QCOMPARE(d3->TextView->textCursor().blockNumber(), 1);
        bar->cbxFindCase->setChecked(true);
        bar->edtFind->setText(QStringLiteral("Beta"));
        QVERIFY(bar->Find(false));
        QCOMPARE(d3->TextView->textCursor().blockNumber(), 0);
        QVERIFY(bar->Find(false));
        QCOMPARE(d3->TextView->textCursor().blockNumber(), 0); // the only match
        bar->cbxFindCase->setChecked(false);
        bar->edtFind->setText(QStringLiteral("beta"));
        QVERIFY(bar->Find(false));
        Screenshot(chat.Form, QStringLiteral("find-bar"));
        bar->edtFind->setText(QStringLiteral("delta"));
        QVERIFY(!bar->Find(false));
        QVERIFY(bar->NotFound());
        // The match goes with its line; the search goes on in what is kept.
        QVERIFY(d3->TextView->textCursor().hasSelection());
        m_kit->Config->speChatLinesKept->SetValue(1);
        chat.Send(QStringLiteral(":gunner!u@h PRIVMSG #d3 :delta beta\r\n"));
        QVERIFY(chat.Sync());
        QVERIFY(!d3->TextView->textCursor().hasSelection());
        QVERIFY(bar->Find(false));
        QCOMPARE(d3->TextView->textCursor().selectedText(), QStringLiteral("delta"));
        QCOMPARE(Rows(d3), QStringList{QStringLiteral("gunner: delta beta")});
        QTest::keyClick(bar->edtFind, Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
    }

    void logsStayInTheirFolderAndFailOnce()
    {
        m_kit->Config->cbxChatLog->setChecked(true);
        const QString folder = ChatLogFolder();
        QVERIFY(folder.contains(QStringLiteral("qttest"))); // never the user's own data
        QDir(folder).removeRecursively();
        TScriptedChat chat;
        QVERIFY(InChannel(chat));
        m_kit->Config->speChatLinesKept->SetValue(1); // the log keeps what the view drops
        chat.Send(QStringLiteral(":wingman!u@h PRIVMSG #d3 :logged line\r\n"
                                 ":wingman!u@h PRIVMSG #d3 :second line\r\n"
                                 ":../../evil!u@h PRIVMSG me :escape attempt\r\n"));
        QVERIFY(chat.Sync());
        QCOMPARE(Rows(chat.Chat("#d3")), QStringList{QStringLiteral("wingman: second line")});
        QVERIFY(chat.Chat("../../evil"));
        QVERIFY(chat.Form->pumChat->actions().contains(chat.Form->mnuChatOpenLogFolder));
        QCOMPARE(chat.Form->mnuChatOpenLogFolder->text(), QStringLiteral("&Open log folder"));
        const QStringList files = QDir(folder).entryList(QDir::Files);
        QVERIFY2(files.size() >= 3, qPrintable(files.join(',')));
        for (const QString &file : files)
            QVERIFY2(!file.contains(QLatin1Char('/')) && !file.startsWith(QLatin1String("..")), qPrintable(file));
        QVERIFY(!QFileInfo::exists(QDir(folder).filePath(QStringLiteral("../../evil"))));
        const QString day = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        QFile d3(QDir(folder).filePath(QStringLiteral("#d3_") + day + QStringLiteral(".log")));
        QVERIFY(d3.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(d3.readAll())
                    .contains(QRegularExpression(QStringLiteral("\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] "
                                                                "wingman: logged line\n.* wingman: second line\n"))));
        chat.Form->close();
        QTRY_VERIFY(!chat.Form);

        // The folder cannot be made: told once in Misc, and the chat goes on.
        m_kit->Config->speChatLinesKept->SetValue(0);
        QDir(folder).removeRecursively();
        QDir().mkpath(QFileInfo(folder).path());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TScriptedChat second;
        QVERIFY(InChannel(second));
        second.Send(QStringLiteral(":wingman!u@h PRIVMSG #d3 :one\r\n:wingman!u@h PRIVMSG #d3 :two\r\n"));
        QVERIFY(second.Sync());
        QTest::qWait(20);
        QCOMPARE(Rows(second.Chat("#d3")), (QStringList{"wingman: one", "wingman: two"}));
        const QStringList told =
            Rows(second.Form->Misc()).filter(QStringLiteral("Unable to write the conversation log"));
        QVERIFY(told.size() >= 1);
        QVERIFY(told.size() <= 2); // at most once for Misc and once for #d3
        QVERIFY(m_kit->Boxes.isEmpty());
        QFile::remove(folder);
    }
};

QTEST_MAIN(tst_ChatModern)
#include "tst_ChatModern.moc"
