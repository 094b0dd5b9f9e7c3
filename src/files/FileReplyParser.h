#pragma once

// The client's side of the reply stream (see FileProtocol.h):
//   02 { name 00 i32 size }* 00      05 u32 block data
// Replies may arrive split anywhere and several per read. The length of a block's data is
// not on the wire, so after each block header the owner, which knows what it asked for,
// says how many data bytes follow (SetBlockLength). A zero byte between replies is
// padding; any other byte that starts no reply is reported and skipped on its own. A
// name over MaxNameBytes or a list over MaxListEntries fails the parser for good (until
// Reset): the owner drops the connection.

#include <QByteArray>
#include <QByteArrayView>

class TFileReplyParser
{
public:
    struct TEvent
    {
        enum class Kind {
            NeedMore,
            ListStart,
            ListEntry,
            ListEnd,
            BlockHeader,
            Block,
            UnknownReply,
            NameTooLong,
            ListTooLong
        };
        Kind kind = Kind::NeedMore;
        int position = 0;  // ListEntry: place in the list; ListEnd: number of entries
        QByteArray name;   // ListEntry: raw bytes as sent
        qint32 size = 0;   // ListEntry: as sent, may be negative
        quint32 block = 0; // BlockHeader, Block
        QByteArray data;   // Block
        quint8 reply = 0;  // UnknownReply
    };

    // Consumes bytes from the front of Input up to and including the next event; NeedMore
    // when Input ran out first (it is then empty).
    TEvent Next(QByteArrayView &input);
    // After a BlockHeader; without it the header stands alone.
    void SetBlockLength(qint64 length);
    void Reset();
    bool Failed() const { return m_state == State::Failed; }

private:
    enum class State { Reply, ListName, ListSize, BlockNumber, BlockLength, BlockData, Failed };
    TEvent Fail(TEvent::Kind kind, QByteArrayView &input);

    State m_state = State::Reply;
    QByteArray m_field; // name bytes, or the four bytes of a size or block number
    QByteArray m_name;
    QByteArray m_data;
    qint64 m_dataLength = 0;
    quint32 m_block = 0;
    int m_entries = 0;
};
