// The login grid: row 0 holds the column titles and is shown as the grid's header; each
// further row is one stored login. Dragging a row header moves the login itself, so the
// order the user sees is the order that is stored.
#include "settings/UfrmConfig.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QStyledItemDelegate>

#include <limits>

namespace {
constexpr int FirstLoginColumn = 1;
constexpr int LastLoginColumn = 4;
constexpr int PasswordColumn = 2;

// Passwords show as dots and are typed into a masked field.
class TPasswordDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QString displayText(const QVariant &value, const QLocale &locale) const override
    {
        Q_UNUSED(locale);
        return QString(value.toString().size(), QChar(0x2022));
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *edit = qobject_cast<QLineEdit *>(editor))
            edit->setEchoMode(QLineEdit::Password);
        return editor;
    }
};
} // namespace

void TfrmConfig::SetupLoginGrid()
{
    sgrLogin->setRowHidden(0, true);
    sgrLogin->setColumnHidden(0, true);
    sgrLogin->setItemDelegateForColumn(PasswordColumn, new TPasswordDelegate(sgrLogin));
    sgrLogin->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    QHeaderView *columns = sgrLogin->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(true);
    QHeaderView *rows = sgrLogin->verticalHeader();
    rows->setSectionsMovable(true);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    connect(rows, &QHeaderView::sectionMoved, this,
            [this](int, int oldVisual, int newVisual) { LoginRowDragged(oldVisual, newVisual); });
    QAbstractItemModel *model = sgrLogin->model();
    connect(model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &topLeft) {
        if (topLeft.row() == 0)
            RefreshLoginHeaders();
    });
    connect(model, &QAbstractItemModel::rowsInserted, this, &TfrmConfig::RefreshLoginHeaders);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &TfrmConfig::RefreshLoginHeaders);
}

void TfrmConfig::RefreshLoginHeaders()
{
    for (int c = 0; c < sgrLogin->columnCount(); ++c)
        sgrLogin->setHorizontalHeaderItem(c, new QTableWidgetItem(CellText(sgrLogin, 0, c)));
    for (int r = 0; r < sgrLogin->rowCount(); ++r)
        sgrLogin->setVerticalHeaderItem(r, new QTableWidgetItem(r == 0 ? QString() : QString::number(r)));
}

int TfrmConfig::SelectedLoginRow() const
{
    int top = std::numeric_limits<int>::max();
    for (const QModelIndex &index : sgrLogin->selectionModel()->selectedIndexes()) {
        if (index.row() >= 1)
            top = std::min(top, index.row());
    }
    if (top != std::numeric_limits<int>::max())
        return top;
    return sgrLogin->currentRow() >= 1 ? sgrLogin->currentRow() : -1;
}

void TfrmConfig::btnLoginAddClick()
{
    const int row = sgrLogin->rowCount();
    if (row >= StoreTransfer::MaxGridRows) {
        // More rows could not be read back from the store.
        QApplication::beep();
        return;
    }
    sgrLogin->setRowCount(row + 1);
    for (int c = FirstLoginColumn; c <= LastLoginColumn; ++c)
        SetCellText(sgrLogin, row, c, QString());
    sgrLogin->setCurrentCell(row, FirstLoginColumn);
    sgrLogin->scrollToItem(sgrLogin->item(row, FirstLoginColumn));
    sgrLogin->setFocus(Qt::OtherFocusReason);
}

void TfrmConfig::btnLoginRemoveClick()
{
    const int rows = sgrLogin->rowCount();
    if (rows < 3) {
        // The grid keeps its header and one login row.
        for (int c = FirstLoginColumn; c <= LastLoginColumn; ++c)
            SetCellText(sgrLogin, 1, c, QString());
        return;
    }
    const int top = SelectedLoginRow();
    if (top < 1 || top >= rows) {
        QApplication::beep();
        return;
    }
    for (int r = top; r < rows - 1; ++r) {
        for (int c = FirstLoginColumn; c <= LastLoginColumn; ++c)
            SetCellText(sgrLogin, r, c, CellText(sgrLogin, r + 1, c));
    }
    sgrLogin->setRowCount(rows - 1);
    sgrLogin->setCurrentCell(std::min(top, rows - 2), std::max(FirstLoginColumn, sgrLogin->currentColumn()));
}

void TfrmConfig::MoveLoginRow(int from, int to)
{
    const int rows = sgrLogin->rowCount();
    if (from < 1 || to < 1 || from >= rows || to >= rows || from == to)
        return;
    QList<QTableWidgetItem *> cells;
    for (int c = 0; c < sgrLogin->columnCount(); ++c)
        cells << sgrLogin->takeItem(from, c);
    sgrLogin->removeRow(from);
    sgrLogin->insertRow(to);
    for (int c = 0; c < cells.size(); ++c) {
        if (cells[c])
            sgrLogin->setItem(to, c, cells[c]);
    }
    sgrLogin->setCurrentCell(to, std::max(FirstLoginColumn, sgrLogin->currentColumn()));
}

void TfrmConfig::LoginRowDragged(int oldVisual, int newVisual)
{
    if (m_draggingLoginRow)
        return;
    // Put the header back and move the data instead; row 0 stays the title row.
    m_draggingLoginRow = true;
    sgrLogin->verticalHeader()->moveSection(newVisual, oldVisual);
    m_draggingLoginRow = false;
    MoveLoginRow(oldVisual, std::max(1, newVisual));
}
