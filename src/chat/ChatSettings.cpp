#include "chat/ChatSettings.h"

#include "settings/ColorTable.h"
#include "settings/UfrmConfig.h"

#include <QPointer>
#include <QSet>
#include <QTextDocument>

namespace {
bool Checked(QCheckBox *TfrmConfig::*box, bool fallback)
{
    const TfrmConfig *config = frmConfig();
    return config ? (config->*box)->isChecked() : fallback;
}

// The colour of a choice box; one that shows no entry of the table keeps the default.
QColor ChoiceColor(TChoiceBox *TfrmConfig::*box, int fallbackIndex)
{
    const TfrmConfig *config = frmConfig();
    const QColor fallback = ColorTable::Color(fallbackIndex);
    if (!config)
        return fallback;
    const TChoiceBox *choice = config->*box;
    int index = choice->currentIndex();
    if (index < 0)
        index = int(ColorTable::Names().indexOf(choice->Text()));
    return ColorTable::Color(index, fallback);
}

int ColorIndex(const char *name)
{
    return int(ColorTable::Names().indexOf(QLatin1String(name)));
}
} // namespace

namespace ChatSettings {
bool TimeStamp()
{
    return Checked(&TfrmConfig::cbxChatTimeStamp, true);
}

bool MessageSound()
{
    return Checked(&TfrmConfig::cbxChatMessageSound, false);
}

bool MessageFriendSound()
{
    return Checked(&TfrmConfig::cbxChatMessageFriendSound, false);
}

bool JoinFriendSound()
{
    return Checked(&TfrmConfig::cbxChatJoinFriendSound, false);
}

bool NotifyMessage()
{
    return Checked(&TfrmConfig::cbxChatNotifyMessage, true);
}

bool NotifyFriendJoin()
{
    return Checked(&TfrmConfig::cbxChatNotifyFriendJoin, true);
}

bool IsFriend(const QString &name)
{
    const TfrmConfig *config = frmConfig();
    if (!config)
        return false;
    // Every shown line asks; the list is read again only after the memo changed.
    static QPointer<QTextDocument> watched;
    static bool stale = true;
    static QSet<QString> friends;
    QTextDocument *document = config->memChatFriends->document();
    if (watched != document) {
        watched = document;
        QObject::connect(document, &QTextDocument::contentsChanged, document, [] { stale = true; });
        stale = true;
    }
    if (stale) {
        friends.clear();
        for (const QString &line : MemoLines(config->memChatFriends))
            friends.insert(line.trimmed().toUpper());
        stale = false;
    }
    return friends.contains(name.trimmed().toUpper());
}

bool Away()
{
    return Checked(&TfrmConfig::cbxChatAway, false);
}

void SetAway(bool away)
{
    if (TfrmConfig *config = frmConfig())
        config->cbxChatAway->setChecked(away);
}

QString AwayText()
{
    const TfrmConfig *config = frmConfig();
    return config ? config->lblChatAway->text() : QString();
}

QColor AliasColor()
{
    return ChoiceColor(&TfrmConfig::cmbChatAliasColor, ColorIndex("Navy"));
}

QColor TextColor()
{
    return ChoiceColor(&TfrmConfig::cmbChatTextColor, ColorIndex("Blue"));
}

QColor ActionColor()
{
    return ChoiceColor(&TfrmConfig::cmbChatActionColor, ColorIndex("Red"));
}

QColor OwnColor()
{
    return ChoiceColor(&TfrmConfig::cmbChatOwnColor, ColorIndex("Teal"));
}

QColor FriendColor()
{
    return ChoiceColor(&TfrmConfig::cmbChatFriendColor, ColorIndex("Green"));
}

QString TabsPosition()
{
    const TfrmConfig *config = frmConfig();
    return config ? config->cmbChatChannelTabsPos->Text() : QStringLiteral("Top");
}

bool ChannelListRefresh()
{
    return Checked(&TfrmConfig::cbxChatChannellistTime, true);
}

int ChannelListInterval()
{
    const TfrmConfig *config = frmConfig();
    const int value = config ? config->speChatChannellistTime->AtLeastMinimum() : 11000;
    return std::max(value, MinChannelListInterval);
}

QStringList Aliases()
{
    const TfrmConfig *config = frmConfig();
    if (!config)
        return {QStringLiteral("/stfu=/ignore"), QStringLiteral("/pm=/msg"), QStringLiteral("/i=/me"),
                QStringLiteral("/afk=/away")};
    return MemoLines(config->memChatAlias);
}

QStringList HighlightWords()
{
    const TfrmConfig *config = frmConfig();
    return config ? MemoLines(config->memChatHighlight) : QStringList();
}

bool LogConversations()
{
    return Checked(&TfrmConfig::cbxChatLog, false);
}

int SendBurst()
{
    const TfrmConfig *config = frmConfig();
    return config ? config->speChatSendBurst->Value() : 5;
}

int SendIntervalMs()
{
    const TfrmConfig *config = frmConfig();
    return config ? config->speChatSendInterval->Value() : 2000;
}

int LinesKept()
{
    const TfrmConfig *config = frmConfig();
    if (!config)
        return 10000;
    // Dropped lines do not come back: a number still being typed ("2" on the way to "2000")
    // counts once the field is left, and until then nothing is dropped.
    const TSpinEdit *spin = config->speChatLinesKept;
    return spin->hasFocus() ? 0 : spin->Value();
}

bool Reconnect()
{
    return Checked(&TfrmConfig::cbxChatReconnect, false);
}

QString IrcServer()
{
    const TfrmConfig *config = frmConfig();
    return config ? config->edtIRCServer->text() : QString();
}

QString IrcFullName()
{
    const TfrmConfig *config = frmConfig();
    return config ? config->edtIRCFullName->text() : QString();
}
} // namespace ChatSettings
