// Text conversions and arithmetic of TLargeInt on arbitrary text: no crash, no hang, and
// every result agrees with a digit-by-digit expectation.
#include "net/ULargeInt.h"

#include <cstdint>
#include <cstdlib>

namespace {
void Check(bool condition)
{
    if (!condition)
        std::abort();
}

QString StripZeros(QString digits, bool keepOne)
{
    while (digits.size() > (keepOne ? 1 : 0) && digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    return digits;
}

void HexRoundTrip(const QString &text)
{
    TLargeInt number;
    try {
        number.FromHex(text);
    } catch (const ELargeIntError &) {
        return;
    }
    const bool negative = text.startsWith(QLatin1Char('-'));
    const QString digits = negative ? text.mid(1) : text;
    const QString expected = (negative ? QStringLiteral("-") : QString()) + StripZeros(digits.toUpper(), true);
    Check(number.ToHex() == expected);

    // Through binary text and back.
    TLargeInt viaBinary;
    viaBinary.FromBinary(number.ToBinary());
    number.Normalize();
    Check(viaBinary.ToHex() == number.ToHex());
}

void BinaryText(const QString &text)
{
    TLargeInt number;
    number.FromBinary(text);
    const bool negative = text.startsWith(QLatin1Char('-'));
    QString bits;
    for (const QChar c : negative ? text.mid(1) : text)
        bits += c == QLatin1Char('1') ? QLatin1Char('1') : QLatin1Char('0');
    Check(number.ToBinary() == (negative ? QStringLiteral("-") : QString()) + StripZeros(bits, false));
}

void Arithmetic(const QString &left, const QString &right, unsigned shift)
{
    TLargeInt a;
    TLargeInt b;
    try {
        a.FromHex(left);
        b.FromHex(right);
    } catch (const ELargeIntError &) {
        return;
    }
    a.Normalize();
    b.Normalize();
    // (a + b) - b == a
    TLargeInt sum(a);
    sum.Add(b);
    TLargeInt minusB(b);
    minusB.FlipSign();
    sum.Add(minusB);
    const bool zero = a.LimbCount() == 0;
    Check(sum.ToHex() == (zero ? QString() : a.ToHex()));

    // Shifting appends zero bits.
    TLargeInt shifted(a);
    shifted.ShiftLeft(shift);
    if (!zero)
        Check(shifted.ToBinary() == a.ToBinary() + QString(qsizetype(shift), QLatin1Char('0')));
    Check(shifted.IsGreaterOrEqual(a));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The program only meets a few thousand bits; longer input just slows the search.
    if (size < 2 || size > 4096)
        return 0;
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data) + 2, qsizetype(size) - 2);
    switch (data[0] % 3) {
    case 0:
        HexRoundTrip(text);
        break;
    case 1:
        BinaryText(text);
        break;
    default: {
        const qsizetype middle = text.indexOf(QLatin1Char(','));
        if (middle >= 0)
            Arithmetic(text.left(middle), text.mid(middle + 1), data[1]);
        break;
    }
    }
    return 0;
}
