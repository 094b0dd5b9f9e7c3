#pragma once

#include <QByteArray>
#include <QString>

// What a key sends to a talk peer:
//   character 32..126  the byte itself
//   backspace          0 8
//   enter              0 13
//   beep (menu)        0 71
// Anything else sends nothing.
namespace TalkKeys {
constexpr char Escape = 0;
constexpr char Backspace = 8;
constexpr char Enter = 13;
constexpr char Beep = 71;

// Key is a Qt::Key value; Text is what the key types.
QByteArray ForKey(int key, const QString &text);
// One typed (or pasted) character; '\n' counts as enter.
QByteArray ForChar(QChar c);
QByteArray BeepPair();
// The character a key sends, or no character.
bool IsSendable(QChar c);
} // namespace TalkKeys
