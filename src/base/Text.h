#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Text from and to the network.
namespace Text {
// Received text for display: UTF-8 when it is valid, Windows-1252 otherwise.
QString Decode(QByteArrayView bytes);
// The longest prefix of Bytes of at most MaxBytes that does not split a UTF-8 sequence.
QByteArray CutUtf8(const QByteArray &bytes, qsizetype maxBytes);
// Text cut so that its UTF-8 form takes at most MaxBytes, never inside a character.
QString CutToBytes(const QString &text, qsizetype maxBytes);
} // namespace Text
