#include "files/FileCommandParser.h"

#include "base/Bytes.h"
#include "files/FileProtocol.h"

TParsedFileCommand ParseFileCommand(QByteArrayView bytes)
{
    TParsedFileCommand parsed;
    if (bytes.isEmpty())
        return parsed;
    const quint8 code = quint8(bytes.at(0));
    switch (code) {
    case 0:
        parsed.status = TParsedFileCommand::Status::Ok;
        parsed.command.kind = TFileCommand::Kind::Padding;
        parsed.frameSize = 1;
        return parsed;
    case FileProtocol::CommandList:
        parsed.status = TParsedFileCommand::Status::Ok;
        parsed.command.kind = TFileCommand::Kind::List;
        parsed.frameSize = 1;
        return parsed;
    case FileProtocol::CommandOpen:
    case FileProtocol::CommandBlock:
        if (bytes.size() < 5)
            return parsed;
        parsed.status = TParsedFileCommand::Status::Ok;
        parsed.command.kind = code == FileProtocol::CommandOpen ? TFileCommand::Kind::Open : TFileCommand::Kind::Block;
        parsed.command.value = TByteReader(bytes).U32LEAt(1);
        parsed.frameSize = 5;
        return parsed;
    default:
        parsed.status = TParsedFileCommand::Status::Bad;
        parsed.frameSize = 1;
        return parsed;
    }
}
