#include "files/FileReplyParser.h"

#include "base/Bytes.h"
#include "files/FileProtocol.h"

#include <utility>

namespace {
// Moves bytes from Input to Field until Field holds Want bytes; true when it does.
bool Collect(QByteArray &field, qsizetype want, QByteArrayView &input)
{
    const qsizetype take = qMin(want - field.size(), input.size());
    field.append(input.first(take));
    input = input.sliced(take);
    return field.size() == want;
}
} // namespace

void TFileReplyParser::Reset()
{
    m_state = State::Reply;
    m_field.clear();
    m_name.clear();
    m_data.clear();
    m_dataLength = 0;
    m_block = 0;
    m_entries = 0;
}

void TFileReplyParser::SetBlockLength(qint64 length)
{
    if (m_state != State::BlockLength)
        return;
    m_dataLength = qBound<qint64>(0, length, FileProtocol::BlockSize);
    m_data.clear();
    m_data.reserve(m_dataLength);
    m_state = State::BlockData;
}

TFileReplyParser::TEvent TFileReplyParser::Fail(TEvent::Kind kind, QByteArrayView &input)
{
    m_state = State::Failed;
    m_field.clear();
    m_name.clear();
    m_data.clear();
    input = {};
    TEvent event;
    event.kind = kind;
    return event;
}

TFileReplyParser::TEvent TFileReplyParser::Next(QByteArrayView &input)
{
    using Kind = TEvent::Kind;
    TEvent event;
    if (m_state == State::BlockLength)
        SetBlockLength(0);
    while (m_state == State::BlockData || !input.isEmpty()) {
        switch (m_state) {
        case State::Failed:
            input = {};
            return event;
        case State::Reply: {
            const quint8 reply = quint8(input.front());
            input = input.sliced(1);
            if (reply == FileProtocol::ReplyList) {
                m_state = State::ListName;
                m_entries = 0;
                m_name.clear();
                event.kind = Kind::ListStart;
                return event;
            }
            if (reply == FileProtocol::ReplyBlock) {
                m_state = State::BlockNumber;
                m_field.clear();
                continue;
            }
            if (reply == 0)
                continue; // padding, as between commands
            event.kind = Kind::UnknownReply;
            event.reply = reply;
            return event;
        }
        case State::ListName: {
            const qsizetype end = input.indexOf('\0');
            const qsizetype take = end < 0 ? input.size() : end;
            if (m_name.isEmpty() && take > 0 && m_entries >= FileProtocol::MaxListEntries)
                return Fail(Kind::ListTooLong, input);
            if (m_name.size() + take > FileProtocol::MaxNameBytes)
                return Fail(Kind::NameTooLong, input);
            m_name.append(input.first(take));
            input = input.sliced(take);
            if (end < 0)
                continue;
            input = input.sliced(1);
            if (m_name.isEmpty()) {
                m_state = State::Reply;
                event.kind = Kind::ListEnd;
                event.position = m_entries;
                m_entries = 0;
                return event;
            }
            m_state = State::ListSize;
            m_field.clear();
            continue;
        }
        case State::ListSize:
            if (!Collect(m_field, 4, input))
                continue;
            event.kind = Kind::ListEntry;
            event.position = m_entries++;
            event.name = std::exchange(m_name, {});
            event.size = qint32(TByteReader(m_field).U32LEAt(0));
            m_field.clear();
            m_state = State::ListName;
            return event;
        case State::BlockNumber:
            if (!Collect(m_field, 4, input))
                continue;
            m_block = TByteReader(m_field).U32LEAt(0);
            m_field.clear();
            m_state = State::BlockLength;
            event.kind = Kind::BlockHeader;
            event.block = m_block;
            return event;
        case State::BlockLength:
            SetBlockLength(0);
            continue;
        case State::BlockData: {
            const qsizetype take = qMin(m_dataLength - m_data.size(), input.size());
            m_data.append(input.first(take));
            input = input.sliced(take);
            if (m_data.size() < m_dataLength)
                return event; // Input is used up
            m_state = State::Reply;
            event.kind = Kind::Block;
            event.block = m_block;
            event.data = std::exchange(m_data, {});
            return event;
        }
        }
    }
    return event;
}
