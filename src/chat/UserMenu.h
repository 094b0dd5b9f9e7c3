#pragma once

#include <QMenu>
#include <QPointer>

class TChat;
class TUser;
class TfrmChat;

// The pop-up menu of the user lists of a chat form (its pumUser). Its items act on the user
// selected in the tab it was opened on, else in the form's active tab; the form runs them.
class TUserMenu : public QMenu
{
    Q_OBJECT
public:
    explicit TUserMenu(TfrmChat *form);

    QAction *mnuMessage, *mnuWhoIs, *mnuIgnore, *mnuUserTalk, *AddtoFriendslist1;

    // Pops up over Chat's user list on a right click; nothing when no user is selected there.
    void Attach(TChat *chat);
    void SetChat(TChat *chat);
    TChat *Chat() const;
    TUser *User() const;

private:
    TfrmChat *m_form;
    QPointer<TChat> m_chat;
};
