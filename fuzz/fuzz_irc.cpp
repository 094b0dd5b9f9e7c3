// libFuzzer target for the IRC line codec: framing, decoding, parsing and the command text
// helpers must take any bytes without crashing or growing without bound.
//
// Built and run by fuzz/run.sh; its corpus is fuzz/corpus/fuzz_irc.
#include "irc/ChatCommands.h"
#include "irc/IrcLine.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // The first byte picks the split points, so framing is fuzzed across reads too.
    const qsizetype step = size > 0 ? 1 + data[0] % 97 : 1;
    Irc::TLineFramer framer;
    QByteArray line;
    for (qsizetype at = 0; at < bytes.size(); at += step) {
        framer.Feed(bytes.mid(at, step));
        while (framer.NextLine(line)) {
            const QString text = Irc::DecodeText(line);
            Irc::TMessage m = Irc::ParseMessage(text);
            Irc::ParseOpChanges(m.Param2, m.Rest);
            Irc::ParseWhois(m.Rest);
            QString rest = m.Rest;
            for (int guard = 0; guard < 10000 && !rest.isEmpty() && !rest.startsWith(QLatin1Char(':')); ++guard)
                Irc::NextWord(rest);
            Irc::PongFor(text);
            if (Irc::IsAction(text))
                Irc::ActionText(text);
            const QByteArray out = Irc::EncodeLine(text);
            if (out.size() > Irc::MaxSendText + 2 || out.contains('\0'))
                __builtin_trap();
            Irc::OpenableUrl(text);
            ChatCommands::Parse(ChatCommands::ExpandAlias(text, {QStringLiteral("/pm=/msg")}));
        }
        if (framer.Buffered() > Irc::MaxLineBytes + step)
            __builtin_trap();
    }
    return 0;
}
