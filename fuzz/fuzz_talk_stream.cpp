// A talk stream from a peer, cut into reads where the input says. The display text, the
// alias and the state must come out the same as when the stream arrives in one read, and
// nothing a peer sends may grow past its bounds.
#include "talk/TalkProtocol.h"

#include <cstddef>
#include <cstdint>

namespace {
struct TDisplay : TTalkDisplay
{
    QString text;
    QString name;
    int beeps = 0;
    int keyed = 0;
    void ApplyEdit(const TTalkEdit &edit) override
    {
        beeps += edit.beeps;
        TalkText::Apply(text, edit);
    }
    void ShowPeerName(const QString &peerName) override { name = peerName; }
    void KeyExchanged() override { ++keyed; }
};

struct TLink : TTalkLink
{
    qsizetype written = 0;
    void Write(const QByteArray &bytes) override { written += bytes.size(); }
};

struct TRun
{
    TDisplay display;
    TLink link;
    TTalkProtocol engine;
    explicit TRun(bool initiator)
        : engine(initiator, "fuzz", display, link, [n = quint8(0)]() mutable { return n += 37; })
    {
    }
    bool Same(const TRun &other) const
    {
        return display.text == other.display.text && display.name == other.display.name &&
               display.beeps == other.display.beeps && display.keyed == other.display.keyed &&
               engine.Failed() == other.engine.Failed() && engine.InControl() == other.engine.InControl() &&
               link.written == other.link.written;
    }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // Byte 0: who we are; byte 1: the length of every read; the rest: the stream.
    const bool initiator = data[0] & 1;
    const qsizetype step = qsizetype(data[1]) + 1;
    const QByteArrayView stream(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));

    TRun whole(initiator);
    TRun pieces(initiator);
    if (!initiator) {
        whole.engine.SendKey();
        pieces.engine.SendKey();
    }
    whole.engine.ProcessIncoming(stream);
    for (qsizetype from = 0; from < stream.size(); from += step)
        pieces.engine.ProcessIncoming(stream.sliced(from, std::min(step, stream.size() - from)));

    if (!whole.Same(pieces))
        __builtin_trap();
    if (whole.engine.KeyBuffer().size() > TTalkProtocol::MaxKeyDigits ||
        whole.engine.PeerName().size() > TTalkProtocol::MaxNameBytes ||
        whole.display.text.size() > TalkText::MaxDisplayChars)
        __builtin_trap();
    return 0;
}
