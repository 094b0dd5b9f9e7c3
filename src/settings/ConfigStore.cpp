// The section operations of the settings holder: each opens its key and transfers its
// values in a fixed order; LoadAll and SaveAll run them in their own orders.
#include "settings/StoreNames.h"
#include "settings/UfrmConfig.h"

using namespace StoreNames;

namespace {
QString N(const char *name)
{
    return QString::fromLatin1(name);
}
} // namespace

void TfrmConfig::StoreFileTransfers(TStoreMode mode)
{
    TRegistry reg;
    reg.OpenKey(OrloKey(N(KeyFileTransfers)));
    StoreTransfer::Text(reg, mode, N(DefaultDownloadDirectory), edtFileDownload);
}

void TfrmConfig::StoreServers(TStoreMode mode)
{
    TRegistry reg;
    reg.OpenKey(OrloKey(N(KeyServers)));
    StoreTransfer::Number(reg, mode, N(ServerFilterPing), speServerFilterPing);
    StoreTransfer::Lines(reg, mode, N(ServerFilterGametype), lbxServersFilterGameType);
    StoreTransfer::Lines(reg, mode, N(ServerFilterMode), lbxServersFilterMode);
    StoreTransfer::Flag(reg, mode, N(ServerFilterMaxPlayers), cbxServersFilterMaxPlayers);
    StoreTransfer::Lines(reg, mode, N(ServerFilterLevel), lbxServersFilterLevel);
    StoreTransfer::Flag(reg, mode, N(AutoJoinDialog), cbxServersAutoJoin);
    StoreTransfer::Lines(reg, mode, N(FileServerPorts), memFileServerPorts);
    StoreTransfer::Choice(reg, mode, N(ServerVersion), cmbServersVersion);
    StoreTransfer::Choice(reg, mode, N(ServerDoubleClick), cmbServersDblClick);
    StoreTransfer::Lines(reg, mode, N(ServerPrefered), memServersPrefered);
    TSpinEdit *const pings[] = {speServersPing1, speServersPing2, speServersPing3, speServersPing4};
    for (int i = 0; i < 4; ++i)
        StoreTransfer::Number(reg, mode, N(ServerPingInterval) + QString::number(i + 1), pings[i]);
    StoreTransfer::Flag(reg, mode, N(OnlyJoinIfLevelExists), cbxServerJoinLevelExist);
    StoreTransfer::Flag(reg, mode, N(ContinousSort), cbxServersContinousSort);
}

void TfrmConfig::StorePXO(TStoreMode mode)
{
    TRegistry reg;
    reg.OpenKey(OrloKey(N(KeyPXO)));
    StoreTransfer::Text(reg, mode, N(GameServer), edtPXOGameServer);
    StoreTransfer::Text(reg, mode, N(ChatServer), edtPXOChatServer);
    StoreTransfer::Text(reg, mode, N(UserServer), edtPXOUserServer);
    StoreTransfer::Flag(reg, mode, N(AutoJoin), cbxPXOAutoJoin);
}

void TfrmConfig::StoreTalk(TStoreMode mode)
{
    TRegistry reg;
    reg.OpenKey(OrloKey(N(KeyTalk)));
    StoreTransfer::Text(reg, mode, N(TalkAlias), edtTalkAlias);
    StoreTransfer::Flag(reg, mode, N(AlwaysUseTalkAlias), cbxTalkAlias);
    StoreTransfer::Lines(reg, mode, N(TalkServerPorts), memTalkServerPorts);
    StoreTransfer::Flag(reg, mode, N(GlobalRequests), cbxTalkGlobalRequests);
    StoreTransfer::Flag(reg, mode, N(FriendRequests), cbxTalkFriendRequests);
}

