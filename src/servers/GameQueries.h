#pragma once

#include <QByteArray>
#include <QStringView>
#include <QtGlobal>

// Requests to game servers (numbers little-endian):
//   game info    01 29 0B 00  u16 sequence  u32 version code  8 zero bytes     18 bytes
//   player list  01 72 03 00                                                    4 bytes
//   level info   01 60 03 00                                                    4 bytes
//   status       "\status\" 00, to the query port 20142                          9 bytes
namespace GameQueries {

constexpr quint16 StatusPort = 20142;
constexpr quint32 VersionCode14 = 606814; // 5E 42 09 00
constexpr quint32 VersionCode13 = 541266; // 52 42 08 00

QByteArray GameInfoRequest(quint16 sequence, quint32 versionCode);
QByteArray PlayerListRequest();
QByteArray LevelInfoRequest();
QByteArray StatusRequest();

// The version code for the text the version setting shows: "1.4" and "1.3" choose theirs,
// any other text keeps LastCode.
quint32 NextVersionCode(QStringView versionText, quint32 lastCode);
// The same, remembered across all lobbies (0 before any version was recognised).
quint32 CurrentVersionCode(QStringView versionText);

} // namespace GameQueries
