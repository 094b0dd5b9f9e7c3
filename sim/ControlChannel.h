#pragma once

// Reads commands from standard input, one per line, and turns SIGTERM and SIGINT into a clean
// stop. Lines longer than MaxLine are dropped whole rather than buffered without bound.

#include <QByteArray>
#include <QJsonObject>
#include <QObject>

class QSocketNotifier;

class TControlChannel : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxLine = 64 * 1024;

    explicit TControlChannel(QObject *parent = nullptr);
    ~TControlChannel() override;

    // Watches the stop signals and, when readInput is set, standard input.
    bool Open(bool readInput, QString *error);

    // Writes one compact JSON line to standard output and flushes it.
    static void Print(const QJsonObject &object);

signals:
    void LineReceived(const QString &line);
    void TooLong();
    void Ended(); // end of input or a stop signal

private:
    void ReadInput();
    void ReadSignal();
    void Feed(QByteArrayView bytes);

    QByteArray m_buffer;
    bool m_discarding = false; // inside a line that went past MaxLine
    QSocketNotifier *m_input = nullptr;
    QSocketNotifier *m_signal = nullptr;
};
