#pragma once

#include <QPointer>
#include <QWidget>

class QLineEdit;
class QPushButton;
class QTabWidget;
class TChat;
class TInputLine;
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

    // The open window that shows Chat; the chat of Form's window the user works in; every
    // tab of Form given back and its windows closed (the form is going).
    static TfrmChatWindow *Of(const TChat *chat);
    static TChat *ActiveChatOf(const TfrmChat *form);
    static void CloseAllOf(const TfrmChat *form);

    // Puts the tab back on the chat form's page control.
    void GiveBack();
    void Button1Click();
    void edtChatKeyPress();
    // True when this is the window the user works in (the active child of the frame).
    bool IsActiveChild() const;
    // Closes the window once, from the event loop.
    void Release();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void PlacePartButton();
    TInputLine *m_input;
    bool m_released = false;
};
