#pragma once

#include <QtGlobal>

// The numeric replies of RFC 1459 / 2812 that the session acts on.
namespace Irc {
constexpr quint16 RPL_WELCOME = 1;            // registered: "Welcome to the network"
constexpr quint16 RPL_WHOISUSER = 311;        // nick user host * :real name
constexpr quint16 RPL_LIST = 322;             // channel users :topic
constexpr quint16 RPL_LISTEND = 323;          // end of a LIST
constexpr quint16 RPL_NAMREPLY = 353;         // type channel :names (a leading "@" marks an operator)
constexpr quint16 RPL_MOTD = 372;             // :- text of the message of the day
constexpr quint16 ERR_NONICKNAMEGIVEN = 431;  // NICK without a nick
constexpr quint16 ERR_ERRONEUSNICKNAME = 432; // a nick the server refuses
constexpr quint16 ERR_NICKNAMEINUSE = 433;    // someone else has the nick
constexpr quint16 ERR_BANNEDFROMCHAN = 474;   // JOIN refused: banned
} // namespace Irc
