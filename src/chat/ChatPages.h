#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QTabWidget>

class QAction;
class QMenu;
class QToolButton;
class TChat;

// The conversation tabs of a chat form (its PageControl): "Misc" first, then one tab per
// conversation, whether shown here or in a detached window. The shown tab loses its new-text
// mark; a close button sits in the top-right corner of the shown conversation, left of its
// scroll bar (none on "Misc"); the tab bar's pop-up detaches a tab; a conversation's text
// has a pop-up to copy the selection or open it as an address.
class TChatPages : public QTabWidget
{
    Q_OBJECT
public:
    explicit TChatPages(QWidget *parent = nullptr);
    ~TChatPages() override;

    QList<TChat *> Chats; // entry 1 (index 0) is "Misc"; the tabs are owned by the page control
    QToolButton *btnCloseChat;
    QMenu *pumChannelTabs;
    QAction *Window1;
    QMenu *pumChat;
    QAction *mnuChatCopy, *mnuChatOpenUrl, *mnuChatOpenLogFolder;

    TChat *ChatByIndex(int i) const { return Chats.value(i - 1, nullptr); } // 1-based
    TChat *FindChat(const QString &name) const;
    TChat *CurrentChat() const;
    void Add(TChat *chat);
    // A detached tab back in its place among the others.
    void PutBack(TChat *chat);
    // Shows Chat and brings the window that holds it to the front.
    void Activate(TChat *chat);
    // Closes Chat, never "Misc": its detached window first; the tab before it is shown.
    void Close(TChat *chat);
    void PlaceCloseButton();
    // "Left", "Bottom", anything else at the top.
    void ApplyPosition(const QString &position);
    // The selection of the tab the text pop-up was opened on (else the shown tab): to the
    // clipboard, or to the system when it is a web or mail address.
    void CopySelection();
    void OpenSelectedUrl();

signals:
    // The shown tab changed (null: none).
    void ChatShown(TChat *chat);
    void CloseClicked(TChat *chat);
    void DetachWanted(TChat *chat);
    // A mouse button was released over the tabs.
    void TabsClicked();

private:
    TChat *PopupChat() const;
    QPointer<TChat> m_popupChat;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
};
