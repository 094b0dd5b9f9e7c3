// RC4 keystream throughput over a 64 MB buffer, beside the system OpenSSL's RC4 on the
// same machine and run. MB are 10^6 bytes and the rate is per second of CPU time, as
// openssl speed counts them; the wall-clock rate is shown as well.
#include "net/URC4.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {
constexpr qsizetype BufferSize = 64 * 1024 * 1024;
constexpr int Rounds = 3;

struct TRates
{
    double cpu = 0;
    double wall = 0;
};

TRates OursMBps()
{
    QByteArray buffer(BufferSize, '\0');
    TRates best;
    for (int round = 0; round < Rounds; ++round) {
        buffer.fill('\0');
        TRC4 rc4;
        rc4.SetKey(QStringLiteral("0000000100000010000000110000010000000101"));
        QElapsedTimer timer;
        timer.start();
        const std::clock_t cpuStart = std::clock();
        rc4.Apply(buffer);
        const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        const double wallSeconds = double(timer.nsecsElapsed()) / 1e9;
        best.cpu = std::max(best.cpu, double(BufferSize) / 1e6 / std::max(cpuSeconds, 1e-9));
        best.wall = std::max(best.wall, double(BufferSize) / 1e6 / std::max(wallSeconds, 1e-9));
    }
    // Keeps the work observable.
    std::printf("last keystream byte %02x\n", quint8(buffer[BufferSize - 1]));
    return best;
}

// 0 when there is no usable openssl.
double OpenSslMBps()
{
    const QList<QStringList> attempts = {
        {QStringLiteral("speed"), QStringLiteral("-evp"), QStringLiteral("rc4"), QStringLiteral("-provider"),
         QStringLiteral("legacy"), QStringLiteral("-provider"), QStringLiteral("default"), QStringLiteral("-seconds"),
         QStringLiteral("3"), QStringLiteral("-bytes"), QStringLiteral("16384")},
        {QStringLiteral("speed"), QStringLiteral("-evp"), QStringLiteral("rc4"), QStringLiteral("-seconds"),
         QStringLiteral("3"), QStringLiteral("-bytes"), QStringLiteral("16384")},
    };
    for (const QStringList &arguments : attempts) {
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"), arguments);
        if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0)
            continue;
        const QString output = QString::fromLocal8Bit(openssl.readAllStandardOutput());
        // "RC4             908094.90k": thousands of bytes per second.
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^rc4\\s+([0-9.]+)k\\s*$"),
                               QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption)
                .match(output);
        if (match.hasMatch())
            return match.captured(1).toDouble() / 1000.0;
    }
    return 0;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const TRates ours = OursMBps();
    std::printf("RC4 keystream, 64 MB buffer, best of %d: %.1f MB/s (wall clock %.1f MB/s)\n", Rounds, ours.cpu,
                ours.wall);
    const double reference = OpenSslMBps();
    if (reference <= 0) {
        std::printf("openssl speed -evp rc4: not available, reference skipped\n");
        return 0;
    }
    std::printf("openssl speed -evp rc4 (16384-byte blocks): %.1f MB/s\n", reference);
    std::printf("ratio %.2f (target at least 0.50)\n", ours.cpu / reference);
    return 0;
}
