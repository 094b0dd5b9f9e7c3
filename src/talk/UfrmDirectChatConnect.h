#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

// "Direct chat connection": the host and port of another user's talk window.
class TfrmDirectChatConnect : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmDirectChatConnect(QWidget *parent = nullptr);

    QLineEdit *edtHost;
    QLineEdit *edtPort;
    QPushButton *btnOk;
    QPushButton *btnCancel;

private:
    void btnOkClick();
};
