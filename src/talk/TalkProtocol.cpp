#include "talk/TalkProtocol.h"

#include "base/Text.h"
#include "net/ULargeInt.h"
#include "talk/TalkKeys.h"

#include <exception>

namespace {
bool IsKeyChar(char c, bool first)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f') || (first && c == '-');
}

// The conversion's own wording for a key text that is not a number.
QString ConversionError(const QByteArray &keyText)
{
    try {
        TLargeInt probe;
        probe.FromHex(QString::fromLatin1(keyText));
    } catch (const ELargeIntError &e) {
        return e.Message();
    }
    return QStringLiteral("Invalid hexadecimal number");
}
} // namespace

TTalkProtocol::TTalkProtocol(bool initiator, const QByteArray &alias, TTalkDisplay &display, TTalkLink &link,
                             TRandomByteSource random)
    : m_initiator(initiator), m_display(display), m_link(link), m_random(std::move(random)),
      // The peer reads up to the first zero byte and drops an alias past its bound.
      m_alias(Text::CutUtf8(alias.left(alias.indexOf('\0') < 0 ? alias.size() : alias.indexOf('\0')), MaxNameBytes))
{
}

bool TTalkProtocol::Fail(TError error, const QString &text)
{
    m_error = error;
    m_errorText = text;
    return false;
}

bool TTalkProtocol::SendKey()
{
    if (Failed() || m_keySent)
        return !Failed();
    // Every random byte is drawn before anything goes out: a generator that fails half way
    // leaves nothing half-keyed on the wire.
    TLargeInt x;
    try {
        if (!m_random)
            return Fail(TError::NoRandom, QStringLiteral("No random numbers available"));
        for (int i = 0; i < KeyBytes; ++i) {
            x.ShiftLeft(8);
            x.AddValue(m_random());
        }
    } catch (const std::exception &e) {
        return Fail(TError::NoRandom, QString::fromUtf8(e.what()));
    }
    m_sendCipher.SetKey(x.ToBinary());
    m_sentKey = x.ToHex().toLatin1();
    m_keySent = true;
    m_link.Write(m_sentKey + '=');
    QByteArray name = m_alias;
    name.append('\0');
    SendBytes(name);
    return true;
}

void TTalkProtocol::SendBytes(QByteArrayView bytes)
{
    if (!m_keySent || Failed() || bytes.isEmpty())
        return;
    QByteArray cipher = bytes.toByteArray();
    m_sendCipher.Apply(cipher);
    m_link.Write(cipher);
}

bool TTalkProtocol::ReadKey(QByteArrayView &bytes)
{
    const qsizetype end = bytes.indexOf('=');
    const QByteArrayView digits = end < 0 ? bytes : bytes.first(end);
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (!IsKeyChar(digits[i], m_keyBuffer.isEmpty() && i == 0)) {
            const QByteArray bad = m_keyBuffer + digits.first(i + 1).toByteArray();
            return Fail(TError::KeyNotHex, ConversionError(bad));
        }
    }
    if (m_keyBuffer.size() + digits.size() > MaxKeyDigits)
        return Fail(TError::KeyTooLong, QStringLiteral("The key is longer than %1 digits").arg(MaxKeyDigits));
    m_keyBuffer += digits.toByteArray();
    if (end < 0) {
        bytes = {};
        return true;
    }
    bytes = bytes.sliced(end + 1);
    TLargeInt y;
    try {
        y.FromHex(QString::fromLatin1(m_keyBuffer));
    } catch (const ELargeIntError &e) {
        return Fail(TError::KeyNotHex, e.Message());
    }
    m_receiveCipher.SetKey(y.ToBinary());
    // Cleared first: making our own key may ask for a seed, and nothing may read the key
    // twice meanwhile.
    m_awaitingKey = false;
    if (m_initiator && !SendKey())
        return false;
    m_display.KeyExchanged();
    return true;
}

void TTalkProtocol::ReadName(QByteArray &plain, qsizetype &pos)
{
    const qsizetype zero = plain.indexOf('\0', pos);
    const qsizetype end = zero < 0 ? plain.size() : zero;
    if (m_peerName.size() + (end - pos) > MaxNameBytes) {
        Fail(TError::NameTooLong, QStringLiteral("The alias is longer than %1 bytes").arg(MaxNameBytes));
        return;
    }
    m_peerName += QByteArrayView(plain).sliced(pos, end - pos);
    pos = end;
    if (zero < 0)
        return;
    ++pos;
    m_awaitingName = false;
    m_display.ShowPeerName(TalkText::DecodeAlias(m_peerName));
}

bool TTalkProtocol::ProcessIncoming(QByteArrayView bytes)
{
    if (Failed())
        return false;
    if (m_awaitingKey && !ReadKey(bytes))
        return false;
    if (bytes.isEmpty())
        return true;
    QByteArray plain = bytes.toByteArray();
    m_receiveCipher.Apply(plain);
    qsizetype pos = 0;
    if (m_awaitingName) {
        ReadName(plain, pos);
        if (Failed())
            return false;
    }
    TTalkEdit edit;
    for (; pos < plain.size(); ++pos) {
        const quint8 byte = quint8(plain[pos]);
        if (m_inControl) {
            m_inControl = false;
            if (byte == TalkKeys::Backspace)
                edit.Backspace();
            else if (byte == TalkKeys::Enter)
                edit.LineBreak();
            else if (byte == TalkKeys::Beep)
                ++edit.beeps;
        } else if (byte == TalkKeys::Escape) {
            m_inControl = true;
        } else {
            edit.AppendChar(TalkText::DisplayChar(byte));
        }
    }
    if (!edit.IsEmpty())
        m_display.ApplyEdit(edit);
    return true;
}
