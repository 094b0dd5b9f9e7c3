#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;

// The find bar under a conversation: a text, next and previous, match case. Searches wrap
// around the view's text; a text that is not there turns the field red. Ctrl+F in the host
// opens it on the view the host has active; Escape closes it.
class TChatFindBar : public QWidget
{
    Q_OBJECT
public:
    TChatFindBar(QWidget *host, std::function<QPlainTextEdit *()> activeView);

    QLineEdit *edtFind;
    QToolButton *btnFindNext;
    QToolButton *btnFindPrevious;
    QCheckBox *cbxFindCase;
    QToolButton *btnFindClose;

    // The view searched from now on.
    void SetView(QPlainTextEdit *view);
    QPlainTextEdit *View() const;
    // Shows the bar on the active view, the field ready for typing.
    void Open();
    void Close();
    // Finds the next (or previous) match from the view's cursor; false when there is none.
    bool Find(bool backward);
    bool NotFound() const { return m_notFound; }

signals:
    void Closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ShowNotFound(bool notFound);

    std::function<QPlainTextEdit *()> m_activeView;
    QPointer<QPlainTextEdit> m_view;
    bool m_notFound = false;
};
