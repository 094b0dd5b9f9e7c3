// Conversation names and lines from the network: the log file name always stays one plain
// name, and mention matching never fails on any text.
// Built and run by fuzz/run.sh.
#include "base/SafeName.h"
#include "irc/ConversationLog.h"
#include "irc/MentionMatcher.h"
#include "irc/NickCompleter.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString name = TConversationLog::FileName(text, QDate(2026, 12, 6));
    if (!SafeName::IsPlain(name) || name.toUtf8().size() > SafeName::MaxBytes)
        __builtin_trap();
    TMentionMatcher matcher;
    matcher.SetNick(text.left(16));
    matcher.SetWords(text.split(QLatin1Char(' ')).mid(0, 8));
    (void)matcher.Matches(text);
    QString line = text;
    int cursor = int(size % 64);
    TNickCompleter completer;
    const QList<TNickCompleter::TCandidate> users{{text.left(8), 1}, {text.mid(8, 8), 0}};
    completer.Complete(line, cursor, users);
    if (cursor < 0 || cursor > line.size())
        __builtin_trap();
    return 0;
}
