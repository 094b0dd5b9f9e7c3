#pragma once

#include <QDialog>

class QLineEdit;
class QSpinBox;

// Asks for the address of a game to join directly.
class TfrmJoinDirectIP : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmJoinDirectIP(QWidget *parent = nullptr);

    QLineEdit *edtServerIP;
    QSpinBox *spePort;

    // Ok only with an address.
    void TryAccept();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
