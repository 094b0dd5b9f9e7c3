#pragma once

#include "irc/InputHistory.h"
#include "irc/NickCompleter.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>

class TConversation;
class TConversationLog;
class QKeyEvent;
class QLineEdit;
class QPlainTextEdit;
class QSplitter;
class QTabWidget;
class QTableWidget;
class TfrmChat;
class TUser;

// One conversation tab: the view of a channel or private conversation of the form's session,
// or "Misc" (the server's lines). Lines that arrive while the session handles a read are kept
// and written in one edit when the read is done.
class TChat : public QWidget
{
    Q_OBJECT
public:
    TChat(TfrmChat *form, const QString &name, QWidget *parent = nullptr);
    ~TChat() override;

    QPlainTextEdit *TextView;
    QTableWidget *UserGrid;
    QSplitter *Splitter;
    QString Name;
    const TConversation *Conversation = nullptr; // none for "Misc"
    QPointer<QWidget> HostForm;
    TInputHistory History;
    // When each user last spoke here (a running count, larger is later), for completion.
    QHash<QString, qint64> LastSpoke;

    // What an inactive tab shows: nothing new, new text, or a line that mentions us.
    enum class TActivity { None, Text, Mention };
    TActivity Activity() const { return m_activity; }

    TfrmChat *Form() const { return m_form; }
    // Name without its leading "#" or "+"; as a tab's text ("&" shown as such).
    QString Caption() const;
    QString TabText() const;
    // Shows Conversation of the form's session: its user list follows what the session says,
    // and the tab takes a private conversation's new name.
    void Bind(const TConversation *conversation);
    bool IsChannel() const;
    bool IsMisc() const { return Name == QLatin1String("Misc"); }

    // Who is in the conversation (nobody in "Misc").
    const QList<TUser *> &Users() const;
    TUser *FindUser(const QString &nick) const;
    bool IsOp(const QString &nick) const;
    // A user's new nick keeps the place the old one had in completion.
    void RenameSpeaker(const QString &oldNick, const QString &newNick);
    TUser *SelectedUser() const;
    // Re-sorts and redraws the user list; during a read it is done once, at its end.
    void RefreshUserList();

    // Writes one line: time stamp, nick part in bold, then the text in Color.
    // A mention is drawn highlighted and marks an inactive tab as such.
    void AddLine(const QString &nickPart, const QString &text, const QColor &color, bool mention = false);
    // Records that Nick spoke now.
    void NoteSpeaker(const QString &nick);
    // Tab completes the nick before the cursor of an input line typing into this tab (again:
    // the next match); Up and Down walk the tab's history. False for any other key.
    bool InputKey(QLineEdit *input, const QKeyEvent *event, const QString &ownNick);
    // The selected text, rows joined by line breaks.
    QString SelectedText() const;
    // Writes what arrived during a read and the pending user-list refresh.
    void Flush();
    // A view keeps the last lines of the lines-kept setting, and up to a quarter more before
    // the oldest go. Applies a lowered setting to what is shown.
    void ApplyLinesKept();

    // True when this tab is the shown page of the page control that holds it.
    bool IsActivePage() const;
    QTabWidget *PageControl() const;
    void SetNewTextMark(bool on);
    void SetActivity(TActivity activity);

signals:
    void OnUsersChanged(TChat *chat);

private:
    struct TPendingLine
    {
        QString Stamp;
        QString NickPart;
        QColor NickColor;
        QString Text;
        QColor Color;
        bool Mention = false;
    };
    // Where the user is in the view: at its end, or scrolled to a row, and what is selected.
    struct TViewPlace
    {
        bool Follow;
        int Scrolled;
        int SelStart;
        int SelEnd;
    };
    // What DropOldest removed: characters, and rows of the scroll bar.
    struct TDropped
    {
        int Chars = 0;
        int Rows = 0;
    };
    void WriteLog(const QString &nickPart, const QString &text);
    void WriteLines(const QList<TPendingLine> &lines);
    TViewPlace Place() const;
    void Restore(const TViewPlace &place, const TDropped &dropped);
    TDropped DropOldest(int keep);
    void DoRefreshUserList();

    TfrmChat *m_form;
    TNickCompleter m_completer;
    QList<TPendingLine> m_pending;
    bool m_usersDirty = false;
    TActivity m_activity = TActivity::None;
    std::unique_ptr<TConversationLog> m_log;
};
