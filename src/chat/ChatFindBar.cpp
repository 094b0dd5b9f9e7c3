#include "chat/ChatFindBar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>

TChatFindBar::TChatFindBar(QWidget *host, std::function<QPlainTextEdit *()> activeView)
    : QWidget(host), m_activeView(std::move(activeView))
{
    setObjectName(QStringLiteral("pnlFind"));
    edtFind = new QLineEdit;
    edtFind->setObjectName(QStringLiteral("edtFind"));
    edtFind->setPlaceholderText(QStringLiteral("Find"));
    edtFind->setClearButtonEnabled(true);
    edtFind->installEventFilter(this);
    const auto button = [](const char *name, const QString &text) {
        auto *b = new QToolButton;
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        return b;
    };
    btnFindNext = button("btnFindNext", QStringLiteral("&Next"));
    btnFindPrevious = button("btnFindPrevious", QStringLiteral("&Previous"));
    btnFindClose = button("btnFindClose", QStringLiteral("X"));
    btnFindClose->setToolTip(QStringLiteral("Close (Esc)"));
    cbxFindCase = new QCheckBox(QStringLiteral("Match &case"));
    cbxFindCase->setObjectName(QStringLiteral("cbxFindCase"));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *caption = new QLabel(QStringLiteral("Find:"));
    caption->setBuddy(edtFind);
    layout->addWidget(caption);
    layout->addWidget(edtFind, 1);
    layout->addWidget(btnFindNext);
    layout->addWidget(btnFindPrevious);
    layout->addWidget(cbxFindCase);
    layout->addWidget(btnFindClose);

    connect(btnFindNext, &QToolButton::clicked, this, [this] { Find(false); });
    connect(btnFindPrevious, &QToolButton::clicked, this, [this] { Find(true); });
    connect(btnFindClose, &QToolButton::clicked, this, &TChatFindBar::Close);
    auto *open = new QShortcut(QKeySequence::Find, host);
    open->setContext(Qt::WidgetWithChildrenShortcut);
    connect(open, &QShortcut::activated, this, &TChatFindBar::Open);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &TChatFindBar::Close);
    hide();
    connect(edtFind, &QLineEdit::textEdited, this, [this] {
        // Typing searches again from where the current match starts.
        if (m_view) {
            QTextCursor at = m_view->textCursor();
            at.setPosition(at.selectionStart());
            m_view->setTextCursor(at);
        }
        if (edtFind->text().isEmpty())
            ShowNotFound(false);
        else
            Find(false);
    });
    connect(cbxFindCase, &QCheckBox::toggled, this, [this] { ShowNotFound(false); });
}

void TChatFindBar::SetView(QPlainTextEdit *view)
{
    m_view = view;
    ShowNotFound(false);
}

QPlainTextEdit *TChatFindBar::View() const
{
    return m_view;
}

void TChatFindBar::Open()
{
    QPlainTextEdit *view = m_activeView ? m_activeView() : nullptr;
    if (!view)
        return;
    SetView(view);
    show();
    edtFind->setFocus();
    edtFind->selectAll();
}

void TChatFindBar::Close()
{
    if (!isVisible())
        return;
    hide();
    emit Closed();
}

bool TChatFindBar::Find(bool backward)
{
    const QString text = edtFind->text();
    if (!m_view || text.isEmpty())
        return false;
    QTextDocument::FindFlags flags;
    if (backward)
        flags |= QTextDocument::FindBackward;
    if (cbxFindCase->isChecked())
        flags |= QTextDocument::FindCaseSensitively;
    bool found = m_view->find(text, flags);
    if (!found) {
        // Wrap around: from the other end of the conversation.
        const QTextCursor saved = m_view->textCursor();
        QTextCursor from(m_view->document());
        from.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
        m_view->setTextCursor(from);
        found = m_view->find(text, flags);
        if (!found)
            m_view->setTextCursor(saved);
    }
    ShowNotFound(!found);
    return found;
}

void TChatFindBar::ShowNotFound(bool notFound)
{
    m_notFound = notFound;
    QPalette palette = edtFind->palette();
    palette.setColor(QPalette::Base, notFound ? QColor(255, 200, 200) : QWidget::palette().color(QPalette::Base));
    edtFind->setPalette(palette);
}

bool TChatFindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == edtFind && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape) {
            Close();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            Find(key->modifiers() & Qt::ShiftModifier);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
