#pragma once

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>

// One scripted chat user of the demo network: registers on the IRC server, joins the lobby
// channel, answers PING and private messages, and reconnects when the server goes away.
class TDemoChatter : public QObject
{
    Q_OBJECT
public:
    TDemoChatter(const QString &nick, const QString &host, quint16 port, const QString &channel,
                 QObject *parent = nullptr);

    void Connect();
    QString Nick() const { return m_nick; }
    bool Joined() const { return m_joined; }
    void Say(const QString &text);

    // The answer to a private message (canned, picked by what it says).
    static QString AnswerTo(const QString &text, int turn);

signals:
    void JoinedChannel();
    // Someone other than this chatter joined the channel.
    void SomeoneJoined(const QString &nick);

private:
    void Send(const QString &line);
    void ReadLines();
    void HandleLine(const QString &line);
    void HandlePrivate(const QString &from, const QString &text);

    QString m_nick;
    QString m_host;
    quint16 m_port;
    QString m_channel;
    QTcpSocket m_socket;
    QByteArray m_buffer; // what came after the last complete line
    QTimer m_reconnect;
    bool m_joined = false;
    int m_turn = 0;
    QHash<QString, qint64> m_lastAnswer; // sender → when we last answered (ms since start)
};
