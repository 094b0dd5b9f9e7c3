#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QQueue>
#include <QTimer>

#include <functional>

// Paces the lines we send to the chat server: a burst of Burst lines goes at once, after that
// one line per Interval. Servers disconnect (or stall) a client that sends faster, so a pasted
// block must trickle out. Lines leave in the order they came and unchanged.
//
// A line pushed Paced waits for the pace; a Direct line goes at once unless lines are waiting
// (then behind them), so what the program sends by itself keeps its timing; an Urgent line (an
// answer the server waits for) goes at once, before waiting text. All of them count.
class TSendQueue : public QObject
{
    Q_OBJECT
public:
    using TWriter = std::function<bool(const QByteArray &)>;
    using TClock = std::function<qint64()>;

    explicit TSendQueue(TWriter writer, QObject *parent = nullptr);

    // Burst 0 turns pacing off: every line is written at once.
    void SetLimits(int burst, int intervalMs);
    int Burst() const { return m_burst; }
    int IntervalMs() const { return m_intervalMs; }
    // Tests drive time themselves; the default clock is monotonic milliseconds.
    void SetClock(TClock clock);

    enum class TKind { Paced, Direct, Urgent };
    // Queues one encoded line and writes what the pace allows now.
    void Push(const QByteArray &line, TKind kind = TKind::Paced);
    // Writes everything queued at once (we are leaving; the pace no longer matters).
    void FlushAll();
    // Forgets queued lines and the pace (a new connection starts fresh).
    void Clear();
    int Pending() const { return int(m_lines.size()); }
    // True when nothing waits and a whole burst may go at once.
    bool Rested() const { return m_lines.isEmpty() && m_busyUntil <= m_clock(); }

    // How long the next line must wait, given when the pace frees up and now.
    static qint64 WaitMs(qint64 busyUntil, qint64 now, int burst, int intervalMs);

signals:
    // A write failed; the queue was dropped.
    void WriteFailed();

private:
    void Pump();
    bool WriteOne(const QByteArray &line);
    // Writes Line now and counts it against the pace.
    void WriteNow(const QByteArray &line);

    TWriter m_writer;
    TClock m_clock;
    QElapsedTimer m_elapsed;
    QQueue<QByteArray> m_lines;
    QTimer m_timer;
    qint64 m_busyUntil = 0;
    int m_burst = 5;
    int m_intervalMs = 2000;
};
