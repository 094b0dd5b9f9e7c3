#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

// Every message box and question of the program goes through here, so tests can answer
// them and count them without a modal loop. Texts are always shown as plain text.
namespace MessageBox {
using Hook = std::function<QMessageBox::StandardButton(QMessageBox::Icon, const QString &text,
                                                       QMessageBox::StandardButtons buttons)>;

QMessageBox::StandardButton Show(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                                 QMessageBox::StandardButtons buttons = QMessageBox::Ok);
inline void Error(QWidget *parent, const QString &text)
{
    Show(parent, QMessageBox::Critical, text);
}
inline void Warning(QWidget *parent, const QString &text)
{
    Show(parent, QMessageBox::Warning, text);
}
inline void Information(QWidget *parent, const QString &text)
{
    Show(parent, QMessageBox::Information, text);
}
inline bool Ask(QWidget *parent, const QString &text)
{
    return Show(parent, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

// A box that does not wait: for errors found in socket, timer or lookup handlers, where a
// modal loop would let the objects around it vanish.
void ErrorLater(QWidget *parent, const QString &text);

// Replaces the real boxes (tests); an empty hook restores them.
void SetHook(Hook hook);
} // namespace MessageBox
