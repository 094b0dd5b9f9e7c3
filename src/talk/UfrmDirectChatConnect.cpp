#include "talk/UfrmDirectChatConnect.h"

#include "ui/MessageBox.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfrmDirectChatConnect::TfrmDirectChatConnect(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmDirectChatConnect"));
    setWindowTitle(QStringLiteral("Direct chat connection"));
    edtHost = new QLineEdit(this);
    edtHost->setObjectName(QStringLiteral("edtHost"));
    edtPort = new QLineEdit(this);
    edtPort->setObjectName(QStringLiteral("edtPort"));
    btnOk = new QPushButton(QStringLiteral("&Ok"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("Remote host"), edtHost);
    fields->addRow(QStringLiteral("port"), edtPort);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    connect(btnOk, &QPushButton::clicked, this, &TfrmDirectChatConnect::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmDirectChatConnect::btnOkClick()
{
    if (edtHost->text().trimmed().isEmpty()) {
        MessageBox::Error(this, QStringLiteral("You must enter a hostname"));
        return;
    }
    accept();
}
