#include "settings/ConfigControls.h"

#include <QLineEdit>

#include <limits>

TSpinEdit::TSpinEdit(int minValue, int maxValue, int value, QWidget *parent)
    : QSpinBox(parent), m_bounded(minValue != maxValue)
{
    if (m_bounded)
        setRange(minValue, maxValue);
    else
        setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    setValue(value);
    setKeyboardTracking(true);
}

int TSpinEdit::Value() const
{
    bool ok = false;
    const qint64 v = cleanText().trimmed().toLongLong(&ok);
    if (!ok)
        return MinValue();
    return static_cast<int>(std::clamp<qint64>(v, minimum(), maximum()));
}

void TSpinEdit::SetValue(qint64 value)
{
    setValue(static_cast<int>(std::clamp<qint64>(value, minimum(), maximum())));
}

int TSpinEdit::AtLeastMinimum() const
{
    return std::max(Value(), MinValue());
}

void TSpinEdit::focusOutEvent(QFocusEvent *event)
{
    // Leaving the field clamps what was typed; text that is no number becomes the minimum.
    const int v = Value();
    QSpinBox::focusOutEvent(event);
    setValue(v);
}

TChoiceBox::TChoiceBox(const QStringList &items, int index, const QString &shownText, QWidget *parent)
    : QComboBox(parent)
{
    setEditable(true);
    lineEdit()->setReadOnly(true);
    setInsertPolicy(QComboBox::NoInsert);
    addItems(items);
    setCurrentIndex(index);
    if (index < 0)
        setEditText(shownText);
}

QString TChoiceBox::Text() const
{
    return lineEdit()->text();
}

void TChoiceBox::SetText(const QString &text)
{
    setEditText(text);
}

QStringList MemoLines(const QPlainTextEdit *memo)
{
    QString text = memo->toPlainText();
    if (text.isEmpty())
        return {};
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.split(QLatin1Char('\n'));
}

void SetMemoLines(QPlainTextEdit *memo, const QStringList &lines)
{
    memo->setPlainText(lines.join(QLatin1Char('\n')));
}

QString CellText(const QTableWidget *grid, int row, int column)
{
    const QTableWidgetItem *cell = grid->item(row, column);
    return cell ? cell->text() : QString();
}

void SetCellText(QTableWidget *grid, int row, int column, const QString &text)
{
    if (row < 0 || column < 0 || row >= grid->rowCount() || column >= grid->columnCount())
        return;
    QTableWidgetItem *cell = grid->item(row, column);
    if (!cell) {
        cell = new QTableWidgetItem;
        grid->setItem(row, column, cell);
    }
    cell->setText(text);
}
