#include "ui/MessageBox.h"

#include <QApplication>

namespace {
MessageBox::Hook &CurrentHook()
{
    static MessageBox::Hook hook;
    return hook;
}
} // namespace

namespace {
QString Caption()
{
    return QApplication::applicationDisplayName().isEmpty() ? QStringLiteral("Orlo")
                                                            : QApplication::applicationDisplayName();
}
} // namespace

QMessageBox::StandardButton MessageBox::Show(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                                             QMessageBox::StandardButtons buttons)
{
    if (CurrentHook())
        return CurrentHook()(icon, text, buttons);
    QMessageBox box(icon, Caption(), text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void MessageBox::SetHook(Hook hook)
{
    CurrentHook() = std::move(hook);
}

void MessageBox::ErrorLater(QWidget *parent, const QString &text)
{
    if (CurrentHook()) {
        CurrentHook()(QMessageBox::Critical, text, QMessageBox::Ok);
        return;
    }
    auto *box = new QMessageBox(QMessageBox::Critical, Caption(), text, QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
