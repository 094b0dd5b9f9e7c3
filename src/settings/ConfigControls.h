#pragma once

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStringList>
#include <QTableWidget>

// A spin field with the store's bounds: equal bounds (0, 0) accept any 32-bit value;
// text that is not a number reads as the minimum; values are clamped into the bounds.
class TSpinEdit : public QSpinBox
{
    Q_OBJECT
public:
    TSpinEdit(int minValue, int maxValue, int value, QWidget *parent = nullptr);
    // The value as the store and the consumers see it: the text read as a number, clamped.
    int Value() const;
    void SetValue(qint64 value);
    int MinValue() const { return m_bounded ? minimum() : 0; }
    // The larger of the value and the minimum: interval consumers never count below it.
    int AtLeastMinimum() const;
    bool Bounded() const { return m_bounded; }

protected:
    // A number beyond the bounds may be typed; it is clamped when the field is left.
    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    bool m_bounded;
};

// A combo box whose selected index may be -1 while it still shows a text (a default that
// is not a selection), as the stored choices need. The text is not typed by the user.
class TChoiceBox : public QComboBox
{
    Q_OBJECT
public:
    TChoiceBox(const QStringList &items, int index, const QString &shownText = QString(), QWidget *parent = nullptr);
    // The text the box shows, selected or not.
    QString Text() const;
    void SetText(const QString &text);
};

// A one-line label that shows as much of its text as fits, ending in "…", with the whole
// text as its tip: a long away message neither widens the dialog nor pushes its fields away.
class TElidedLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// Memo lines as a line-based view of a plain text edit: an empty memo has no lines and a
// trailing line break does not add one.
QStringList MemoLines(const QPlainTextEdit *memo);
void SetMemoLines(QPlainTextEdit *memo, const QStringList &lines);

// Grid cells, where a cell that was never written reads as empty.
QString CellText(const QTableWidget *grid, int row, int column);
void SetCellText(QTableWidget *grid, int row, int column, const QString &text);
