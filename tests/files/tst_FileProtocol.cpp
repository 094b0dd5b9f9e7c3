// The file protocol's bytes: encoders against hand-written bytes, both stream parsers fed
// whole, byte by byte and split at every position, the name rule and the caps.
#include "common/Bytes.h"
#include "files/FileCommandParser.h"
#include "files/FileProtocol.h"
#include "files/FileReplyParser.h"

#include <QtTest>

using namespace FileProtocol;
using Event = TFileReplyParser::TEvent;

namespace {
// Feeds the server's parser chunk by chunk the way the server does (unparsed bytes kept).
QStringList ParseCommands(const QList<QByteArray> &chunks)
{
    QStringList seen;
    QByteArray pending;
    for (const QByteArray &chunk : chunks) {
        pending += chunk;
        for (TParsedFileCommand parsed;
             (parsed = ParseFileCommand(pending)).status != TParsedFileCommand::Status::Incomplete;) {
            if (parsed.frameSize <= 0) // a parse that consumes nothing would stall
                return seen << QStringLiteral("stalled");
            const char *kinds[] = {"list", "open", "block", "padding"};
            seen << (parsed.status == TParsedFileCommand::Status::Bad
                         ? QStringLiteral("bad %1").arg(quint8(pending.at(0)))
                         : QStringLiteral("%1 %2").arg(kinds[int(parsed.command.kind)]).arg(parsed.command.value));
            pending.remove(0, parsed.frameSize);
        }
    }
    if (!pending.isEmpty())
        seen << QStringLiteral("left %1").arg(pending.size());
    return seen;
}

// Feeds the client's parser; block lengths follow a file of FileSize bytes.
QStringList ParseReplies(const QList<QByteArray> &chunks, qint64 fileSize, TFileReplyParser *parser = nullptr)
{
    TFileReplyParser own;
    TFileReplyParser &p = parser ? *parser : own;
    QStringList seen;
    for (const QByteArray &chunk : chunks) {
        QByteArrayView input(chunk);
        Event event;
        for (int guard = 0; guard <= chunk.size() + 2 && (event = p.Next(input)).kind != Event::Kind::NeedMore;
             ++guard) {
            if (event.kind == Event::Kind::BlockHeader)
                p.SetBlockLength(BlockLength(fileSize, event.block));
            else
                seen << QStringLiteral("%1 %2 %3 %4 %5")
                            .arg(int(event.kind))
                            .arg(event.position)
                            .arg(QString::fromLatin1(event.name.toHex()))
                            .arg(event.size)
                            .arg(event.kind == Event::Kind::Block ? qHash(event.data) ^ event.block : event.reply);
        }
        if (!input.isEmpty())
            seen << QStringLiteral("NeedMore left bytes");
    }
    return seen;
}

QList<QList<QByteArray>> EverySplit(const QByteArray &stream)
{
    QList<QList<QByteArray>> ways{{stream}, {}};
    for (char c : stream)
        ways[1] << QByteArray(1, c);
    for (qsizetype at = 1; at < stream.size(); ++at)
        ways << QList<QByteArray>{stream.left(at), stream.mid(at)};
    return ways;
}
} // namespace

class TestFileProtocol : public QObject
{
    Q_OBJECT

private slots:
    void encodersAreByteExact();
    void sizes_data();
    void sizes();
    void safeFileName_data();
    void safeFileName();
    void localFileName();
    void commandsAtEverySplit();
    void repliesAtEverySplit();
    void capsFailTheParserUntilReset();
};

void TestFileProtocol::encodersAreByteExact()
{
    QCOMPARE(ListRequest(), Hex("01"));
    QCOMPARE(OpenRequest(2), Hex("0302000000"));
    QCOMPARE(BlockRequest(0x01020304), Hex("0404030201"));
    QCOMPARE(BlockReplyHeader(4), Hex("0504000000"));
    QCOMPARE(ListReply({}), Hex("0200"));
    QCOMPARE(ListReply({{"a.txt", 2500}, {"b", -1}}),
             Hex("02") + "a.txt" + Hex("00c4090000") + "b" + Hex("00ffffffff") + Hex("00"));
}

// Block lengths at the end of a file and past 2^31 bytes, and sizes as the lists show them.
void TestFileProtocol::sizes_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<quint32>("block");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<QString>("text");
    QTest::addRow("empty") << qint64(0) << 0u << qint64(0) << "0 b";
    QTest::addRow("header alone past the end") << qint64(2500) << 3u << qint64(0) << "2500 b";
    QTest::addRow("one below 10 kb") << qint64(10239) << 9u << qint64(1023) << "10239 b";
    QTest::addRow("10 kb, rounded half up") << qint64(10240 + 512) << 10u << qint64(512) << "11 kb";
    QTest::addRow("one below 10 Mb") << qint64(10 * 1048576 - 1) << 0u << qint64(1024) << "10240 kb";
    QTest::addRow("10 Mb") << qint64(10 * 1048576) << 10240u << qint64(0) << "10 Mb";
    QTest::addRow("last block of the largest file")
        << MaxFileSize << quint32(MaxFileSize / 1024) << qint64(1023) << "2048 Mb";
    QTest::addRow("largest block number") << MaxFileSize << 0xFFFFFFFFu << qint64(0) << "2048 Mb";
}

void TestFileProtocol::sizes()
{
    QFETCH(qint64, size);
    QFETCH(quint32, block);
    QFETCH(qint64, length);
    QFETCH(QString, text);
    QCOMPARE(BlockLength(size, block), length);
    QCOMPARE(FormatSize(size), text);
}

