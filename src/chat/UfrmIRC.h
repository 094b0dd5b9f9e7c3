#pragma once

#include "chat/UfrmChat.h"

// The chat form for an ordinary IRC server: plain registration, slash commands that the
// client does not know go to the server, and channel-operator actions on users.
class TfrmIRC : public TfrmChat
{
    Q_OBJECT
public:
    static constexpr quint16 DefaultPort = 6667;

    explicit TfrmIRC(QWidget *parent = nullptr);

    QAction *mnuOp;
    QAction *mnuBan;
    QAction *mnuKick;
    QAction *mnuKickBan;

    // Connects to the configured IRC server ("host" or "host:port") with Nick.
    void Connect(const QString &nick);
    void ConnectTo(const QString &host, quint16 port, const QString &nick);
    QString ServerName() const { return m_server; }

    void sgrUsersDblClick(TChat *chat) override;
    void NickInUse() override;
    void mnuOpClick();
    void mnuKickClick();
    void mnuBanClick();
    void mnuKickBanClick();

protected:
    void Loaded() override;
    void TCPConnect() override;
    void OwnNickChanged() override;

private:
    // The tab and user an operator action works on; false when either is missing.
    bool OperatorTarget(TChat *&chat, TUser *&user) const;

    QString m_server;
};

// Splits a configured server "host[:port]" (no port, or one out of range, gives Fallback).
void SplitServerAddress(const QString &text, quint16 fallback, QString &host, quint16 &port);
