#pragma once

#include <QString>

#include <stdexcept>
#include <vector>

// Raised when text handed to a conversion is not a number of the expected digits.
class ELargeIntError : public std::runtime_error
{
public:
    explicit ELargeIntError(const QString &message) : std::runtime_error(message.toStdString()), m_message(message) {}
    QString Message() const { return m_message; }

private:
    QString m_message;
};

// A signed integer of any length, kept as a sign and 32-bit limbs (least significant
// first). It carries long bit strings (keys, seeds, cipher states) between bit text and
// hexadecimal text, so it only adds, shifts left and compares; there is deliberately no
// multiplication or division.
//
// Operations that end by normalising drop zero limbs at the top; SetValue, FromHex and
// SetLimb do not, and only the text conversions can tell the difference.
class TLargeInt
{
public:
    TLargeInt() = default;
    explicit TLargeInt(qint32 value) { SetValue(value); }
    TLargeInt(const TLargeInt &source) = default;
    TLargeInt &operator=(const TLargeInt &source) = default;

    qsizetype LimbCount() const { return qsizetype(m_limbs.size()); }
    void SetLimbCount(qsizetype count);
    // Reading outside the limbs gives 0; writing past the end grows the array with zeros.
    quint32 GetLimb(qsizetype index) const;
    void SetLimb(qsizetype index, quint32 value);
    bool Negative() const { return m_negative; }

    void Normalize();
    void Clear();
    void Assign(const TLargeInt &source);
    // Always exactly one limb, also for 0.
    void SetValue(qint32 value);
    void FlipSign() { m_negative = !m_negative; }

    void Add(const TLargeInt &other);
    void AddValue(qint32 value);
    void ShiftLeft(quint32 bits);
    // Compares magnitudes only; missing limbs count as 0.
    bool IsGreaterOrEqual(const TLargeInt &other) const;

    // Upper-case digits, no leading zeros, "-" in front when negative; a normalised zero
    // gives empty text.
    QString ToHex() const;
    // Accepts an optional leading "-" and the digits 0-9, A-F, a-f. Anything else raises
    // ELargeIntError and leaves the digits read so far (from the end of the text).
    void FromHex(const QString &text);
    QString ToBinary() const;
    // Every character other than '1' (after an optional "-") counts as a 0 bit.
    void FromBinary(const QString &text);

private:
    // Both operands not negative.
    void Subtract(const TLargeInt &other);
    void AddMagnitude(const TLargeInt &other);
    // Requires |this| >= |other|.
    void SubtractMagnitude(const TLargeInt &other);
    void ShiftLeftBy(unsigned bits);
    QString ToDigits(unsigned bitsPerDigit) const;

    bool m_negative = false;
    std::vector<quint32> m_limbs;
};
