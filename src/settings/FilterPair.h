#pragma once

#include <QObject>

class QComboBox;
class QListWidget;
class QWidget;

// Appends Text to the list box unless an item exactly equal to it (case-sensitive) is
// there already. Blank text adds nothing: it could never match a server.
void AddUniqueToListBox(QListWidget *listBox, const QString &text);
// Removes every selected item, from the last row to the first.
void RemoveSelectedItems(QListWidget *listBox);

// A server filter: a combo box of known values over the sorted list box of hidden ones.
// A pick from the drop-down list or Enter adds the combo box's text once; typing alone
// adds nothing, even when the typed text (or its completion) is an item and the focus
// leaves. Delete in the list box removes the selected items.
class TFilterPair : public QObject
{
    Q_OBJECT
public:
    TFilterPair(QComboBox *combo, QListWidget *list, QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Activated(const QString &text);

    QComboBox *m_combo;
    QListWidget *m_list;
    QWidget *m_popup;
    // True from the moment the drop-down list shows until just after it hides: an
    // activation in that time is a pick from the list.
    bool m_popupOpen = false;
};
