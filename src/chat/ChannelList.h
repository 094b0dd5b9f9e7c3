#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QAction;
class QMenu;
class QTableView;
class TChannel;
class TChannelModel;
class TIrcSession;

// The channel list at the left of a chat form (its pnlChannels): the session's channels in
// locale order, their names without "#" and their user counts. It is redrawn once per read
// of the session; the selected channel stays selected, by name, as channels arrive before
// it, and the list stays where it was scrolled to.
class TChannelList : public QWidget
{
    Q_OBJECT
public:
    explicit TChannelList(const TIrcSession *session, QWidget *parent = nullptr);

    QTableView *sgrChannels;
    QMenu *pumChannels;
    QAction *Join1;
    QAction *mnuRefreshChannels;

    const TChannel *Selected() const;
    // Shows the list as it is now; Later: once, when the read under way is done.
    void Refresh(bool later = false);

signals:
    // A double-click or "&Join channel".
    void JoinWanted();
    void RefreshWanted();

private:
    const QList<TChannel *> &m_channels;
    TChannelModel *m_model;
    QString m_selected;
    bool m_dirty = false;
};