void TestFileProtocol::safeFileName_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("name");
    const auto row = [](const char *what, const QByteArray &wire, const QString &name = {}) {
        QTest::newRow(what) << wire << name;
    };
    row("parent dirs", "../../x", "x");
    row("windows absolute", "c:\\windows\\x.ini", "x.ini");
    row("drive relative", "c:x", "x");
    row("mixed separators", "..\\../\\y", "y");
    row("dot dot", "..");
    row("ends in a separator", "dir/");
    row("three dots (Windows drops them)", "...");
    row("device", "dir/NUL.mn3");
    row("reserved character", "a?b");
    row("too long", QByteArray(256, 'a'));
    row("control character", "a\nb");
    row("direction override", "gpj\xE2\x80\xAE.exe");
    row("utf-8", "\xC3\xA9t\xC3\xA9", QStringLiteral("\u00E9t\u00E9"));
    row("windows-1252", "caf\xE9", QStringLiteral("caf\u00E9"));
}

void TestFileProtocol::safeFileName()
{
    QFETCH(QByteArray, wire);
    QFETCH(QString, name);
    QCOMPARE(SafeFileName(wire), name);
}

void TestFileProtocol::localFileName()
{
    const QString sep = QDir::separator();
    QCOMPARE(LocalFileName(QStringLiteral("/tmp/in/"), QStringLiteral("x.d3l")),
             QDir::toNativeSeparators("/tmp/in/x.d3l"));
    QCOMPARE(LocalFileName(QStringLiteral("c:\\temp\\"), QStringLiteral("x.d3l")), "c:" + sep + "temp" + sep + "x.d3l");
    QCOMPARE(LocalFileName(QString(), QStringLiteral("x.d3l")), QStringLiteral("x.d3l"));
}

void TestFileProtocol::commandsAtEverySplit()
{
    const QByteArray stream = ListRequest() + OpenRequest(7) + QByteArray(1, '\0') + BlockRequest(0) +
                              BlockRequest(0xFFFFFFFF) + Hex("09") + OpenRequest(0x01000000) + ListRequest();
    const QStringList expected{"list 0",           "open 7", "padding 0",     "block 0",
                               "block 4294967295", "bad 9",  "open 16777216", "list 0"};
    for (const QList<QByteArray> &chunks : EverySplit(stream))
        QCOMPARE(ParseCommands(chunks), expected);
    // A command cut short waits for the rest.
    QCOMPARE(ParseCommands({BlockRequest(3).left(4)}), QStringList{"left 4"});
}

void TestFileProtocol::repliesAtEverySplit()
{
    const QByteArray block0 = SeededBytes(1024, 0);
    const QByteArray block2 = SeededBytes(452, 2);
    const QByteArray stream = ListReply({{"one", 2500}, {"two words", 0}, {"\xFF", -5}}) + BlockReplyHeader(0) +
                              block0 + BlockReplyHeader(2) + block2 + BlockReplyHeader(3) + Hex("0700") +
                              BlockReplyHeader(9) + ListReply({});
    const QStringList expected{
        "1 0  0 0",
        "2 0 6f6e65 2500 0",
        "2 1 74776f20776f726473 0 0",
        "2 2 ff -5 0",
        "3 3  0 0",
        QStringLiteral("5 0  0 %1").arg(qHash(block0) ^ 0),
        QStringLiteral("5 0  0 %1").arg(qHash(block2) ^ 2),
        QStringLiteral("5 0  0 %1").arg(qHash(QByteArray()) ^ 3),
        "6 0  0 7",
        QStringLiteral("5 0  0 %1").arg(qHash(QByteArray()) ^ 9),
        "1 0  0 0",
        "3 0  0 0",
    };
    for (const QList<QByteArray> &chunks : EverySplit(stream))
        QCOMPARE(ParseReplies(chunks, 2500), expected);
}

void TestFileProtocol::capsFailTheParserUntilReset()
{
    // At each limit the list is taken; one past it fails, also when a name comes in pieces.
    const QByteArray longest(MaxNameBytes, 'n');
    QCOMPARE(ParseReplies({ListReply({{longest, 1}})}, 0).size(), 3);
    const QByteArray tooLong = ListReply({{longest + 'n', 1}});
    const QStringList failed{"1 0  0 0", "7 0  0 0"};
    QCOMPARE(ParseReplies({tooLong}, 0), failed);
    QCOMPARE(ParseReplies({tooLong.left(600), tooLong.mid(600)}, 0), failed);
    QList<TListedFile> files(MaxListEntries, TListedFile{"f", 1});
    QCOMPARE(ParseReplies({ListReply(files)}, 0).last(), QStringLiteral("3 %1  0 0").arg(MaxListEntries));
    files << TListedFile{"g", 1};
    TFileReplyParser parser;
    QCOMPARE(ParseReplies({ListReply(files)}, 0, &parser).last(), QStringLiteral("8 0  0 0"));
    QVERIFY(parser.Failed());
    QCOMPARE(ParseReplies({ListReply({{"a", 1}})}, 0, &parser), QStringList());
    parser.Reset();
    QCOMPARE(ParseReplies({ListReply({{"a", 1}})}, 0, &parser).size(), 3);
}

QTEST_GUILESS_MAIN(TestFileProtocol)
#include "tst_FileProtocol.moc"
