// Joining a game: the level check, the direct-IP dialog, and running the game while the
// lobby waits without blocking the window.
#include "pxo/LaunchCommand.h"
#include "pxo/UfrmJoinDirectIP.h"
#include "pxo/UfrmPXO.h"
#include "servers/DatagramEndpoint.h"
#include "servers/Server.h"
#include "settings/ConfigControls.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSpinBox>
#include <QSplitter>
#include <QTcpSocket>
#include <QTimer>

bool TfrmPXO::RefuseWhileInGame()
{
    if (!InGame)
        return false;
    MessageBox::Information(this, QStringLiteral("The game is still running: join another one after it has ended."));
    return true;
}

void TfrmPXO::JoinServer(TServer *server)
{
    if (!server)
        return;
    StopAutoJoin();
    if (RefuseWhileInGame())
        return;
    const TfrmConfig *config = frmConfig();
    if (config && config->cbxServerJoinLevelExist->isChecked() && !server->LevelPresent) {
        MessageBox::Error(this, QStringLiteral("Unable to join game, level is missing!"));
        return;
    }
    LaunchGame(server->IP, server->Port, config ? MemoLines(config->memDescentParams) : QStringList());
}

void TfrmPXO::JoinDirectIP()
{
    StopAutoJoin();
    if (RefuseWhileInGame())
        return;
    TfrmJoinDirectIP dialog(this);
    if (dialog.exec() != QDialog::Accepted || Closing)
        return;
    const TfrmConfig *config = frmConfig();
    LaunchGame(dialog.edtServerIP->text().trimmed(), quint16(dialog.spePort->value()),
               config ? MemoLines(config->memDescentDirectIPParams) : QStringList());
}

void TfrmPXO::SetLobbyInert(bool inert)
{
    splGames->setEnabled(!inert);
    edtChat->setEnabled(!inert);
    lblGameRunning->setVisible(inert);
}

void TfrmPXO::LaunchGame(const QString &ip, quint16 port, const QStringList &params)
{
    if (RefuseWhileInGame() || Closing)
        return;
    const TfrmConfig *config = frmConfig();
    const QString exePath = LaunchCommand::ExePath(config ? config->edtDescentPath->text() : QString());
    const QString program = LaunchCommand::ProgramPath(exePath, config ? config->edtDescentExe->text() : QString());
    const QStringList arguments = LaunchCommand::Arguments(params, Alias, ip, port);

    InGame = true;
    SetTimersEnabled(false);
    Datagrams->Release();
    Session()->Quit();
    ClearChannels();
    CloseAllChats();
    SetLobbyInert(true);

    auto *game = new QProcess(this);
    m_game = game;
    game->setProgram(program);
    game->setArguments(arguments);
    if (!exePath.isEmpty())
        game->setWorkingDirectory(exePath);
    connect(game, &QProcess::finished, this, [this, game] { GameEnded(game, QString()); });
    connect(game, &QProcess::errorOccurred, this, [this, game, program](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            GameEnded(game, LaunchCommand::ErrorText(LaunchCommand::ErrorCode(error, program)));
    });
    game->start();
}

void TfrmPXO::GameEnded(QProcess *game, const QString &error)
{
    if (game != m_game)
        return;
    m_game = nullptr;
    game->deleteLater();
    if (Closing)
        return;
    InGame = false;
    if (!Datagrams->Rebind() && OnStatus)
        OnStatus(QStringLiteral("The datagram port could not be bound again: ") + Datagrams->ErrorString());
    SetLobbyInert(false);
    Login(LoginName, Password, Session()->Nick());
    SetTimersEnabled(true);
    if (!error.isEmpty()) {
        QTimer::singleShot(0, this, [this, error] {
            if (!Closing && !Released())
                MessageBox::Error(this, error);
        });
    }
}

void TfrmPXO::LeaveGameRunning()
{
    // The game outlives the lobby: its process object is left to end on its own.
    if (!m_game)
        return;
    QProcess *game = m_game;
    m_game = nullptr;
    disconnect(game, nullptr, this, nullptr);
    game->setParent(nullptr);
    connect(game, &QProcess::finished, game, &QObject::deleteLater);
}
