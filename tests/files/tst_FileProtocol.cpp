// The file protocol's bytes: encoders against hand-written bytes, both stream parsers fed
// whole, byte by byte and split at every position, the name rule and the caps.
#include "files/FileCommandParser.h"
#include "files/FileProtocol.h"
#include "files/FileReplyParser.h"

#include <QtTest>

#include <functional>

using namespace FileProtocol;
using Event = TFileReplyParser::TEvent;

namespace {
QByteArray Hex(const char *hex)
{
    return QByteArray::fromHex(hex);
}

// Feeds the server's parser chunk by chunk the way the server does (unparsed bytes kept).
QStringList ParseCommands(const QList<QByteArray> &chunks)
{
    QStringList seen;
    QByteArray pending;
    for (const QByteArray &chunk : chunks) {
        pending += chunk;
        for (;;) {
            const TParsedFileCommand parsed = ParseFileCommand(pending);
            if (parsed.status == TParsedFileCommand::Status::Incomplete)
                break;
            if (parsed.frameSize <= 0) { // a parse that consumes nothing would stall
                seen << QStringLiteral("stalled");
                return seen;
            }
            if (parsed.status == TParsedFileCommand::Status::Bad)
                seen << QStringLiteral("bad %1").arg(quint8(pending.at(0)));
            else if (parsed.command.kind == TFileCommand::Kind::List)
                seen << QStringLiteral("list");
            else if (parsed.command.kind == TFileCommand::Kind::Open)
                seen << QStringLiteral("open %1").arg(parsed.command.value);
            else if (parsed.command.kind == TFileCommand::Kind::Block)
                seen << QStringLiteral("block %1").arg(parsed.command.value);
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
        for (int guard = 0; guard <= chunk.size() + 2; ++guard) {
            const Event event = p.Next(input);
            switch (event.kind) {
            case Event::Kind::NeedMore:
                QTest::qVerify(input.isEmpty(), "input.isEmpty()", "NeedMore leaves nothing", __FILE__, __LINE__);
                break;
            case Event::Kind::ListStart:
                seen << QStringLiteral("list");
                break;
            case Event::Kind::ListEntry:
                seen << QStringLiteral("entry %1 %2 %3")
                            .arg(event.position)
                            .arg(QString::fromLatin1(event.name.toHex()))
                            .arg(event.size);
                break;
            case Event::Kind::ListEnd:
                seen << QStringLiteral("end %1").arg(event.position);
                break;
            case Event::Kind::BlockHeader:
                p.SetBlockLength(BlockLength(fileSize, event.block));
                break;
            case Event::Kind::Block:
                seen << QStringLiteral("block %1 %2 %3").arg(event.block).arg(event.data.size()).arg(qHash(event.data));
                break;
            case Event::Kind::UnknownReply:
                seen << QStringLiteral("unknown %1").arg(event.reply);
                break;
            case Event::Kind::NameTooLong:
                seen << QStringLiteral("name too long");
                break;
            case Event::Kind::ListTooLong:
                seen << QStringLiteral("list too long");
                break;
            }
            if (event.kind == Event::Kind::NeedMore)
                break;
        }
    }
    return seen;
}

QList<QList<QByteArray>> EverySplit(const QByteArray &stream)
{
    QList<QList<QByteArray>> ways;
    ways << QList<QByteArray>{stream};
    QList<QByteArray> bytes;
    for (char c : stream)
        bytes << QByteArray(1, c);
    ways << bytes;
    for (qsizetype at = 1; at < stream.size(); ++at)
        ways << QList<QByteArray>{stream.left(at), stream.mid(at)};
    return ways;
}

QByteArray Pattern(qsizetype size, int seed)
{
    QByteArray data(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char((i * 31 + seed * 7 + i / 251) & 0xFF);
    return data;
}
} // namespace

class TestFileProtocol : public QObject
{
    Q_OBJECT

private slots:
    void encodersAreByteExact();
    void blockLengths_data();
    void blockLengths();
    void formatSize_data();
    void formatSize();
    void safeFileName_data();
    void safeFileName();
    void localFileName_data();
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

void TestFileProtocol::blockLengths_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<quint32>("block");
    QTest::addColumn<qint64>("length");
    QTest::addRow("2500 block 2") << qint64(2500) << 2u << qint64(452);
    QTest::addRow("2500 block 3 header alone") << qint64(2500) << 3u << qint64(0);
    QTest::addRow("2048 block 2 none") << qint64(2048) << 2u << qint64(0);
    QTest::addRow("empty file") << qint64(0) << 0u << qint64(0);
    QTest::addRow("largest block number") << MaxFileSize << 0xFFFFFFFFu << qint64(0);
    QTest::addRow("last block of the largest file") << MaxFileSize << quint32(MaxFileSize / 1024) << qint64(1023);
    QTest::addRow("past 2^31 bytes in 64 bits") << MaxFileSize << 0x200000u << qint64(0);
}

void TestFileProtocol::blockLengths()
{
    QFETCH(qint64, size);
    QFETCH(quint32, block);
    QFETCH(qint64, length);
    QCOMPARE(BlockLength(size, block), length);
}

void TestFileProtocol::formatSize_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("text");
    QTest::addRow("zero") << qint64(0) << QStringLiteral("0 b");
    QTest::addRow("10239") << qint64(10239) << QStringLiteral("10239 b");
    QTest::addRow("10240") << qint64(10240) << QStringLiteral("10 kb");
    QTest::addRow("rounds half up") << qint64(10240 + 512) << QStringLiteral("11 kb");
    QTest::addRow("1536 x 1024") << qint64(1536 * 1024) << QStringLiteral("1536 kb");
    QTest::addRow("one below 10 Mb") << qint64(10 * 1048576 - 1) << QStringLiteral("10240 kb");
    QTest::addRow("10 x 1048576") << qint64(10 * 1048576) << QStringLiteral("10 Mb");
    QTest::addRow("largest shareable") << MaxFileSize << QStringLiteral("2048 Mb");
}

void TestFileProtocol::formatSize()
{
    QFETCH(qint64, size);
    QFETCH(QString, text);
    QCOMPARE(FormatSize(size), text);
}

void TestFileProtocol::safeFileName_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("name");
    QTest::addRow("plain") << QByteArray("level.d3l") << QStringLiteral("level.d3l");
    QTest::addRow("parent dirs") << QByteArray("../../x") << QStringLiteral("x");
    QTest::addRow("absolute") << QByteArray("/abs/x") << QStringLiteral("x");
    QTest::addRow("backslash") << QByteArray("a\\b") << QStringLiteral("b");
    QTest::addRow("windows absolute") << QByteArray("c:\\windows\\x.ini") << QStringLiteral("x.ini");
    QTest::addRow("drive relative") << QByteArray("c:x") << QStringLiteral("x");
    QTest::addRow("mixed") << QByteArray("..\\../\\y") << QStringLiteral("y");
    QTest::addRow("empty") << QByteArray() << QString();
    QTest::addRow("dot") << QByteArray(".") << QString();
    QTest::addRow("dot dot") << QByteArray("..") << QString();
    QTest::addRow("ends in dot dot") << QByteArray("a/..") << QString();
    QTest::addRow("ends in separator") << QByteArray("dir/") << QString();
    QTest::addRow("only separators") << QByteArray("\\/\\") << QString();
    QTest::addRow("three dots (Windows drops them)") << QByteArray("...") << QString();
    QTest::addRow("device") << QByteArray("dir/NUL.mn3") << QString();
    QTest::addRow("reserved character") << QByteArray("a?b") << QString();
    QTest::addRow("too long") << QByteArray(256, 'a') << QString();
    QTest::addRow("control character") << QByteArray("a\nb") << QString();
    QTest::addRow("direction override") << QByteArray("gpj\xE2\x80\xAE.exe") << QString();
    QTest::addRow("utf-8") << QByteArray("\xC3\xA9t\xC3\xA9") << QStringLiteral("\u00E9t\u00E9");
    QTest::addRow("windows-1252") << QByteArray("caf\xE9") << QStringLiteral("caf\u00E9");
}

