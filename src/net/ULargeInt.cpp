#include "net/ULargeInt.h"

#include <algorithm>

void TLargeInt::SetLimbCount(qsizetype count)
{
    m_limbs.resize(size_t(std::max<qsizetype>(count, 0)), 0);
}

quint32 TLargeInt::GetLimb(qsizetype index) const
{
    if (index < 0 || index >= LimbCount())
        return 0;
    return m_limbs[size_t(index)];
}

void TLargeInt::SetLimb(qsizetype index, quint32 value)
{
    if (index < 0)
        return;
    if (index >= LimbCount())
        SetLimbCount(index + 1);
    m_limbs[size_t(index)] = value;
}

void TLargeInt::Normalize()
{
    while (!m_limbs.empty() && m_limbs.back() == 0)
        m_limbs.pop_back();
}

void TLargeInt::Clear()
{
    m_limbs.clear();
    m_negative = false;
}

void TLargeInt::Assign(const TLargeInt &source)
{
    m_limbs = source.m_limbs;
    m_negative = source.m_negative;
}

void TLargeInt::SetValue(qint32 value)
{
    Clear();
    quint32 magnitude = quint32(value);
    if (value < 0) {
        m_negative = true;
        magnitude = ~magnitude + 1;
    }
    m_limbs.assign(1, magnitude);
}

void TLargeInt::Add(const TLargeInt &other)
{
    if (m_negative == other.m_negative) {
        AddMagnitude(other);
    } else if (m_negative) {
        // other - |self|
        TLargeInt oldSelf(*this);
        Assign(other);
        oldSelf.FlipSign();
        Subtract(oldSelf);
    } else {
        // self - |other|
        TLargeInt magnitude(other);
        magnitude.FlipSign();
        Subtract(magnitude);
    }
}

void TLargeInt::AddValue(qint32 value)
{
    Add(TLargeInt(value));
}

void TLargeInt::Subtract(const TLargeInt &other)
{
    if (!IsGreaterOrEqual(other)) {
        const TLargeInt oldSelf(*this);
        Assign(other);
        m_negative = true;
        SubtractMagnitude(oldSelf);
    } else {
        SubtractMagnitude(other);
    }
}

void TLargeInt::AddMagnitude(const TLargeInt &other)
{
    quint64 carry = 0;
    qsizetype i = 0;
    for (; i < LimbCount() || i < other.LimbCount(); ++i) {
        const quint64 sum = quint64(GetLimb(i)) + carry + other.GetLimb(i);
        SetLimb(i, quint32(sum));
        carry = sum >> 32;
    }
    if (carry != 0)
        SetLimb(i, quint32(carry));
    Normalize();
}

void TLargeInt::SubtractMagnitude(const TLargeInt &other)
{
    for (qsizetype i = 0; i < other.LimbCount(); ++i) {
        const qint64 difference = qint64(GetLimb(i)) - qint64(other.GetLimb(i));
        if (difference < 0) {
            // Borrow from the first non-zero limb above; the bound only matters if the
            // caller broke the magnitude rule, and then keeps the loop finite.
            qsizetype k = i + 1;
            while (k < LimbCount() && GetLimb(k) == 0) {
                SetLimb(k, 0xFFFFFFFFu);
                ++k;
            }
            if (k < LimbCount())
                SetLimb(k, GetLimb(k) - 1);
        }
        SetLimb(i, quint32(quint64(difference)));
    }
    Normalize();
}

void TLargeInt::ShiftLeft(quint32 bits)
{
    while (bits > 32) {
        ShiftLeftBy(32);
        bits -= 32;
    }
    ShiftLeftBy(bits);
}

void TLargeInt::ShiftLeftBy(unsigned bits)
{
    for (qsizetype i = LimbCount(); i >= 1; --i) {
        const quint64 wide = quint64(GetLimb(i - 1)) << bits;
        SetLimb(i, GetLimb(i) | quint32(wide >> 32));
        SetLimb(i - 1, quint32(wide));
    }
    Normalize();
}

bool TLargeInt::IsGreaterOrEqual(const TLargeInt &other) const
{
    for (qsizetype i = std::max(LimbCount(), other.LimbCount()) - 1; i >= 0; --i) {
        const quint32 mine = GetLimb(i);
        const quint32 theirs = other.GetLimb(i);
        if (mine != theirs)
            return mine > theirs;
    }
    return true;
}

QString TLargeInt::ToDigits(unsigned bitsPerDigit) const
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    const unsigned mask = (1u << bitsPerDigit) - 1;
    QString text;
    text.reserve(LimbCount() * 32 / bitsPerDigit + 1);
    // Least significant digit first, reversed at the end.
    for (const quint32 limb : m_limbs) {
        for (unsigned shift = 0; shift < 32; shift += bitsPerDigit)
            text.append(QLatin1Char(Digits[(limb >> shift) & mask]));
    }
    while (text.size() >= 2 && text.back() == QLatin1Char('0'))
        text.chop(1);
    std::reverse(text.begin(), text.end());
    if (m_negative)
        text.prepend(QLatin1Char('-'));
    return text;
}

QString TLargeInt::ToHex() const
{
    return ToDigits(4);
}

QString TLargeInt::ToBinary() const
{
    return ToDigits(1);
}

namespace {
int HexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

QString Quoted(QChar c)
{
    if (c.isPrint())
        return QLatin1Char('\'') + c + QLatin1Char('\'');
    return QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
}
} // namespace

void TLargeInt::FromHex(const QString &text)
{
    Clear();
    qsizetype first = 0;
    if (text.startsWith(QLatin1Char('-'))) {
        m_negative = true;
        first = 1;
    }
    qsizetype limb = 0;
    unsigned position = 0;
    for (qsizetype k = text.size() - 1; k >= first; --k) {
        const int digit = HexDigitValue(text[k]);
        if (digit < 0)
            throw ELargeIntError(
                QStringLiteral("Invalid hexadecimal digit %1 at position %2").arg(Quoted(text[k])).arg(k + 1));
        SetLimb(limb, GetLimb(limb) + (quint32(digit) << (4 * position)));
        if (position == 7) {
            ++limb;
            position = 0;
        } else {
            ++position;
        }
    }
}

void TLargeInt::FromBinary(const QString &text)
{
    Clear();
    qsizetype first = 0;
    if (text.startsWith(QLatin1Char('-'))) {
        m_negative = true;
        first = 1;
    }
    for (qsizetype k = first; k < text.size(); ++k) {
        ShiftLeft(1);
        if (text[k] == QLatin1Char('1'))
            SetLimb(0, GetLimb(0) + 1);
    }
}
