#pragma once

// One simulated game server on its own loopback address: game-info, player-list and level
// requests on its game port, "\status\" on its query port. It can be silent, slow, or answer
// each kind of request only once.

#include "sim/SimCounters.h"
#include "sim/SimWorld.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QUdpSocket>

struct TServerKnobs
{
    bool silent = false;
    int slowMs = 0; // delay before each reply, 0 = at once
    bool once = false;
    bool noLevel = false; // the level reply carries no address
};

struct TReplyStyle
{
    QByteArray levelBaseUrl;      // empty: no address in any level reply
    bool levelBlankFirst = false; // a text of blanks before the address
    bool gamespyStatus = false;   // hostname, mapname, ... and a closing "\final\" in status replies
};

class TGameServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxDelayedReplies = 1000;

    TGameServer(int index, const QHostAddress &address, const TSimServerInfo &info, const TServerKnobs &knobs,
                const TReplyStyle &style, TSimCounters &counters, QObject *parent = nullptr);

    bool Bind(quint16 gamePort, quint16 statusPort, QString *error);

    int Index() const { return m_index; }
    QHostAddress Address() const { return m_address; }
    quint16 GamePort() const { return m_game.localPort(); }
    quint16 StatusPort() const { return m_status.localPort(); }
    TSimServerInfo &Info() { return m_info; }
    const TSimServerInfo &Info() const { return m_info; }
    TServerKnobs &Knobs() { return m_knobs; }
    // The address a client should fetch the level from, empty when this server gives none.
    QByteArray LevelUrl() const;

    QJsonObject Describe() const;
    QJsonObject CountsJson() const { return m_counts.ToJson(); }
    void ResetCounts() { m_counts.Reset(); }

signals:
    void Datagram(const QJsonObject &event);

private:
    void ReadPending(QUdpSocket &socket, bool statusPort);
    void Handle(QUdpSocket &socket, bool statusPort, const QByteArray &data, const QHostAddress &from, quint16 port);
    QByteArray ReplyFor(ServerDatagrams::TKind kind, const QByteArray &data, QJsonObject &event) const;
    // Whether this request gets an answer under the server's knobs; notes why not in event.
    bool Answers(const QString &kind, QJsonObject &event);
    void Reply(QUdpSocket &socket, const QByteArray &bytes, const QHostAddress &to, quint16 port, const QString &kind);

    int m_index;
    QHostAddress m_address;
    TSimServerInfo m_info;
    TServerKnobs m_knobs;
    TReplyStyle m_style;
    TSimCounters &m_total;
    TSimCounters m_counts;
    QSet<QString> m_answeredOnce;
    int m_delayed = 0;
    QUdpSocket m_game;
    QUdpSocket m_status;
};