void TestFileProtocol::safeFileName()
{
    QFETCH(QByteArray, wire);
    QFETCH(QString, name);
    QCOMPARE(SafeFileName(wire), name);
}

void TestFileProtocol::localFileName_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("path");
    const QString sep = QDir::separator();
    QTest::addRow("no trailing separator") << QStringLiteral("/tmp/in") << QDir::toNativeSeparators("/tmp/in/x.d3l");
    QTest::addRow("trailing slash") << QStringLiteral("/tmp/in/") << QDir::toNativeSeparators("/tmp/in/x.d3l");
    QTest::addRow("backslashes") << QStringLiteral("c:\\temp") << QStringLiteral("c:") + sep + "temp" + sep + "x.d3l";
    QTest::addRow("trailing backslash") << QStringLiteral("c:\\temp\\")
                                        << QStringLiteral("c:") + sep + "temp" + sep + "x.d3l";
    QTest::addRow("empty: bare name") << QString() << QStringLiteral("x.d3l");
}

void TestFileProtocol::localFileName()
{
    QFETCH(QString, directory);
    QFETCH(QString, path);
    QCOMPARE(LocalFileName(directory, QStringLiteral("x.d3l")), path);
}

void TestFileProtocol::commandsAtEverySplit()
{
    const QByteArray stream = ListRequest() + OpenRequest(7) + QByteArray(1, '\0') + BlockRequest(0) +
                              BlockRequest(0xFFFFFFFF) + Hex("09") + OpenRequest(0x01000000) + ListRequest();
    const QStringList expected{QStringLiteral("list"),    QStringLiteral("open 7"),
                               QStringLiteral("block 0"), QStringLiteral("block 4294967295"),
                               QStringLiteral("bad 9"),   QStringLiteral("open 16777216"),
                               QStringLiteral("list")};
    for (const QList<QByteArray> &chunks : EverySplit(stream))
        QCOMPARE(ParseCommands(chunks), expected);
    // A command cut short waits for the rest.
    QCOMPARE(ParseCommands({BlockRequest(3).left(4)}), QStringList{QStringLiteral("left 4")});
}

