#include "chat/UserMenu.h"

#include "chat/Chat.h"
#include "chat/UfrmChat.h"
#include "irc/User.h"

#include <QTableWidget>

TUserMenu::TUserMenu(TfrmChat *form) : QMenu(form), m_form(form)
{
    setObjectName(QStringLiteral("pumUser"));
    const auto item = [this, form](const char *caption, const char *name, void (TfrmChat::*click)()) {
        QAction *action = addAction(QLatin1String(caption), form, click);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    mnuMessage = item("&Message...", "mnuMessage", &TfrmChat::mnuMessageClick);
    mnuWhoIs = item("&Who is?", "mnuWhoIs", &TfrmChat::mnuWhoIsClick);
    mnuIgnore = item("&Ignore", "mnuIgnore", &TfrmChat::mnuIgnoreClick);
    mnuIgnore->setCheckable(true);
    mnuUserTalk = item("&Talk", "mnuUserTalk", &TfrmChat::mnuUserTalkClick);
    AddtoFriendslist1 = item("Toggle &Friend", "AddtoFriendslist1", &TfrmChat::ToggleFriendClick);
    connect(this, &QMenu::aboutToShow, this, [this] {
        const TUser *user = User();
        mnuIgnore->setChecked(user && user->Ignored());
    });
}

void TUserMenu::Attach(TChat *chat)
{
    connect(chat->UserGrid, &QWidget::customContextMenuRequested, this, [this, chat](const QPoint &pos) {
        if (!chat->SelectedUser())
            return;
        m_chat = chat;
        popup(chat->UserGrid->viewport()->mapToGlobal(pos));
    });
}

void TUserMenu::SetChat(TChat *chat)
{
    m_chat = chat;
}

TChat *TUserMenu::Chat() const
{
    return m_chat ? m_chat.data() : m_form->ActiveChat();
}

TUser *TUserMenu::User() const
{
    TChat *chat = Chat();
    return chat ? chat->SelectedUser() : nullptr;
}
