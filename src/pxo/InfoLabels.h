#pragma once

#include <QGridLayout>
#include <QLabel>

// One "Caption: value" line of an information window. The value shows network text, so it
// is plain text, and it can be selected to copy it.
inline QLabel *AddInfoRow(QGridLayout *grid, const char *name, const QString &caption)
{
    auto *value = new QLabel;
    value->setObjectName(QLatin1String(name));
    value->setTextFormat(Qt::PlainText);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const int r = grid->rowCount();
    grid->addWidget(new QLabel(caption), r, 0);
    grid->addWidget(value, r, 1);
    return value;
}
