#include "chat/InputLine.h"

#include "chat/Chat.h"
#include "chat/ChatFindBar.h"
#include "chat/UfrmChat.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>

namespace {
bool Multiline(const QString &text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

// The lines of a pasted block, blank ones left out.
QStringList SplitLines(const QString &text)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = text.split(breaks);
    lines.removeIf([](const QString &line) { return line.trimmed().isEmpty(); });
    return lines;
}
} // namespace

TInputLine::TInputLine(QLineEdit *edit, TfrmChat *form, std::function<TChat *()> target)
    : QObject(edit), m_edit(edit), m_form(form), m_target(std::move(target))
{
    edit->installEventFilter(this);
    connect(edit, &QLineEdit::returnPressed, this, &TInputLine::Submit);
}

void TInputLine::Submit()
{
    const QString text = m_edit->text();
    m_edit->clear();
    // A block pasted through the menu arrives here whole: its lines go one by one.
    if (Multiline(text))
        SubmitLines(SplitLines(text));
    else if (m_form)
        m_form->SubmitInput(text, m_target());
}

void TInputLine::ShowAway(bool away)
{
    const QPalette standard = QApplication::palette(m_edit);
    const QColor wanted = standard.color(away ? QPalette::Button : QPalette::Base);
    if (m_edit->palette().color(QPalette::Base) != wanted) {
        QPalette palette = m_edit->palette();
        palette.setColor(QPalette::Base, wanted);
        m_edit->setPalette(palette);
    }
}

bool TInputLine::SubmitLines(const QStringList &lines)
{
    // The lines go to the tab typed into when the block came, and nowhere once it closed.
    QPointer<TfrmChat> form(m_form);
    QPointer<TChat> target(m_target() ? m_target() : m_form ? m_form->ActiveChat() : nullptr);
    if (lines.size() > PasteAskLines &&
        !MessageBox::Ask(
            m_edit, QStringLiteral("Send these %1 lines one by one? Long blocks go out slowly.").arg(lines.size())))
        return false;
    if (!form || !target)
        return false;
    const bool paced = form->Session()->SetPaced(true);
    for (const QString &line : lines)
        form->SubmitInput(line, target);
    form->Session()->SetPaced(paced);
    return true;
}

bool TInputLine::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_edit || event->type() != QEvent::KeyPress || !m_form)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    TChat *chat = m_target() ? m_target() : m_form->ActiveChat();
    if (key->matches(QKeySequence::Find)) {
        m_form->pnlFind->Open();
        return true;
    }
    if (!key->matches(QKeySequence::Paste))
        return chat && chat->InputKey(m_edit, key, m_form->Session()->Nick());
    const QString clip = QGuiApplication::clipboard()->text();
    if (!Multiline(clip))
        return false;
    // The block goes out line by line, with what was typed around it.
    QString text = m_edit->text();
    const int from = m_edit->hasSelectedText() ? m_edit->selectionStart() : m_edit->cursorPosition();
    text.replace(from, m_edit->hasSelectedText() ? int(m_edit->selectedText().size()) : 0, clip);
    m_edit->clear();
    SubmitLines(SplitLines(text));
    return true;
}
