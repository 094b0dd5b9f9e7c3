#include "pxo/UfrmPXOPlayerInfo.h"

#include "chat/UfrmChat.h"
#include "irc/User.h"
#include "pxo/InfoLabels.h"
#include "pxo/PlayerStats.h"
#include "ui/ChildWindow.h"
#include "ui/WindowRegistry.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {
QList<TfrmPXOPlayerInfo *> OpenWindows()
{
    return Windows::All<TfrmPXOPlayerInfo>();
}
} // namespace

TfrmPXOPlayerInfo::TfrmPXOPlayerInfo(TUser *user, bool pingOn, QWidget *parent)
    : QWidget(parent), m_user(user),
      m_form(user && user->Form ? qobject_cast<TfrmChat *>(user->Form->parent()) : nullptr),
      m_hadForm(user && user->Form)
{
    setObjectName(QStringLiteral("frmPXOPlayerInfo"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("PXO Player Info"));
    Windows::Register(this);

    auto *labels = new QGridLayout;
    const auto row = [labels](const char *name, const QString &caption) { return AddInfoRow(labels, name, caption); };
    lblName = row("lblName", QStringLiteral("Name:"));
    lblRanking = row("lblRanking", QStringLiteral("Ranking:"));
    lblKills = row("lblKills", QStringLiteral("Kills:"));
    lblDeaths = row("lblDeaths", QStringLiteral("Deaths:"));
    lblSelfdestructs = row("lblSelfdestructs", QStringLiteral("Self destructs:"));
    lblEfficiency = row("lblEfficiency", QStringLiteral("Efficiency:"));
    lblMinutesInGame = row("lblMinutesInGame", QStringLiteral("Minutes in game:"));
    lblPing = row("lblPing", QStringLiteral("Ping (ms):"));
    lblClient = row("lblClient", QStringLiteral("Client type:"));
    labels->setColumnStretch(1, 1);

    cbxPing = new QCheckBox(QStringLiteral("Continous &ping"));
    cbxPing->setObjectName(QStringLiteral("cbxPing"));
    cbxPing->setChecked(true);
    // Every change, by the user or by the timer, starts a new run of pings.
    connect(cbxPing, &QCheckBox::toggled, this, [this] { PingCount = 0; });

    btnClose = new QPushButton(QStringLiteral("&Close"));
    btnClose->setObjectName(QStringLiteral("btnClose"));
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cbxPing);
    buttons->addStretch(1);
    buttons->addWidget(btnClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(labels);
    layout->addStretch(1);
    layout->addLayout(buttons);

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(PingInterval);
    connect(Timer, &QTimer::timeout, this, &TfrmPXOPlayerInfo::TimerTimer);
    Timer->start();

    PingCount = 0;
    if (!pingOn)
        cbxPing->setChecked(false);
    if (m_user) {
        m_user->InfoRequested = false;
        ShowPlayerInfo(m_user);
    } else {
        Detach();
    }
}

TfrmPXOPlayerInfo::~TfrmPXOPlayerInfo()
{
    Windows::Unregister(this);
}

TUser *TfrmPXOPlayerInfo::User() const
{
    if (m_hadForm && !m_form)
        return nullptr;
    return m_user;
}

TfrmPXOPlayerInfo *TfrmPXOPlayerInfo::FindFor(const QString &nick)
{
    for (TfrmPXOPlayerInfo *window : OpenWindows()) {
        if (const TUser *user = window->User(); user && user->Nick == nick)
            return window;
    }
    return nullptr;
}

void TfrmPXOPlayerInfo::UpdatePlayerInfo(TUser *user, bool pingOn)
{
    if (!user)
        return;
    if (TfrmPXOPlayerInfo *window = FindFor(user->Nick)) {
        window->ShowPlayerInfo(user);
    } else if (user->InfoRequested) {
        auto *created = new TfrmPXOPlayerInfo(user, pingOn);
        ChildWindow::Show(created);
    }
}

void TfrmPXOPlayerInfo::UserRemoved(TUser *user)
{
    const QList<TfrmPXOPlayerInfo *> windows = OpenWindows();
    for (TfrmPXOPlayerInfo *window : windows)
        window->NotifyUserRemoved(user);
}

void TfrmPXOPlayerInfo::NotifyUserRemoved(TUser *user)
{
    if (user && user == m_user)
        Detach();
}

void TfrmPXOPlayerInfo::Detach()
{
    m_user = nullptr;
    m_form = nullptr;
    Timer->stop();
    cbxPing->setChecked(false);
    cbxPing->setEnabled(false);
}

void TfrmPXOPlayerInfo::ShowPlayerInfo(TUser *user)
{
    if (!user)
        return;
    // Before the WHOIS reply names the player, the nick is all there is.
    lblName->setText(user->DisplayName.isEmpty() ? user->Nick : user->DisplayName);
    lblRanking->setText(PlayerStats::RankText(user->Rating));
    lblKills->setText(QString::number(user->Kills));
    lblDeaths->setText(QString::number(user->Deaths));
    lblSelfdestructs->setText(QString::number(user->Suicides));
    lblEfficiency->setText(PlayerStats::EfficiencyText(user->Kills, user->Deaths, user->Suicides));
    lblMinutesInGame->setText(QString::number(user->MinutesInGame));
    lblPing->setText(PlayerStats::PingText(user->PingTime));
    lblClient->setText(PlayerStats::ClientText(user->ClientBuild));
    if (user->InfoRequested)
        BringToFront();
    user->InfoRequested = false;
}

void TfrmPXOPlayerInfo::TimerTimer()
{
    TUser *user = User();
    if (!user) {
        Detach();
        return;
    }
    if (!cbxPing->isChecked())
        return;
    if (m_form)
        m_form->PingUser(user);
    ++PingCount;
    if (PingCount >= PingsPerRun)
        cbxPing->setChecked(false);
}

void TfrmPXOPlayerInfo::BringToFront()
{
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget())) {
        if (QMdiArea *area = sub->mdiArea())
            area->setActiveSubWindow(sub);
        sub->showNormal();
    } else {
        raise();
        activateWindow();
    }
}
