#pragma once

// Key paths (below "\Software\Orlo") and value names of the settings store.
// Every name used to read or write a setting lives here.
namespace StoreNames {
// Sections
constexpr char KeyPXO[] = "\\PXO";
constexpr char KeyTalk[] = "\\Talk";
constexpr char KeyDescent[] = "\\Descent";
constexpr char KeyChat[] = "\\Chat";
constexpr char KeyServers[] = "\\Servers";
constexpr char KeyFileTransfers[] = "\\File transfers";
constexpr char KeyIRC[] = "\\IRC";
constexpr char KeyLogin[] = "\\Login";
constexpr char KeyMainWindow[] = "\\Main Window";
constexpr char KeyBannerWindow[] = "\\Banner Window";
constexpr char KeyPXOChatWindow[] = "\\PXO Chat Window";

// "\PXO"
constexpr char GameServer[] = "Game server";
constexpr char ChatServer[] = "Chat server";
constexpr char UserServer[] = "User server";
constexpr char AutoJoin[] = "Auto join";
constexpr char UserName[] = "User name";
constexpr char Alias[] = "Alias";
constexpr char SavePassword[] = "Save password";
constexpr char Password[] = "Password";

// "\Talk"
constexpr char TalkAlias[] = "Talk alias";
constexpr char AlwaysUseTalkAlias[] = "Always use talk alias";
constexpr char TalkServerPorts[] = "Server ports";
constexpr char GlobalRequests[] = "Global requests";
constexpr char FriendRequests[] = "Friend requests";

// "\Descent"
constexpr char ExePath[] = "Exe path";
constexpr char ExeName[] = "Exe name";
constexpr char ExeParams[] = "Exe params";
constexpr char DirectIPParams[] = "Direct IP Params";
constexpr char AutoLogin[] = "Auto login";
constexpr char DownloadToMissionsDir[] = "Download to missions dir";

// "\Chat"
constexpr char ChatAlias[] = "Chat alias";
constexpr char ChatAliasColor[] = "Chat alias color";
constexpr char ChatTextColor[] = "Chat text color";
constexpr char ChatActionColor[] = "Chat action color";
constexpr char ChatOwnColor[] = "Chat own color";
constexpr char ChatFriendColor[] = "Chat friend color";
constexpr char ChatPingTime[] = "Chat ping time";
constexpr char ChatPing[] = "Chat ping";
constexpr char ChatServerlistTime[] = "Chat serverlist time";
constexpr char ChatServerlist[] = "Chat serverlist";
constexpr char ChatChannellistTime[] = "Chat channellist time";
constexpr char ChatChannellist[] = "Chat channellist";
constexpr char ChatTimestamp[] = "Chat timestamp";
constexpr char ChatServerSortColumn[] = "Chat server sort column";
constexpr char ChatMessageSound[] = "Chat chat message sound";
constexpr char ChatMessageFriendSound[] = "Chat chat message friend sound";
constexpr char ChatJoinFriendSound[] = "Chat chat join friend sound";
constexpr char ChatNotifyMessage[] = "Chat notify private message";
constexpr char ChatNotifyFriendJoin[] = "Chat notify friend join";
constexpr char ChatAwayMessageId[] = "Chat away message id";
constexpr char ChatAwayMessage[] = "Chat away message";
constexpr char ChatAwayMessages[] = "Chat away messages";
constexpr char ChatFriendsList[] = "Chat friends list";
constexpr char ChatHighlightWords[] = "Chat highlight words";
constexpr char ChatLog[] = "Chat log";
constexpr char ChatSendBurst[] = "Chat send burst";
constexpr char ChatSendInterval[] = "Chat send interval";
constexpr char ChatReconnect[] = "Chat reconnect";
constexpr char ChatLinesKept[] = "Chat lines kept";
constexpr char ChannelTabsPos[] = "Channel tabs pos";

// "\Servers"
constexpr char ServerFilterPing[] = "Server filter ping";
constexpr char ServerFilterGametype[] = "Server filter gametype";
constexpr char ServerFilterMode[] = "Server filter mode";
constexpr char ServerFilterMaxPlayers[] = "Server filter max players";
constexpr char ServerFilterLevel[] = "Server filter level";
constexpr char AutoJoinDialog[] = "Auto-join dialog";
constexpr char FileServerPorts[] = "Server ports";
constexpr char ServerVersion[] = "Server version";
constexpr char ServerDoubleClick[] = "Server double click";
constexpr char ServerPrefered[] = "Server prefered";
constexpr char ServerPingInterval[] = "Server ping interval "; // + "1" … "4"
constexpr char OnlyJoinIfLevelExists[] = "Only join if level exists";
constexpr char ContinousSort[] = "Continous sort";

// "\File transfers"
constexpr char DefaultDownloadDirectory[] = "Default download directory";

// "\IRC"
constexpr char IRCServer[] = "Server";
constexpr char IRCNick[] = "Nick";
constexpr char IRCFullName[] = "Full name";
constexpr char IRCEMail[] = "E-Mail";

// "\Login"
constexpr char Login[] = "Login";

// Root key
constexpr char RandomSeed[] = "Random seed";

// Window placements
constexpr char Top[] = "Top";
constexpr char Left[] = "Left";
constexpr char Width[] = "Width";
constexpr char Height[] = "Height";
constexpr char BorderStyle[] = "BorderStyle";
} // namespace StoreNames
