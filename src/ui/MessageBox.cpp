#include "ui/MessageBox.h"

#include <QApplication>

namespace {
MessageBox::Hook &CurrentHook()
{
    static MessageBox::Hook hook;
    return hook;
}
} // namespace

QMessageBox::StandardButton MessageBox::Show(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                                             QMessageBox::StandardButtons buttons)
{
    if (CurrentHook())
        return CurrentHook()(icon, text, buttons);
    QMessageBox box(icon,
                    QApplication::applicationDisplayName().isEmpty() ? QStringLiteral("Orlo")
                                                                     : QApplication::applicationDisplayName(),
                    text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void MessageBox::SetHook(Hook hook)
{
    CurrentHook() = std::move(hook);
}
