#include "pxo/UfrmJoinPrivateChannel.h"

#include "ui/MessageBox.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// A channel name is one IRC parameter: long names are cut by the server, not here.
constexpr int MaxTyped = 200;
} // namespace

TfrmJoinPrivateChannel::TfrmJoinPrivateChannel(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmJoinPrivateChannel"));
    setWindowTitle(QStringLiteral("Join private channel"));
    setModal(true);
    edtChannel = new QLineEdit;
    edtChannel->setObjectName(QStringLiteral("edtChannel"));
    edtChannel->setMaxLength(MaxTyped);
    edtChannel->installEventFilter(this);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Channel name:"), edtChannel);
    auto *buttons = new QDialogButtonBox;
    QPushButton *ok = buttons->addButton(QStringLiteral("&Ok"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("btnOk"));
    ok->setAutoDefault(false);
    QPushButton *cancel = buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    connect(ok, &QPushButton::clicked, this, &TfrmJoinPrivateChannel::TryAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(280);
}

QString TfrmJoinPrivateChannel::ChannelFor(const QString &typed)
{
    const QString name = typed.trimmed();
    if (name.isEmpty())
        return {};
    for (const QChar c : name) {
        if (c.isSpace() || c == u',' || c.category() == QChar::Other_Control)
            return {};
    }
    return QLatin1Char('+') + name;
}

QString TfrmJoinPrivateChannel::Channel() const
{
    return ChannelFor(edtChannel->text());
}

void TfrmJoinPrivateChannel::TryAccept()
{
    if (edtChannel->text().trimmed().isEmpty())
        return;
    if (Channel().isEmpty()) {
        MessageBox::Error(this, QStringLiteral("A channel name cannot contain blanks, commas or control characters."));
        return;
    }
    accept();
}

bool TfrmJoinPrivateChannel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == edtChannel && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            TryAccept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
