// Detached chat windows: detach, type, part, give back, and everything freed once.
#include "ChatTestKit.h"

#include "chat/UfrmChatWindow.h"
#include "ui/ChildWindow.h"

#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSignalSpy>

class tst_ChatWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TChatTestKit> m_kit;
    std::unique_ptr<QMdiArea> m_frame; // the frame the windows are children of

    QMdiSubWindow *Sub(QWidget *window) { return qobject_cast<QMdiSubWindow *>(window->parentWidget()); }

    static TfrmChatWindow *Detach(TfrmChat *form, TChat *chat)
    {
        form->PageControl->setCurrentWidget(chat);
        form->PageControl->Window1->trigger();
        return TfrmChatWindow::Of(chat);
    }

private slots:
    void initTestCase()
    {
        m_kit = std::make_unique<TChatTestKit>();
        m_frame = std::make_unique<QMdiArea>();
        m_frame->setAttribute(Qt::WA_DontShowOnScreen);
        m_frame->resize(1000, 800);
        m_frame->show();
        ChildWindow::SetHost([this](QWidget *window) {
            QMdiSubWindow *sub = m_frame->addSubWindow(window);
            sub->setAttribute(Qt::WA_DeleteOnClose);
            QObject::connect(window, &QObject::destroyed, sub, &QObject::deleteLater);
            window->show();
        });
    }
    void init() { m_kit->Reset(); }
    void cleanupTestCase()
    {
        ChildWindow::SetHost({});
        m_frame.reset();
        m_kit.reset();
    }

    // Typed lines go to the detached tab, which keeps receiving lines without the new-text
    // mark; the close box gives the tab back to its place.
    void detachTypeAndGiveBack()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        TChat *chat = s.Chat("#d3");
        s.Form->GetChat(QString("bob"));
        TfrmChatWindow *window = Detach(s.Form, chat);
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), s.Form->windowTitle());
        QCOMPARE(chat->HostForm.data(), window);
        QCOMPARE(s.Form->PageControl->indexOf(chat), -1);
        QCOMPARE(s.Form->ChatCount(), 3);
        s.Sent();
        window->edtChat->setText(QString("from the window"));
        window->edtChatKeyPress();
        QCOMPARE(s.Sent(), QStringList{"PRIVMSG #d3 :from the window"});
        QCOMPARE(Last(chat), QString("from the window"));
        s.Send(":bob!~b@h PRIVMSG #d3 :still reaching you\r\n");
        QVERIFY(s.Sync());
        QCOMPARE(Last(chat), QString("bob: still reaching you"));
        QVERIFY(window->PageControl->tabIcon(0).isNull());
        QSignalSpy gone(window, &QObject::destroyed);
        window->close();
        QTRY_COMPARE(gone.count(), 1);
        QCOMPARE(s.Form->PageControl->indexOf(chat), 1);
        QCOMPARE(chat->HostForm.data(), s.Form.data());
    }

    // ActiveChat follows the active detached window of this form only.
    void activeChatFollowsWindow()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        ChildWindow::Show(s.Form);
        TChat *chat = s.Chat("#d3");
        TChat *priv = s.Form->GetChat(QString("bob"));
        TfrmChatWindow *window = Detach(s.Form, chat);
        auto *other = new TfrmIRC;
        ChildWindow::Show(other);
        s.Form->PageControl->setCurrentWidget(priv);
        m_frame->setActiveSubWindow(Sub(window));
        QCOMPARE(s.Form->ActiveChat(), chat);
        QCOMPARE(other->ActiveChat(), other->Misc());
        m_frame->setActiveSubWindow(Sub(s.Form));
        QCOMPARE(s.Form->ActiveChat(), priv);
        // Misc detached: typing there is refused as anywhere else.
        window = Detach(s.Form, s.Form->Misc());
        m_frame->setActiveSubWindow(Sub(window));
        QCOMPARE(s.Form->ActiveChat(), s.Form->Misc());
        s.Sent();
        window->edtChat->setText(QString("/me waves"));
        window->edtChatKeyPress();
        QCOMPARE(s.Sent(), QStringList{});
        QCOMPARE(Last(s.Form->Misc()), QString("Unable to send to Misc: /me waves"));
        delete other;
    }

    // "&Part" gives the tab back first: a channel is left with one PART and its tab stays
    // until the server confirms; Misc only closes the window.
    void part()
    {
        TScriptedChat s;
        QVERIFY(s.Open());
        TChat *chat = s.Chat("#d3");
        TChat *misc = s.Form->Misc();
        for (TChat *tab : {misc, chat}) {
            TfrmChatWindow *window = Detach(s.Form, tab);
            QSignalSpy gone(window, &QObject::destroyed);
            s.Sent();
            window->Button1->click();
            QTRY_COMPARE(gone.count(), 1);
            QVERIFY(s.Form->PageControl->indexOf(tab) >= 0);
        }
        QCOMPARE(s.Sent(), QStringList{"PART #d3"});
        QCOMPARE(s.Form->Misc(), misc);
        s.Send(":me!~me@h PART #d3\r\n");
        QVERIFY(s.Sync());
        QVERIFY(!s.Chat("#d3"));
    }

    // Whoever goes first, the form, the window and the tab are freed once each.
    void freedOnce_data()
    {
        QTest::addColumn<QString>("first");
        QTest::newRow("the form closes its tab") << "tab";
        QTest::newRow("the form closes") << "form";
        QTest::newRow("the frame frees the window") << "frame";
    }

    void freedOnce()
    {
        QFETCH(QString, first);
        TScriptedChat s;
        QVERIFY(s.Open());
        TChat *chat = first == QLatin1String("tab") ? s.Form->GetChat(QString("bob")) : s.Chat("#d3");
        TfrmChatWindow *window = Detach(s.Form, chat);
        QSignalSpy formGone(s.Form.data(), &QObject::destroyed);
        QSignalSpy windowGone(window, &QObject::destroyed);
        QSignalSpy chatGone(chat, &QObject::destroyed);
        if (first == QLatin1String("tab")) {
            s.Form->CloseChat(chat);
        } else if (first == QLatin1String("form")) {
            s.Form->close();
            QVERIFY(s.Server.WaitForLine(QString("QUIT")));
        } else {
            delete window->parentWidget();
            QVERIFY(s.Form->PageControl->indexOf(chat) >= 0);
            delete s.Form.data();
        }
        QTRY_COMPARE(windowGone.count(), 1);
        QTRY_COMPARE(chatGone.count(), 1);
        QCOMPARE(formGone.count(), first == QLatin1String("tab") ? 0 : 1);
        if (!s.Form) {
            s.Server.DropClient(); // quiet: the form is gone
            QTest::qWait(20);
        }
        QVERIFY(m_kit->Boxes.isEmpty());
    }
};

QTEST_MAIN(tst_ChatWindow)
#include "tst_ChatWindow.moc"
