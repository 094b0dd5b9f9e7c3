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
}

void TRedTalk::keyPressEvent(QKeyEvent *event)
{
    moveCursor(QTextCursor::End);
    const QString text = event->text();
    const QByteArray bytes = TalkKeys::ForKey(event->key(), text);
    if (!bytes.isEmpty())
        emit KeyBytes(bytes);
    // A printable character that cannot be sent is not typed either: what shows here is
    // what the peers get.
    if (bytes.isEmpty() && text.size() == 1 && text.front().isPrint()) {
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
