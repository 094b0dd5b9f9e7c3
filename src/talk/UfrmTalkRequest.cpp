#include "talk/UfrmTalkRequest.h"

#include "settings/UfrmConfig.h"
#include "talk/TalkLauncher.h"
#include "talk/UfrmDirectChat.h"
#include "ui/MessageBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

TfrmTalkRequest::TfrmTalkRequest(const QString &alias, quint16 port, const QString &host, QWidget *parent)
    : QWidget(parent), m_host(host), m_port(port)
{
    setObjectName(QStringLiteral("frmTalkRequest"));
    setWindowTitle(QStringLiteral("Talk request"));
    setAttribute(Qt::WA_DeleteOnClose);
    pnlCaption = new QLabel(QStringLiteral("Respond to incoming talk request from ") + alias + QLatin1Char('?'), this);
    pnlCaption->setObjectName(QStringLiteral("pnlCaption"));
    pnlCaption->setTextFormat(Qt::PlainText);
    pnlCaption->setAlignment(Qt::AlignCenter);
    pnlCaption->setWordWrap(true);
    QFont bold = pnlCaption->font();
    bold.setBold(true);
    pnlCaption->setFont(bold);
    btnOk = new QPushButton(QStringLiteral("Yes"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnNo = new QPushButton(QStringLiteral("No"), this);
    btnNo->setObjectName(QStringLiteral("btnNo"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnNo);
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pnlCaption, 1);
    layout->addLayout(buttons);

    connect(btnOk, &QPushButton::clicked, this, &TfrmTalkRequest::btnOkClick);
    connect(btnNo, &QPushButton::clicked, this, &QWidget::close);
}

void TfrmTalkRequest::btnOkClick()
{
    const quint16 port = FreeTalkPort();
    if (port == 0) {
        MessageBox::Error(this, QStringLiteral("Not enough talk server ports configured!"));
        return;
    }
    const QString alias = frmConfig() ? frmConfig()->edtTalkAlias->text() : QString();
    QPointer<TfrmTalkRequest> self(this);
    TfrmDirectChat *window = OpenTalkWindow(alias, port, this);
    // The user has been told why no window opened; the question stays for another try.
    if (!window || !self)
        return;
    window->AddConversation(nullptr, m_host, true, m_port);
    close();
}