void TestFileProtocol::repliesAtEverySplit()
{
    const QByteArray block0 = Pattern(1024, 0);
    const QByteArray block2 = Pattern(452, 2);
    const QByteArray stream = ListReply({{"one", 2500}, {"two words", 0}, {"\xFF", -5}}) + BlockReplyHeader(0) +
                              block0 + BlockReplyHeader(2) + block2 + BlockReplyHeader(3) + Hex("0700") +
                              BlockReplyHeader(9) + ListReply({});
    const QStringList expected{
        QStringLiteral("list"),
        QStringLiteral("entry 0 6f6e65 2500"),
        QStringLiteral("entry 1 74776f20776f726473 0"),
        QStringLiteral("entry 2 ff -5"),
        QStringLiteral("end 3"),
        QStringLiteral("block 0 1024 %1").arg(qHash(block0)),
        QStringLiteral("block 2 452 %1").arg(qHash(block2)),
        QStringLiteral("block 3 0 %1").arg(qHash(QByteArray())),
        QStringLiteral("unknown 7"),
        QStringLiteral("block 9 0 %1").arg(qHash(QByteArray())),
        QStringLiteral("list"),
        QStringLiteral("end 0"),
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
    const QStringList failed{QStringLiteral("list"), QStringLiteral("name too long")};
    QCOMPARE(ParseReplies({tooLong}, 0), failed);
    QCOMPARE(ParseReplies({tooLong.left(600), tooLong.mid(600)}, 0), failed);
    QList<TListedFile> files(MaxListEntries, TListedFile{"f", 1});
    QCOMPARE(ParseReplies({ListReply(files)}, 0).last(), QStringLiteral("end %1").arg(MaxListEntries));
    files << TListedFile{"g", 1};
    TFileReplyParser parser;
    QCOMPARE(ParseReplies({ListReply(files)}, 0, &parser).last(), QStringLiteral("list too long"));
    QVERIFY(parser.Failed());
    QCOMPARE(ParseReplies({ListReply({{"a", 1}})}, 0, &parser), QStringList());
    parser.Reset();
    QCOMPARE(ParseReplies({ListReply({{"a", 1}})}, 0, &parser).size(), 3);
}

QTEST_GUILESS_MAIN(TestFileProtocol)
#include "tst_FileProtocol.moc"
