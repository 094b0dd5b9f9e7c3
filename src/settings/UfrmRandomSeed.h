#pragma once

#include "net/ULargeInt.h"

#include <QDialog>

#include <stdexcept>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

// No random byte could be had: the user gave no seed, or none could be asked for here.
class ERandomError : public std::runtime_error
{
public:
    explicit ERandomError(const QString &message) : std::runtime_error(message.toStdString()), m_message(message) {}
    QString Message() const { return m_message; }

private:
    QString m_message;
};

// Collects random bits from mouse movement over its text: each movement gives up to four
// bits of (tick XOR x XOR y), lowest bit first, the first bit collected ending up the most
// significant of Seed. Ok is enabled once Wanted bits are in; Cancel (or closing) empties
// Seed.
class TfrmRandomSeed : public QDialog
{
    Q_OBJECT
public:
    TfrmRandomSeed(QWidget *owner, qint32 bits);
    ~TfrmRandomSeed() override;

    static QStringList ExplanationLines();
    // A seed window is running its modal loop somewhere in the program.
    static bool IsRunning() { return s_running > 0; }

    qint32 Collected() const { return m_collected; }
    qint32 Wanted() const { return m_wanted; }
    const TLargeInt &Seed() const { return m_seed; }

    // One movement at X, Y (text area coordinates) at the given millisecond tick.
    void MouseMoved(int x, int y, quint32 tick);

    int exec() override;
    void reject() override;

    QPlainTextEdit *memExplanation;
    QLabel *lblInstruction;
    QProgressBar *prbCollected;
    QPushButton *btnOk;
    QPushButton *btnCancel;
    QTimer *Timer;

public slots:
    void TimerTimer();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static int s_running;

    qint32 m_collected = 0;
    qint32 m_wanted;
    TLargeInt m_seed;
};
