#pragma once

#include <QWidget>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TUser;

// Every chat user the open chat windows have seen. A double-click shows the player's
// statistics as already known, without asking the network again.
class TfrmCachedUserInfo : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmCachedUserInfo(QWidget *parent = nullptr);
    ~TfrmCachedUserInfo() override;

    // Tells every open window, wherever it is shown; called before the user is freed.
    static void UserRemoved(TUser *user);

    void AddCachedUser(TUser *user);
    // The user is about to be freed: its row goes, the header keeps its count.
    void RemoveCachedUser(TUser *user);
    TUser *UserOf(const QTreeWidgetItem *row) const;
    // Opens or refreshes the player window of the row's user, its continuous ping off.
    void lvwUsersDblClick(QTreeWidgetItem *row);

    QTreeWidget *lvwUsers;
    QPushButton *btnClose;
};
