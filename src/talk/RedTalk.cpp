#include "talk/RedTalk.h"

#include "talk/TalkKeys.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>

TRedTalk::TRedTalk(QWidget *parent) : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("RedTalk"));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Undo would change the text here without telling the peers.
    setUndoRedoEnabled(false);
    // Moving text by dragging would change it here only.
    setAcceptDrops(false);
}

void TRedTalk::keyPressEvent(QKeyEvent *event)
{
    moveCursor(QTextCursor::End);
    const QString text = event->text();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool control = mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier);
    if (control && event->key() == Qt::Key_Backspace) {
        // The peer removes one character, so the input does too (not a whole word).
        emit KeyBytes(TalkKeys::ForKey(Qt::Key_Backspace, text));
        textCursor().deletePreviousChar();
        event->accept();
        return;
    }
    // Control with a letter is a shortcut here (copy, paste), never typed text.
    const QByteArray bytes = control && event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter
                                 ? QByteArray()
                                 : TalkKeys::ForKey(event->key(), text);
    if (!bytes.isEmpty())
        emit KeyBytes(bytes);
    // A printable character that cannot be sent is not typed either: what shows here is
    // what the peers get.
    if (bytes.isEmpty() && !control && text.size() == 1 && text.front().isPrint()) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

bool TRedTalk::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasText();
}

void TRedTalk::insertFromMimeData(const QMimeData *source)
{
    moveCursor(QTextCursor::End);
    QString typed;
    QByteArray bytes;
    const QString text = source->text();
    for (const QChar c : text) {
        const QByteArray one = TalkKeys::ForChar(c);
        if (one.isEmpty())
            continue;
        bytes += one;
        typed += c;
    }
    if (typed.isEmpty())
        return;
    emit KeyBytes(bytes);
    insertPlainText(typed);
}
