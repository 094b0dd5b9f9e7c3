#pragma once

#include <QPlainTextEdit>

// The talk window's input: every key goes to the peers the moment it is typed, so the
// caret always returns to the end first, and only what can be sent is typed at all.
class TRedTalk : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TRedTalk(QWidget *parent = nullptr);

signals:
    // The bytes a key (or a pasted character) sends.
    void KeyBytes(const QByteArray &bytes);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
};
