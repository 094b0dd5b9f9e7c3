#pragma once

#include <QColor>
#include <QStringList>

// The 18 named colours that the colour choices select by index.
namespace ColorTable {
constexpr int Count = 18;
const QStringList &Names();
// The colour of Index; Fallback when the index lies outside the table.
QColor Color(int index, const QColor &fallback = QColor(0, 0, 0));
} // namespace ColorTable
