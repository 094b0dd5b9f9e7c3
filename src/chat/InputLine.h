#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class QLineEdit;
class TChat;
class TfrmChat;

// What an input line of a chat form or of a detached chat window does besides taking text:
// Return submits it to the form, a pasted block goes out line by line at the send pace
// (after a question when it is long), Ctrl+F opens the form's find bar, and Tab and Up and
// Down complete nicks and walk the history of the tab the line types into.
class TInputLine : public QObject
{
    Q_OBJECT
public:
    static constexpr int PasteAskLines = 5;

    // Target: the tab the line types into (null: the form's active tab).
    TInputLine(QLineEdit *edit, TfrmChat *form, std::function<TChat *()> target);

    void Submit();
    // Gray while away (the button face), else the usual base colour.
    void ShowAway(bool away);
    // Sends Lines one by one; asks first when there are more than PasteAskLines. False when
    // the user declined.
    bool SubmitLines(const QStringList &lines);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *m_edit;
    QPointer<TfrmChat> m_form;
    std::function<TChat *()> m_target;
};
