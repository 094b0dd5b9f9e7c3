#include "sim/ControlChannel.h"

#include <QJsonDocument>
#include <QSocketNotifier>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_signalPipe[2] = {-1, -1};

void OnStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[0], &byte, 1);
}
} // namespace
#else
#include <QMetaObject>
#include <QPointer>
#include <iostream>
#include <string>
#include <thread>
#endif

TControlChannel::TControlChannel(QObject *parent) : QObject(parent) {}

TControlChannel::~TControlChannel()
{
#ifdef Q_OS_UNIX
    if (m_signal) {
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGINT, SIG_DFL);
    }
#endif
}

bool TControlChannel::Open(bool readInput, QString *error)
{
#ifdef Q_OS_UNIX
    if (g_signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        *error = QStringLiteral("cannot create the signal pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_signal = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, this);
    connect(m_signal, &QSocketNotifier::activated, this, &TControlChannel::ReadSignal);
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);

    if (!readInput)
        return true;
    ::fcntl(STDIN_FILENO, F_SETFL, ::fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
    m_input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_input, &QSocketNotifier::activated, this, &TControlChannel::ReadInput);
#else
    // No notifier for a console handle here: a reader thread hands each chunk to this object.
    if (!readInput)
        return true;
    QPointer<TControlChannel> self(this);
    std::thread([self] {
        std::string line;
        while (std::getline(std::cin, line)) {
            line += '\n';
            const QByteArray bytes = QByteArray::fromStdString(line);
            QMetaObject::invokeMethod(
                self,
                [self, bytes] {
                    if (self)
                        self->Feed(bytes);
                },
                Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(
            self,
            [self] {
                if (self)
                    emit self->Ended();
            },
            Qt::QueuedConnection);
    }).detach();
    Q_UNUSED(error);
#endif
    return true;
}

void TControlChannel::Print(const QJsonObject &object)
{
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

void TControlChannel::ReadInput()
{
#ifdef Q_OS_UNIX
    char chunk[4096];
    const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (got > 0) {
        Feed(QByteArrayView(chunk, got));
        return;
    }
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    m_input->setEnabled(false);
    if (!m_buffer.isEmpty() && !m_discarding)
        emit LineReceived(QString::fromUtf8(m_buffer).trimmed());
    m_buffer.clear();
    emit Ended();
#endif
}

void TControlChannel::ReadSignal()
{
#ifdef Q_OS_UNIX
    char byte = 0;
    [[maybe_unused]] const ssize_t got = ::read(g_signalPipe[1], &byte, 1);
#endif
    emit Ended();
}

void TControlChannel::Feed(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (c == '\n') {
            if (!m_discarding) {
                const QString line = QString::fromUtf8(m_buffer).trimmed();
                if (!line.isEmpty())
                    emit LineReceived(line);
            }
            m_buffer.clear();
            m_discarding = false;
        } else if (m_discarding) {
            continue;
        } else if (m_buffer.size() >= MaxLine) {
            m_buffer.clear();
            m_discarding = true;
            emit TooLong();
        } else {
            m_buffer.append(c);
        }
    }
}
