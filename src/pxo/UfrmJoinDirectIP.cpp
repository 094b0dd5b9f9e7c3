#include "pxo/UfrmJoinDirectIP.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TfrmJoinDirectIP::TfrmJoinDirectIP(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmJoinDirectIP"));
    setWindowTitle(QStringLiteral("Join direct IP"));
    edtServerIP = new QLineEdit;
    edtServerIP->setObjectName(QStringLiteral("edtServerIP"));
    spePort = new QSpinBox;
    spePort->setObjectName(QStringLiteral("spePort"));
    spePort->setRange(0, 65535);
    spePort->setValue(2092);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Server IP:"), edtServerIP);
    form->addRow(QStringLiteral("Port:"), spePort);
    auto *buttons = new QDialogButtonBox;
    QPushButton *ok = buttons->addButton(QStringLiteral("&Ok"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    ok->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &TfrmJoinDirectIP::TryAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    edtServerIP->installEventFilter(this);
    spePort->installEventFilter(this);
}

void TfrmJoinDirectIP::TryAccept()
{
    if (!edtServerIP->text().trimmed().isEmpty())
        accept();
}

bool TfrmJoinDirectIP::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            TryAccept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
