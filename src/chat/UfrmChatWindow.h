#pragma once

#include <QPointer>
#include <QWidget>

class QLineEdit;
class QPushButton;
class QTabWidget;
class TChat;
class TfrmChat;

// One conversation tab pulled out of its chat form into a window of its own. The tab stays
// a tab of the form (it keeps receiving lines) and goes back however the window closes.
class TfrmChatWindow : public QWidget
{
    Q_OBJECT
public:
    TfrmChatWindow(TfrmChat *chatForm, TChat *chat, QWidget *parent = nullptr);
    ~TfrmChatWindow() override;

    QTabWidget *PageControl;
    QLineEdit *edtChat;
    QPushButton *Button1;

    QPointer<TfrmChat> ChatForm;
    QPointer<QWidget> SavedHost;
    QPointer<TChat> Chat;

    // Puts the tab back on the chat form's page control.
    void GiveBack();
    void Button1Click();
    void edtChatKeyPress();
    // True when this is the window the user works in (the active child of the frame).
    bool IsActiveChild() const;
    // Closes the window once, from the event loop.
    void Release();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void PlacePartButton();
    bool m_released = false;
};
