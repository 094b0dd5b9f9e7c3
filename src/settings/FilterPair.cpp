#include "settings/FilterPair.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QListWidget>

void AddUniqueToListBox(QListWidget *listBox, const QString &text)
{
    if (!listBox || text.trimmed().isEmpty())
        return;
    for (int i = 0; i < listBox->count(); ++i) {
        if (listBox->item(i)->text() == text)
            return;
    }
    listBox->addItem(text);
}

void RemoveSelectedItems(QListWidget *listBox)
{
    for (int row = listBox->count() - 1; row >= 0; --row) {
        if (listBox->item(row)->isSelected())
            delete listBox->takeItem(row);
    }
}

TFilterPair::TFilterPair(QComboBox *combo, QListWidget *list, QObject *parent)
    : QObject(parent), m_combo(combo), m_list(list), m_popup(combo->view()->window())
{
    m_combo->installEventFilter(this);
    m_list->installEventFilter(this);
    m_popup->installEventFilter(this);
    connect(m_combo, &QComboBox::textActivated, this, &TFilterPair::Activated);
}

void TFilterPair::Activated(const QString &text)
{
    // The combo box also activates an item when typed text matches it and the focus
    // leaves; only a pick from the list counts.
    if (m_popupOpen)
        AddUniqueToListBox(m_list, text);
}

bool TFilterPair::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_popup && event->type() == QEvent::Show) {
        m_popupOpen = true;
    } else if (watched == m_popup && event->type() == QEvent::Hide) {
        // The combo box hides the list first and activates the picked item right after.
        QMetaObject::invokeMethod(
            this, [this] { m_popupOpen = m_popup->isVisible(); }, Qt::QueuedConnection);
    } else if (watched == m_combo && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            AddUniqueToListBox(m_list, m_combo->currentText());
            return true;
        }
    } else if (watched == m_list && event->type() == QEvent::KeyPress) {
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
            RemoveSelectedItems(m_list);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
