#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// The PXO login dialog: user name, password and alias, kept under "\PXO", and the stored
// players of the configuration's login grid.
class TfrmLogin : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmLogin(QWidget *parent = nullptr);

    QComboBox *cmbStoredPlayers;
    QLineEdit *edtUserName;
    QLineEdit *edtPassword;
    QLineEdit *edtAlias;
    QCheckBox *cbxSavePassword;
    QPushButton *btnOk;
    QPushButton *btnCancel;

    void cmbStoredPlayersChange();
    // Writes the values and closes with the Ok result; refused (with a note) when the
    // alias gives no chat nick.
    void btnOkClick();
    // What the first character of the alias cuts the nick to; the dialog refuses an empty one.
    static bool AliasUsable(const QString &alias);

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void LoadValues();
    void SaveValues();
};
