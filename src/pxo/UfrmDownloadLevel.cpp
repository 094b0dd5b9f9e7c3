#include "pxo/UfrmDownloadLevel.h"

#include "base/Tick.h"
#include "pxo/LevelTarget.h"
#include "settings/UfrmConfig.h"
#include "ui/ChildWindow.h"
#include "ui/MessageBox.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {
constexpr int ProgressSteps = 1000;

QString Unable(const QString &serverName)
{
    return QStringLiteral("Unable to get level from ") + serverName;
}

// The folder levels go to, as the settings write it; empty without settings.
QString DownloadDirectory()
{
    const TfrmConfig *config = frmConfig();
    if (!config)
        return {};
    return LevelTarget::Directory(config->cbxDescentDLMissionsDir->isChecked(), config->edtDescentPath->text(),
                                  config->edtFileDownload->text());
}
} // namespace

TfrmDownloadLevel::TfrmDownloadLevel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmDownloadLevel"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Download level"));

    auto *grid = new QGridLayout(this);
    const auto row = [grid](const char *name, const QString &caption) {
        auto *value = new QLabel(QStringLiteral("Unknown"));
        value->setObjectName(QLatin1String(name));
        value->setTextFormat(Qt::PlainText);
        auto *title = new QLabel(caption);
        const int r = grid->rowCount();
        grid->addWidget(title, r, 0);
        grid->addWidget(value, r, 1);
        return value;
    };
    lblDownloadLocation = row("lblDownloadLocation", QStringLiteral("Download location"));
    lblDownloadLocation->setWordWrap(true);
    lblFileSize = row("lblFileSize", QStringLiteral("File size"));
    lblBytesReceived = row("lblBytesReceived", QStringLiteral("Bytes received"));
    lblBytesLeft = row("lblBytesLeft", QStringLiteral("Bytes left"));
    lblBytesSecond = row("lblBytesSecond", QStringLiteral("Bytes / second"));
    lblTime = row("lblTime", QStringLiteral("Time"));
    lblTimeLeft = row("lblTimeLeft", QStringLiteral("Time left"));

    pgbDownload = new QProgressBar;
    pgbDownload->setObjectName(QStringLiteral("pgbDownload"));
    pgbDownload->setRange(0, ProgressSteps);
    pgbDownload->setValue(0);
    grid->addWidget(pgbDownload, grid->rowCount(), 0, 1, 2);

    lblStatus = new QLabel;
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setWordWrap(true);
    grid->addWidget(lblStatus, grid->rowCount(), 0, 1, 2);

    btnCancel = new QPushButton(QStringLiteral("&Cancel"));
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    grid->addWidget(btnCancel, grid->rowCount(), 1, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    connect(btnCancel, &QPushButton::clicked, this, &QWidget::close);

    Timer = new QTimer(this);
    Timer->setInterval(1000);
    connect(Timer, &QTimer::timeout, this, &TfrmDownloadLevel::TimerTimer);

    HTTP = new TLevelDownload(this);
    connect(HTTP, &TLevelDownload::Connected, this, &TfrmDownloadLevel::HTTPConnect);
    connect(HTTP, &TLevelDownload::Progress, this, &TfrmDownloadLevel::HTTPProgress);
    connect(HTTP, &TLevelDownload::Succeeded, this, &TfrmDownloadLevel::HTTPSuccess);
    connect(HTTP, &TLevelDownload::Failed, this, &TfrmDownloadLevel::HTTPFailed);
    resize(360, sizeHint().height());
}

