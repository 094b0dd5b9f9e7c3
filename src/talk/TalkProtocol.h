#pragma once

#include "net/URC4.h"
#include "talk/TalkEdit.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

// One direction of a talk connection on the wire:
//   key     upper-case hexadecimal digits of a 2048-bit random number, in clear
//   "="
//   alias   bytes, then one zero byte        enciphered with RC4 keyed from the key's bits
//   stream  characters and pairs 0 x         the same keystream continued
// The side that accepted the connection sends first; the side that opened it sends its
// own key once it has read the other's.

// Where a conversation's text goes: the peer's display and caption.
class TTalkDisplay
{
public:
    virtual ~TTalkDisplay() = default;
    // Everything one read brought, applied at once.
    virtual void ApplyEdit(const TTalkEdit &edit) = 0;
    virtual void ShowPeerName(const QString &name) = 0;
    // The peer's key is in: "Send to" may be enabled and checked.
    virtual void KeyExchanged() = 0;
};

// The connection the bytes go out on.
class TTalkLink
{
public:
    virtual ~TTalkLink() = default;
    virtual void Write(const QByteArray &bytes) = 0;
};

// One random byte; throws std::exception (with the user's message) when none can be had.
using TRandomByteSource = std::function<quint8()>;

// The state machine of one talk connection: key, alias, then characters and control pairs.
class TTalkProtocol
{
public:
    // Generous bounds for what a peer may send before its key and alias are complete.
    static constexpr qsizetype MaxKeyDigits = 4096;
    static constexpr qsizetype MaxNameBytes = 1024;
    static constexpr int KeyBytes = 256; // 2048 random bits

    enum class TError { None, NoRandom, KeyNotHex, KeyTooLong, NameTooLong };

    TTalkProtocol(bool initiator, const QByteArray &alias, TTalkDisplay &display, TTalkLink &link,
                  TRandomByteSource random);

    // Makes this side's key and sends it and the alias. False (and nothing sent) when no
    // random number could be had.
    bool SendKey();
    // Bytes received on the connection, in order. False once the connection must be
    // dropped; Error and ErrorText say why. Later calls then do nothing.
    bool ProcessIncoming(QByteArrayView bytes);
    // Enciphers and sends; nothing before this side's key is out.
    void SendBytes(QByteArrayView bytes);

    bool Initiator() const { return m_initiator; }
    bool AwaitingKey() const { return m_awaitingKey; }
    bool AwaitingName() const { return m_awaitingName; }
    bool InControl() const { return m_inControl; }
    bool KeySent() const { return m_keySent; }
    bool Failed() const { return m_error != TError::None; }
    const QByteArray &KeyBuffer() const { return m_keyBuffer; }
    const QByteArray &PeerName() const { return m_peerName; }
    const QByteArray &Alias() const { return m_alias; }
    // The hexadecimal text of this side's key, once sent.
    const QByteArray &SentKey() const { return m_sentKey; }
    TError Error() const { return m_error; }
    QString ErrorText() const { return m_errorText; }

private:
    bool Fail(TError error, const QString &text);
    bool ReadKey(QByteArrayView &bytes);
    void ReadName(QByteArray &plain, qsizetype &pos);

    bool m_initiator;
    TTalkDisplay &m_display;
    TTalkLink &m_link;
    TRandomByteSource m_random;
    TRC4 m_receiveCipher;
    TRC4 m_sendCipher;
    bool m_awaitingKey = true;
    bool m_awaitingName = true;
    bool m_inControl = false;
    bool m_keySent = false;
    QByteArray m_keyBuffer;
    QByteArray m_alias;
    QByteArray m_peerName;
    QByteArray m_sentKey;
    TError m_error = TError::None;
    QString m_errorText;
};
