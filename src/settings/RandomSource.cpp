// The random source of the settings holder: an RC4 generator keyed once from mouse
// movement, whose state is kept in the store as "Random seed" (the 256 state bytes as one
// hexadecimal number, byte 0 most significant, no leading zeros).
#include "settings/StoreNames.h"
#include "settings/UfrmConfig.h"
#include "settings/UfrmRandomSeed.h"
#include "ui/MessageBox.h"

#include "net/SocketEventScope.h"
#include "net/ULargeInt.h"
#include "net/URC4.h"

#include <QApplication>
#include <QThread>

#include <array>

namespace {
constexpr qsizetype StateBits = 2048;
constexpr qsizetype MaxSeedDigits = 512;

QString RandomSeedName()
{
    return QString::fromLatin1(StoreNames::RandomSeed);
}

// The 2048 state bits of a stored text, or empty when the text, although hexadecimal, is
// no generator state: longer than 256 bytes, negative, or not a permutation of 0-255 (an
// all-zero state, for one, would make every random byte 0). Raises ELargeIntError for
// text that is not hexadecimal.
QString StateBitsFromText(const QString &text)
{
    TLargeInt number;
    number.FromHex(text);
    if (number.Negative() || text.size() > MaxSeedDigits)
        return {};
    const QString bits = number.ToBinary().rightJustified(StateBits, QLatin1Char('0'));
    if (bits.size() != StateBits)
        return {};
    TRC4 probe;
    probe.SetStateBits(bits);
    std::array<bool, 256> seen{};
    for (const quint8 byte : probe.State()) {
        if (seen[byte])
            return {};
        seen[byte] = true;
    }
    return bits;
}

// A rejected value stays in the store until a new seed is saved; say so once per value.
void ReportRejectedSeed(QWidget *parent, const QString &text)
{
    static QString lastReported;
    if (text == lastReported)
        return;
    lastReported = text;
    MessageBox::Warning(parent, QStringLiteral("The stored random seed is not valid and has been ignored. "
                                               "A new random seed will be asked for when one is needed."));
}

// The seed window runs a modal loop. Inside a socket event that loop would let the
// connection being handled vanish under its own handler, so there it is never opened.
bool CanAskForSeed()
{
    return qobject_cast<QApplication *>(QCoreApplication::instance()) &&
           QThread::currentThread() == QCoreApplication::instance()->thread() && !TSocketEventScope::InSocketEvent() &&
           !TfrmRandomSeed::IsRunning();
}

TRC4 &Generator(std::unique_ptr<TRC4> &generator)
{
    if (!generator)
        generator = std::make_unique<TRC4>();
    return *generator;
}
} // namespace

void TfrmConfig::StoreRandomSeed(TStoreMode mode)
{
    TRegistry reg;
    reg.OpenKey(OrloKey());
    if (mode == TStoreMode::smSave) {
        if (!RandomSeeded)
            return;
        TLargeInt number;
        number.FromBinary(Generator(RandomGenerator).GetStateBits());
        reg.WriteString(RandomSeedName(), number.ToHex());
        return;
    }
    if (!reg.ValueExists(RandomSeedName()))
        return;
    const QString text = reg.ReadString(RandomSeedName());
    if (text.isEmpty())
        return;
    QString bits;
    try {
        bits = StateBitsFromText(text);
    } catch (const ELargeIntError &e) {
        const QString message = QStringLiteral("Invalid data for '%1': %2").arg(RandomSeedName(), e.Message());
        reg.Store().RecordError(message);
        throw EStoreError(message, reg.Store().Location());
    }
    if (bits.isEmpty()) {
        // The generator stays as it is: unseeded at start-up, or seeded in this run.
        ReportRejectedSeed(this, text);
        return;
    }
    Generator(RandomGenerator).SetStateBits(bits);
    RandomSeeded = true;
}

void TfrmConfig::NewRandomSeed()
{
    if (!CanAskForSeed())
        return;
    TfrmRandomSeed window(nullptr, StateBits);
    if (window.exec() != QDialog::Accepted)
        return;
    // Keying keeps the generator's indices where they are.
    Generator(RandomGenerator).SetKey(window.Seed().ToBinary());
    RandomSeeded = true;
}

quint8 TfrmConfig::GetRandomByte()
{
    if (!RandomSeeded)
        NewRandomSeed();
    if (!RandomSeeded)
        throw ERandomError(QStringLiteral("Unable to generate random number, random seed not initialized!"));
    return Generator(RandomGenerator).NextByte();
}
