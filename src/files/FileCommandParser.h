#pragma once

// The server's side of the command stream: 01 | 03 u32 position | 04 u32 block.
// A zero byte is padding; any other byte is no command and is skipped on its own, so the
// parser never stalls on it. Commands may arrive split anywhere and several per read: the
// caller keeps the unparsed bytes and parses again from the front.

#include <QByteArrayView>

struct TFileCommand
{
    enum class Kind { List, Open, Block, Padding };
    Kind kind = Kind::Padding;
    quint32 value = 0; // position or block number
};

struct TParsedFileCommand
{
    enum class Status { Ok, Incomplete, Bad };
    Status status = Status::Incomplete;
    TFileCommand command;
    // Bytes to drop from the front: the whole command, or the one unknown byte (Bad).
    qsizetype frameSize = 0;
};

TParsedFileCommand ParseFileCommand(QByteArrayView bytes);