void TfrmDownloadLevel::OpenFor(const QString &serverName, const QString &address, QObject *context,
                                std::function<void(const QString &path)> arrived)
{
    const QPointer<QObject> receiver(context);
    const auto follow = [receiver, arrived](TfrmDownloadLevel *window) {
        if (receiver && arrived)
            connect(window, &TfrmDownloadLevel::LevelDownloaded, receiver.data(), arrived);
    };
    QTimer::singleShot(0, qApp, [serverName, address, follow] {
        const QString target = TLevelDownload::TargetFor(address, DownloadDirectory());
        if (target.isEmpty() || !LevelTarget::IsFetchable(address)) {
            MessageBox::Warning(nullptr, Unable(serverName));
            return;
        }
        if (TfrmDownloadLevel *running = FindFor(target)) {
            follow(running);
            running->BringToFront();
            return;
        }
        QPointer<TfrmDownloadLevel> window = new TfrmDownloadLevel;
        follow(window);
        ChildWindow::Show(window);
        const TLevelDownload::TStart started = window->StartDownload(address);
        if (!window)
            return;
        if (started == TLevelDownload::TStart::BadAddress) {
            window->close();
            MessageBox::Warning(nullptr, Unable(serverName));
        } else if (started == TLevelDownload::TStart::Busy) {
            window->close();
        }
    });
}

TfrmDownloadLevel *TfrmDownloadLevel::FindFor(const QString &path)
{
    TLevelDownload *download = TLevelDownload::Running(path);
    return download ? qobject_cast<TfrmDownloadLevel *>(download->parent()) : nullptr;
}

TLevelDownload::TStart TfrmDownloadLevel::StartDownload(const QString &url)
{
    const QString name = LevelTarget::FileName(url);
    setWindowTitle(QStringLiteral("Downloading ") + name);
    const TLevelDownload::TStart started = HTTP->Start(url, DownloadDirectory());
    if (started == TLevelDownload::TStart::FileError)
        HTTPFailed(HTTP->ErrorText());
    return started;
}

void TfrmDownloadLevel::BringToFront()
{
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget())) {
        if (QMdiArea *area = sub->mdiArea())
            area->setActiveSubWindow(sub);
        sub->showNormal();
    } else {
        showNormal();
        raise();
        activateWindow();
    }
}

void TfrmDownloadLevel::closeEvent(QCloseEvent *event)
{
    Timer->stop();
    HTTP->Cancel();
    event->accept();
}

void TfrmDownloadLevel::HTTPConnect()
{
    Timer->start();
    lblDownloadLocation->setText(HTTP->TargetPath());
    StartTick = TickCount();
}

void TfrmDownloadLevel::HTTPProgress(qint64 received, qint64 total)
{
    if (total > 0) {
        pgbDownload->setRange(0, ProgressSteps);
        pgbDownload->setValue(int(std::min(received, total) * ProgressSteps / total));
    } else {
        pgbDownload->setRange(0, 0); // length unknown: a busy bar
    }
}

void TfrmDownloadLevel::TimerTimer()
{
    const qint64 received = HTTP->Received();
    const qint64 total = HTTP->Total();
    lblBytesReceived->setText(QString::number(received));
    const qint64 left = total >= 0 ? std::max<qint64>(total - received, 0) : -1;
    if (left >= 0)
        lblBytesLeft->setText(QString::number(left));
    const quint32 seconds = TicksSince(StartTick) / 1000;
    const qint64 rate = seconds > 0 ? received / seconds : 0;
    if (rate > 0)
        lblBytesSecond->setText(QString::number(rate));
    lblTime->setText(QString::number(seconds));
    if (rate > 0 && left >= 0)
        lblTimeLeft->setText(QString::number(left / rate));
    if (total >= 0)
        lblFileSize->setText(QString::number(total));
}

void TfrmDownloadLevel::HTTPSuccess(const QString &path)
{
    Timer->stop();
    emit LevelDownloaded(path);
    close();
}

void TfrmDownloadLevel::HTTPFailed(const QString &reason)
{
    if (Timer->isActive())
        TimerTimer();
    Timer->stop();
    if (pgbDownload->maximum() == 0)
        pgbDownload->setRange(0, ProgressSteps);
    lblStatus->setText(QStringLiteral("Download failed: ") + reason);
    btnCancel->setText(QStringLiteral("&Close"));
}
