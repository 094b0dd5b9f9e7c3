#include "pxo/UfrmLogin.h"

#include "pxo/LaunchCommand.h"
#include "settings/Registry.h"
#include "settings/StoreNames.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>

namespace {
// The login values live in the lobby section, beside the tracker hosts.
const QString Section = QLatin1String(StoreNames::KeyPXO);

QString Cell(const QTableWidget *grid, int row, int column)
{
    const QTableWidgetItem *item = grid->item(row, column);
    return item ? item->text() : QString();
}
} // namespace

TfrmLogin::TfrmLogin(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Login"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setModal(true);

    cmbStoredPlayers = new QComboBox;
    cmbStoredPlayers->setObjectName(QStringLiteral("cmbStoredPlayers"));
    edtUserName = new QLineEdit;
    edtUserName->setObjectName(QStringLiteral("edtUserName"));
    edtPassword = new QLineEdit;
    edtPassword->setObjectName(QStringLiteral("edtPassword"));
    edtPassword->setEchoMode(QLineEdit::Password);
    edtAlias = new QLineEdit;
    edtAlias->setObjectName(QStringLiteral("edtAlias"));
    cbxSavePassword = new QCheckBox(QStringLiteral("&Save password"));
    cbxSavePassword->setObjectName(QStringLiteral("cbxSavePassword"));
    btnOk = new QPushButton(QStringLiteral("&Ok"));
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("&Cancel"));
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Use stored player"), cmbStoredPlayers);
    form->addRow(QStringLiteral("User name:"), edtUserName);
    form->addRow(QStringLiteral("Password:"), edtPassword);
    form->addRow(QStringLiteral("Alias"), edtAlias);
    form->addRow(QString(), cbxSavePassword);
    auto *buttons = new QDialogButtonBox;
    buttons->addButton(btnOk, QDialogButtonBox::AcceptRole);
    buttons->addButton(btnCancel, QDialogButtonBox::RejectRole);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(btnOk, &QPushButton::clicked, this, &TfrmLogin::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmbStoredPlayers, &QComboBox::currentTextChanged, this, &TfrmLogin::cmbStoredPlayersChange);
    for (QWidget *w : {static_cast<QWidget *>(edtUserName), static_cast<QWidget *>(edtPassword),
                       static_cast<QWidget *>(edtAlias), static_cast<QWidget *>(cbxSavePassword)})
        w->installEventFilter(this);

    LoadValues();
}

void TfrmLogin::LoadValues()
{
    const QSignalBlocker blocker(cmbStoredPlayers);
    try {
        TRegistry registry;
        registry.OpenKey(OrloKey(Section), true);
        const auto text = [&registry](const QString &name) {
            try {
                return registry.ValueExists(name) ? registry.ReadString(name) : QString();
            } catch (const std::exception &) {
                return QString();
            }
        };
        edtUserName->setText(text(QStringLiteral("User name")));
        edtAlias->setText(text(QStringLiteral("Alias")));
        edtPassword->setText(text(QStringLiteral("Password")));
        try {
            cbxSavePassword->setChecked(registry.ValueExists(QStringLiteral("Save password")) &&
                                        registry.ReadBool(QStringLiteral("Save password")));
        } catch (const std::exception &) {
            cbxSavePassword->setChecked(false);
        }
    } catch (const std::exception &) {
        // An unreadable store leaves the dialog empty.
    }
    cmbStoredPlayers->clear();
    if (const TfrmConfig *config = frmConfig()) {
        const QTableWidget *grid = config->sgrLogin;
        for (int row = 1; row < grid->rowCount(); ++row)
            cmbStoredPlayers->addItem(Cell(grid, row, 3) + QStringLiteral(" (") + Cell(grid, row, 4) +
                                      QLatin1Char(')'));
    }
    cmbStoredPlayers->setCurrentIndex(-1);
}

void TfrmLogin::SaveValues()
{
    TRegistry registry;
    registry.OpenKey(OrloKey(Section), true);
    registry.WriteString(QStringLiteral("User name"), edtUserName->text());
    registry.WriteString(QStringLiteral("Alias"), edtAlias->text());
    registry.WriteBool(QStringLiteral("Save password"), cbxSavePassword->isChecked());
    registry.WriteString(QStringLiteral("Password"), cbxSavePassword->isChecked() ? edtPassword->text() : QString());
}

void TfrmLogin::cmbStoredPlayersChange()
{
    const TfrmConfig *config = frmConfig();
    if (!config)
        return;
    const int i = cmbStoredPlayers->findText(cmbStoredPlayers->currentText(), Qt::MatchExactly);
    const QTableWidget *grid = config->sgrLogin;
    if (i < 0 || i + 1 >= grid->rowCount())
        return;
    edtUserName->setText(Cell(grid, i + 1, 1));
    edtPassword->setText(Cell(grid, i + 1, 2));
    edtAlias->setText(Cell(grid, i + 1, 3));
}

bool TfrmLogin::AliasUsable(const QString &alias)
{
    return !LaunchCommand::AliasToNick(alias).isEmpty();
}

void TfrmLogin::btnOkClick()
{
    if (!AliasUsable(edtAlias->text())) {
        MessageBox::Warning(this, QStringLiteral("Please enter an alias that does not begin with \".\" or \"'\"."));
        edtAlias->setFocus();
        return;
    }
    try {
        SaveValues();
    } catch (const std::exception &e) {
        // The login goes on; only the remembered values are lost.
        MessageBox::Warning(this,
                            QStringLiteral("The login values could not be saved: ") + QString::fromLocal8Bit(e.what()));
    }
    accept();
}

void TfrmLogin::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!edtUserName->text().isEmpty())
        QTimer::singleShot(0, edtPassword, qOverload<>(&QWidget::setFocus));
}

bool TfrmLogin::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            btnOkClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