void TfrmConfig::StoreChat(TStoreMode mode)
{
    TRegistry reg;
    reg.OpenKey(OrloKey(N(KeyChat)));
    StoreTransfer::Lines(reg, mode, N(ChatAlias), memChatAlias);
    StoreTransfer::Choice(reg, mode, N(ChatAliasColor), cmbChatAliasColor);
    StoreTransfer::Choice(reg, mode, N(ChatTextColor), cmbChatTextColor);
    StoreTransfer::Choice(reg, mode, N(ChatActionColor), cmbChatActionColor);
    StoreTransfer::Choice(reg, mode, N(ChatOwnColor), cmbChatOwnColor);
    StoreTransfer::Choice(reg, mode, N(ChatFriendColor), cmbChatFriendColor);
    StoreTransfer::Number(reg, mode, N(ChatPingTime), speChatPingTime);
    StoreTransfer::Flag(reg, mode, N(ChatPing), cbxChatPingTime);
    StoreTransfer::Number(reg, mode, N(ChatServerlistTime), speChatServerlistTime);
    StoreTransfer::Flag(reg, mode, N(ChatServerlist), cbxChatServerlistTime);
    StoreTransfer::Number(reg, mode, N(ChatChannellistTime), speChatChannellistTime);
    StoreTransfer::Flag(reg, mode, N(ChatChannellist), cbxChatChannellistTime);
    StoreTransfer::Flag(reg, mode, N(ChatTimestamp), cbxChatTimeStamp);
    StoreTransfer::Number(reg, mode, N(ChatServerSortColumn), ServerSortColumn);
    StoreTransfer::Flag(reg, mode, N(ChatMessageSound), cbxChatMessageSound);
    StoreTransfer::Flag(reg, mode, N(ChatMessageFriendSound), cbxChatMessageFriendSound);
    StoreTransfer::Flag(reg, mode, N(ChatJoinFriendSound), cbxChatJoinFriendSound);
    StoreTransfer::Flag(reg, mode, N(ChatNotifyMessage), cbxChatNotifyMessage);
    StoreTransfer::Flag(reg, mode, N(ChatNotifyFriendJoin), cbxChatNotifyFriendJoin);
    StoreTransfer::Number(reg, mode, N(ChatAwayMessageId), speChatAway);
    StoreTransfer::Caption(reg, mode, N(ChatAwayMessage), lblChatAway);
    StoreTransfer::Lines(reg, mode, N(ChatAwayMessages), memChatAway);
    StoreTransfer::Lines(reg, mode, N(ChatFriendsList), memChatFriends);
    StoreTransfer::Choice(reg, mode, N(ChannelTabsPos), cmbChatChannelTabsPos);
    StoreTransfer::Lines(reg, mode, N(ChatHighlightWords), memChatHighlight);
    StoreTransfer::Flag(reg, mode, N(ChatLog), cbxChatLog);
    StoreTransfer::Number(reg, mode, N(ChatSendBurst), speChatSendBurst);
    StoreTransfer::Number(reg, mode, N(ChatSendInterval), speChatSendInterval);
    StoreTransfer::Flag(reg, mode, N(ChatReconnect), cbxChatReconnect);
    StoreTransfer::Number(reg, mode, N(ChatLinesKept), speChatLinesKept);
}

void TfrmConfig::StoreIRC(TStoreMode mode)
{
    TRegistry reg;
    reg.OpenKey(OrloKey(N(KeyIRC)));
    StoreTransfer::Text(reg, mode, N(IRCServer), edtIRCServer);
    StoreTransfer::Text(reg, mode, N(IRCNick), edtIRCNick);
    StoreTransfer::Text(reg, mode, N(IRCFullName), edtIRCFullName);
    StoreTransfer::Text(reg, mode, N(IRCEMail), edtIRCEMail);
}

void TfrmConfig::StoreDescent(TStoreMode mode)
{
    TRegistry reg;
    reg.OpenKey(OrloKey(N(KeyDescent)));
    StoreTransfer::Text(reg, mode, N(ExePath), edtDescentPath);
    StoreTransfer::Text(reg, mode, N(ExeName), edtDescentExe);
    StoreTransfer::Lines(reg, mode, N(ExeParams), memDescentParams);
    StoreTransfer::Lines(reg, mode, N(DirectIPParams), memDescentDirectIPParams);
    StoreTransfer::Flag(reg, mode, N(AutoLogin), cbxDescentAutoLogin);
    StoreTransfer::Flag(reg, mode, N(DownloadToMissionsDir), cbxDescentDLMissionsDir);
}

void TfrmConfig::StoreLogin(TStoreMode mode)
{
    TRegistry reg;
    reg.OpenKey(OrloKey(N(KeyLogin)));
    StoreTransfer::Grid(reg, mode, N(Login), sgrLogin);
}

void TfrmConfig::LoadAll()
{
    TStoreBatch batch;
    StoreFileTransfers(TStoreMode::smLoad);
    StoreServers(TStoreMode::smLoad);
    StorePXO(TStoreMode::smLoad);
    StoreTalk(TStoreMode::smLoad);
    StoreChat(TStoreMode::smLoad);
    StoreIRC(TStoreMode::smLoad);
    StoreRandomSeed(TStoreMode::smLoad);
    StoreDescent(TStoreMode::smLoad);
    StoreLogin(TStoreMode::smLoad);
}

void TfrmConfig::SaveAll()
{
    TStoreBatch batch;
    StoreFileTransfers(TStoreMode::smSave);
    StoreServers(TStoreMode::smSave);
    StorePXO(TStoreMode::smSave);
    StoreTalk(TStoreMode::smSave);
    StoreIRC(TStoreMode::smSave);
    StoreChat(TStoreMode::smSave);
    StoreRandomSeed(TStoreMode::smSave);
    StoreDescent(TStoreMode::smSave);
    StoreLogin(TStoreMode::smSave);
}

void TfrmConfig::Startup()
{
    LoadAll();
    SaveAll();
}

QString TfrmConfig::SaveAllQuietly()
{
    try {
        SaveAll();
    } catch (const EStoreError &e) {
        return e.Message();
    }
    return {};
}
