#pragma once

// Real peers for the file tests: scripted ends of the enciphered stream on loopback that
// send exactly the bytes a test gives them and record what they receive.
#include "common/Bytes.h"
#include "net/NxEncryptedSocket.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>
#include <QtTest>

inline QString WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

inline QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A file server that answers nothing by itself.
class TScriptedFileServer : public QObject
{
public:
    TScriptedFileServer()
    {
        m_server.SetListenAddress(QHostAddress::LocalHost);
        QObject::connect(&m_server, &TNxEncryptedServer::OnConnect, this,
                         [this](TNxEncryptedConnection *c) { m_connection = c; });
        QObject::connect(&m_server, &TNxEncryptedServer::OnRead, this,
                         [this](TNxEncryptedConnection *c) { m_received += m_server.ReceiveText(c); });
        QObject::connect(&m_server, &TNxEncryptedServer::OnDisconnect, this, [this](TNxEncryptedConnection *c) {
            if (c == m_connection)
                m_connection = nullptr;
        });
    }
    bool Open() { return m_server.Open(); }
    quint16 Port() const { return m_server.Port(); }
    bool Connected() const { return m_connection != nullptr; }
    void Send(const QByteArray &bytes) { m_server.SendText(m_connection, bytes); }
    // Received bytes not yet taken.
    QByteArray Take() { return std::exchange(m_received, {}); }
    const QByteArray &Received() const { return m_received; }

private:
    TNxEncryptedServer m_server;
    TNxEncryptedConnection *m_connection = nullptr;
    QByteArray m_received;
};

// A file client that sends what it is given and keeps every deciphered byte it gets.
class TScriptedClient : public QObject
{
public:
    TScriptedClient()
    {
        QObject::connect(&m_client, &TNxEncryptedClient::OnConnect, this, [this] { m_ready = true; });
        QObject::connect(&m_client, &TNxEncryptedClient::OnRead, this, [this] {
            if (m_reading)
                m_received += m_client.ReceiveText();
        });
        QObject::connect(&m_client, &TNxEncryptedClient::OnDisconnect, this, [this] { m_closed = true; });
    }
    bool Connect(quint16 port)
    {
        m_client.SetHost(QStringLiteral("127.0.0.1"));
        m_client.SetPort(port);
        m_client.Open();
        return QTest::qWaitFor([this] { return m_ready; }, 5000);
    }
    void Send(const QByteArray &bytes) { m_client.SendText(bytes); }
    // While off, replies wait in the socket and the kernel, as with a client that stalls.
    void SetReading(bool reading)
    {
        m_reading = reading;
        if (reading)
            m_received += m_client.ReceiveText();
    }
    QByteArray Take() { return std::exchange(m_received, {}); }
    const QByteArray &Received() const { return m_received; }
    bool Closed() const { return m_closed; }

private:
    TNxEncryptedClient m_client;
    bool m_ready = false;
    bool m_reading = true;
    bool m_closed = false;
    QByteArray m_received;
};
