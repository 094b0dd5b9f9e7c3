#include "pxo/PlayerStats.h"

#include <iterator>

namespace PlayerStats {

QString RankText(quint16 rating)
{
    constexpr qsizetype Rows = std::size(RankTable);
    qsizetype row = 0;
    for (qsizetype i = 0; i < Rows; ++i) {
        if (rating >= RankTable[i].from && rating <= RankTable[i].to) {
            row = i;
            break;
        }
    }
    QString text = QString::number(rating) + QLatin1Char(' ') + QLatin1String(RankTable[row].name);
    if (row + 1 < Rows) {
        const TRank &next = RankTable[row + 1];
        text += QStringLiteral(", ") + QLatin1String(next.name) + QStringLiteral(" at ") + QString::number(next.from);
    }
    return text;
}

QString EfficiencyText(quint32 kills, quint32 deaths, quint32 suicides)
{
    // Unsigned, and wide enough that large counts neither wrap the sum to 0 nor the product.
    const quint64 sum = quint64(kills) + deaths + suicides;
    if (sum == 0)
        return QStringLiteral("Unknown");
    return QString::number(quint64(kills) * 100 / sum);
}

QString PingText(quint32 pingTime)
{
    return pingTime == 0 ? QStringLiteral("Unknown") : QString::number(pingTime);
}

QString ClientText(quint32 clientBuild)
{
    return clientBuild == 0 ? QStringLiteral("Unknown") : QStringLiteral("Orlo (build: %1)").arg(clientBuild);
}

} // namespace PlayerStats
