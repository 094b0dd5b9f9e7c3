#pragma once

#include <QByteArray>

// Byte budgets for text on the wire: a cut never ends inside a UTF-8 sequence.
namespace Utf8 {
// The longest prefix of Bytes of at most MaxBytes that does not split a UTF-8 sequence.
QByteArray Cut(const QByteArray &bytes, qsizetype maxBytes);
} // namespace Utf8
