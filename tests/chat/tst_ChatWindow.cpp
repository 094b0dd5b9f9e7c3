// Detached chat windows: detach, type, part, give back, and freeing everything once.
#include "ChatTestKit.h"

#include "chat/UfrmChatWindow.h"
#include "ui/ChildWindow.h"

#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>

namespace {
// A frame for the windows, as the main window gives them.
class TFrame
{
public:
    QMdiArea Area;
    void AddChildWindow(QWidget *window)
    {
        QMdiSubWindow *sub = Area.addSubWindow(window);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(window, &QObject::destroyed, sub, &QObject::deleteLater);
        window->show();
    }
};
} // namespace

class tst_ChatWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TChatTestKit> m_kit;
    std::unique_ptr<TFrame> m_frame;

    static bool Join(TScriptedChat &s)
    {
        s.Send(":me!~me@127.0.0.1 JOIN :#d3\r\n:srv 353 me = #d3 :me bob\r\n");
        return s.Sync() && s.Chat("#d3");
    }

    static TfrmChatWindow *Detach(TfrmChat *form, TChat *chat)
    {
        form->PageControl->setCurrentWidget(chat);
        form->Window1Click();
        return form->DetachedWindowOf(chat);
    }

private slots:
    void initTestCase()
    {
        m_kit = std::make_unique<TChatTestKit>();
        m_frame = std::make_unique<TFrame>();
        m_frame->Area.setAttribute(Qt::WA_DontShowOnScreen);
        m_frame->Area.resize(1000, 800);
        m_frame->Area.show();
        ChildWindow::SetHost([this](QWidget *window) { m_frame->AddChildWindow(window); });
    }
    void init() { m_kit->Reset(); }
    void cleanupTestCase()
    {
        ChildWindow::SetHost({});
        m_frame.reset();
        m_kit.reset();
    }

    void detachTypeAndGiveBack()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        QVERIFY(Join(s));
        TChat *chat = s.Chat("#d3");
        s.Form->GetChat(QStringLiteral("bob"));
        TfrmChatWindow *window = Detach(s.Form, chat);
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), s.Form->windowTitle());
        QCOMPARE(chat->HostForm.data(), window);
        QCOMPARE(s.Form->PageControl->indexOf(chat), -1);
        QCOMPARE(window->PageControl->currentWidget(), chat);
        QCOMPARE(s.Form->ChatCount(), 3);
        window->edtChat->setText(QStringLiteral("from the window"));
        window->edtChatKeyPress();
        QVERIFY(s.Server.WaitForLine(QStringLiteral("PRIVMSG #d3 :from the window")));
        QCOMPARE(Rows(chat).last(), QStringLiteral("from the window"));
        // Lines keep coming to the detached tab, which never gets the new-text mark.
        s.Send(":bob!~b@h PRIVMSG #d3 :still reaching you\r\n");
        QVERIFY(s.Sync());
        QCOMPARE(Rows(chat).last(), QStringLiteral("bob: still reaching you"));
        QVERIFY(window->PageControl->tabIcon(0).isNull());
        // The close box gives the tab back.
        QSignalSpy gone(window, &QObject::destroyed);
        window->close();
        QTRY_COMPARE(gone.count(), 1);
        QCOMPARE(s.Form->PageControl->indexOf(chat), 1);
        QCOMPARE(chat->HostForm.data(), s.Form.data());
    }

    // ActiveChat follows the active detached window of this form only.
    void activeChatFollowsWindow()
    {
        TScriptedChat t;
        QVERIFY(t.Server.Listen());
        auto *form = new TfrmIRC;
        m_frame->AddChildWindow(form);
        form->ConnectTo(QStringLiteral("127.0.0.1"), t.Server.Port(), QStringLiteral("me"));
        QVERIFY(t.Server.WaitForClient());
        t.Form = form;
        QVERIFY(Join(t));
        TChat *chat = t.Chat("#d3");
        TChat *priv = form->GetChat(QStringLiteral("bob"));
        TfrmChatWindow *window = Detach(form, chat);
        QVERIFY(window);
        auto *other = new TfrmIRC;
        m_frame->AddChildWindow(other);
        form->PageControl->setCurrentWidget(priv);
        m_frame->Area.setActiveSubWindow(qobject_cast<QMdiSubWindow *>(window->parentWidget()));
        QCOMPARE(form->ActiveChat(), chat);
        QCOMPARE(other->ActiveChat(), other->Misc());
        m_frame->Area.setActiveSubWindow(qobject_cast<QMdiSubWindow *>(form->parentWidget()));
        QCOMPARE(form->ActiveChat(), priv);
        // Misc detached and the page control empty of it: Misc wherever it lives.
        form->CloseChat(priv);
        TfrmChatWindow *miscWindow = Detach(form, form->Misc());
        QVERIFY(miscWindow);
        QCOMPARE(form->ActiveChat(), form->Misc());
        delete other;
    }

    // "&Part" on a channel sends one PART and hands the tab back until the server confirms.
    void partChannel()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        QVERIFY(Join(s));
        TChat *chat = s.Chat("#d3");
        TfrmChatWindow *window = Detach(s.Form, chat);
        QSignalSpy gone(window, &QObject::destroyed);
        s.Server.ClearReceived();
        window->Button1->click();
        QTRY_COMPARE(gone.count(), 1);
        QVERIFY(s.Sync());
        QCOMPARE(s.Server.Received().count(QStringLiteral("PART #d3")), 1);
        QVERIFY(s.Form->PageControl->indexOf(chat) >= 0);
        s.Send(":me!~me@h PART #d3\r\n");
        QVERIFY(s.Sync());
        QVERIFY(!s.Chat("#d3"));
    }

    // Misc can be detached; "&Part" on it closes only the window.
    void partMisc()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        QVERIFY(Join(s));
        TChat *misc = s.Form->Misc();
        TfrmChatWindow *window = Detach(s.Form, misc);
        QVERIFY(window);
        QSignalSpy gone(window, &QObject::destroyed);
        window->Button1Click();
        QTRY_COMPARE(gone.count(), 1);
        QCOMPARE(s.Form->ChatCount(), 2);
        QCOMPARE(s.Form->Misc(), misc);
        QVERIFY(s.Form->PageControl->indexOf(misc) >= 0);
        // Typing into a detached Misc is refused like anywhere else.
        window = Detach(s.Form, misc);
        s.Server.ClearReceived();
        window->edtChat->setText(QStringLiteral("/me waves"));
        window->edtChatKeyPress();
        QVERIFY(s.Sync());
        QCOMPARE(s.Server.Received().filter(QStringLiteral("PRIVMSG")), QStringList{});
        QCOMPARE(Rows(misc).last(), QStringLiteral("Unable to send to Misc: /me waves"));
    }

    // A private tab closed by the form closes its window first.
    void formClosesDetachedTab()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        TChat *priv = s.Form->GetChat(QStringLiteral("bob"));
        TfrmChatWindow *window = Detach(s.Form, priv);
        QSignalSpy windowGone(window, &QObject::destroyed);
        QSignalSpy chatGone(priv, &QObject::destroyed);
        s.Form->CloseChat(priv);
        QTRY_COMPARE(windowGone.count(), 1);
        QTRY_COMPARE(chatGone.count(), 1);
        QCOMPARE(s.Form->ChatCount(), 1);
    }

    // Closing the chat form with a detached tab open frees form, window and tab once each.
    void closeFormWithDetachedTab()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        QVERIFY(Join(s));
        TChat *chat = s.Chat("#d3");
        TfrmChatWindow *window = Detach(s.Form, chat);
        QSignalSpy formGone(s.Form.data(), &QObject::destroyed);
        QSignalSpy windowGone(window, &QObject::destroyed);
        QSignalSpy chatGone(chat, &QObject::destroyed);
        s.Form->close();
        QVERIFY(s.Server.WaitForLine(QStringLiteral("QUIT")));
        QTRY_COMPARE(formGone.count(), 1);
        QTRY_COMPARE(windowGone.count(), 1);
        QCOMPARE(chatGone.count(), 1);
        s.Server.DropClient();
        QTest::qWait(20);
        QVERIFY(m_kit->Boxes.isEmpty());
    }

    // The same when the window goes first, freed by its frame without a close.
    void windowFreedByItsFrame()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        QVERIFY(Join(s));
        TChat *chat = s.Chat("#d3");
        TfrmChatWindow *window = Detach(s.Form, chat);
        delete window->parentWidget();
        QVERIFY(s.Form->PageControl->indexOf(chat) >= 0);
        QCOMPARE(s.Form->ChatCount(), 2);
        QSignalSpy chatGone(chat, &QObject::destroyed);
        delete s.Form.data();
        QCOMPARE(chatGone.count(), 1);
    }
};

QTEST_MAIN(tst_ChatWindow)
#include "tst_ChatWindow.moc"
