#include "settings/ConfigControls.h"

#include <QLineEdit>
#include <QPainter>
#include <QStyle>

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

namespace {
// Text read as a 32-bit number; false when it is none or does not fit.
bool ReadInt32(const QString &text, qint64 &value)
{
    bool ok = false;
    value = text.trimmed().toLongLong(&ok);
    return ok && value >= std::numeric_limits<qint32>::min() && value <= std::numeric_limits<qint32>::max();
}
} // namespace

int TSpinEdit::Value() const
{
    qint64 v = 0;
    if (!ReadInt32(cleanText(), v))
        return MinValue();
    return static_cast<int>(std::clamp<qint64>(v, minimum(), maximum()));
}

QValidator::State TSpinEdit::validate(QString &input, int &pos) const
{
    const QValidator::State state = QSpinBox::validate(input, pos);
    qint64 v = 0;
    if (state == QValidator::Invalid && ReadInt32(input, v))
        return QValidator::Intermediate;
    return state;
}

void TSpinEdit::fixup(QString &input) const
{
    qint64 v = 0;
    const int clamped =
        ReadInt32(input, v) ? static_cast<int>(std::clamp<qint64>(v, minimum(), maximum())) : MinValue();
    input = textFromValue(clamped);
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

QSize TElidedLabel::minimumSizeHint() const
{
    const QSize hint = QLabel::minimumSizeHint();
    return {fontMetrics().horizontalAdvance(QStringLiteral("...")), hint.height()};
}

void TElidedLabel::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(), shown, foregroundRole());
    const QString tip = shown == text() ? QString() : text();
    if (toolTip() != tip)
        setToolTip(tip);
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
