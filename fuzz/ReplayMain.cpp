// Feeds every file of the given folders (or the given files) to a fuzz target's entry point,
// without libFuzzer: the corpus and every past finding kept in it run with the tests, so a
// fixed fault stays fixed.
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {
// The largest input libFuzzer is run with here; a bigger file is a mistake in the corpus.
constexpr qint64 MaxInput = 1 << 20;

bool Replay(const QString &path)
{
    QFile file(path);
    if (file.size() > MaxInput || !file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot take %s\n", qPrintable(path));
        return false;
    }
    const QByteArray bytes = file.readAll();
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    return true;
}
} // namespace

int main(int argc, char **argv)
{
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (QFileInfo(arg).isFile()) {
            if (!Replay(arg))
                return 1;
            ++count;
            continue;
        }
        QDirIterator it(arg, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            if (!Replay(it.next()))
                return 1;
            ++count;
        }
    }
    std::printf("%d inputs replayed\n", count);
    // An empty corpus proves nothing: say it as a failure.
    return count > 0 ? 0 : 1;
}
