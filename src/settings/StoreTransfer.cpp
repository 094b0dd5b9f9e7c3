#include "settings/StoreTransfer.h"

#include "settings/ConfigControls.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTableWidget>

namespace {
[[noreturn]] void CountError(TRegistry &reg, const QString &name)
{
    const QString text = QStringLiteral("Failed to get data for '%1'").arg(name);
    reg.Store().RecordError(text);
    throw EStoreError(text, reg.Store().Location());
}
} // namespace

namespace StoreTransfer {

bool IsBlankLine(const QString &line)
{
    for (const QChar c : line) {
        if (c.unicode() > 32)
            return false;
    }
    return true;
}

void Text(TRegistry &reg, TStoreMode mode, const QString &name, QLineEdit *edit)
{
    if (mode == TStoreMode::smSave)
        reg.WriteString(name, edit->text());
    else if (reg.ValueExists(name))
        edit->setText(reg.ReadString(name));
}

void Caption(TRegistry &reg, TStoreMode mode, const QString &name, QLabel *label)
{
    if (mode == TStoreMode::smSave)
        reg.WriteString(name, label->text());
    else if (reg.ValueExists(name))
        label->setText(reg.ReadString(name));
}

void Flag(TRegistry &reg, TStoreMode mode, const QString &name, QCheckBox *box)
{
    if (mode == TStoreMode::smSave)
        reg.WriteBool(name, box->isChecked());
    else if (reg.ValueExists(name))
        box->setChecked(reg.ReadBool(name));
}

void Number(TRegistry &reg, TStoreMode mode, const QString &name, TSpinEdit *spin)
{
    if (mode == TStoreMode::smSave)
        reg.WriteInteger(name, spin->Value());
    else if (reg.ValueExists(name))
        spin->SetValue(reg.ReadInteger(name));
}

void Number(TRegistry &reg, TStoreMode mode, const QString &name, qint32 &field)
{
    if (mode == TStoreMode::smSave)
        reg.WriteInteger(name, field);
    else if (reg.ValueExists(name))
        field = reg.ReadInteger(name);
}

void Choice(TRegistry &reg, TStoreMode mode, const QString &name, TChoiceBox *box)
{
    if (mode == TStoreMode::smSave) {
        reg.WriteInteger(name, box->currentIndex());
        return;
    }
    if (!reg.ValueExists(name))
        return;
    const int index = reg.ReadInteger(name);
    if (index == box->currentIndex())
        return; // -1 over a box without selection keeps its default text
    if (index >= 0 && index < box->count()) {
        box->setCurrentIndex(index);
        box->SetText(box->itemText(index));
    } else {
        box->setCurrentIndex(-1);
        box->SetText(QString());
    }
}

QStringList LoadLines(TRegistry &reg, const QString &name)
{
    const int count = reg.ReadInteger(name);
    if (count < 0 || count > MaxLines)
        CountError(reg, name);
    QStringList lines;
    for (int i = 0; i < count; ++i) {
        const QString item = name + QString::number(i);
        if (reg.ValueExists(item))
            lines << reg.ReadString(item);
    }
    return lines;
}

void SaveLines(TRegistry &reg, const QString &name, const QStringList &lines)
{
    int k = 0;
    for (const QString &line : lines) {
        if (IsBlankLine(line))
            continue;
        reg.WriteString(name + QString::number(k), line);
        ++k;
    }
    reg.WriteInteger(name, k);
}

void Lines(TRegistry &reg, TStoreMode mode, const QString &name, QPlainTextEdit *memo)
{
    if (mode == TStoreMode::smSave) {
        SaveLines(reg, name, MemoLines(memo));
    } else if (reg.ValueExists(name)) {
        const QStringList lines = LoadLines(reg, name);
        SetMemoLines(memo, lines);
    }
}

void Lines(TRegistry &reg, TStoreMode mode, const QString &name, QListWidget *list)
{
    if (mode == TStoreMode::smSave) {
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->item(i)->text();
        SaveLines(reg, name, items);
    } else if (reg.ValueExists(name)) {
        const QStringList lines = LoadLines(reg, name);
        list->clear();
        list->addItems(lines); // a sorted list box keeps its own order
    }
}

void Grid(TRegistry &reg, TStoreMode mode, const QString &name, QTableWidget *grid)
{
    const auto cellName = [&name](int r, int c) {
        return name + QString::number(r) + QLatin1Char('_') + QString::number(c);
    };
    if (mode == TStoreMode::smSave) {
        reg.WriteInteger(name, grid->rowCount());
        for (int c = 0; c < grid->columnCount(); ++c) {
            for (int r = 0; r < grid->rowCount(); ++r)
                reg.WriteString(cellName(r, c), CellText(grid, r, c));
        }
        return;
    }
    if (!reg.ValueExists(name))
        return;
    const int rows = reg.ReadInteger(name);
    if (rows < MinGridRows || rows > MaxGridRows)
        CountError(reg, name);
    grid->setRowCount(rows);
    for (int c = 0; c < grid->columnCount(); ++c) {
        for (int r = 0; r < rows; ++r) {
            if (reg.ValueExists(cellName(r, c)))
                SetCellText(grid, r, c, reg.ReadString(cellName(r, c)));
        }
    }
}

} // namespace StoreTransfer
