#include "chat/ChatSettings.h"

#include "settings/ColorTable.h"
#include "settings/ConfigText.h"
#include "settings/Registry.h"
#include "settings/StoreNames.h"
#include "settings/UfrmConfig.h"

#include <QLabel>
#include <QPointer>
#include <QSet>
#include <QSplitter>
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

void ToggleFriend(const QString &nick)
{
    TfrmConfig *config = frmConfig();
    if (!config)
        return;
    QStringList lines = MemoLines(config->memChatFriends);
    const auto it = std::find_if(lines.begin(), lines.end(), [&nick](const QString &line) {
        return line.trimmed().compare(nick.trimmed(), Qt::CaseInsensitive) == 0;
    });
    if (it != lines.end())
        lines.erase(it);
    else
        lines.append(nick);
    SetMemoLines(config->memChatFriends, lines);
    config->ApplyFriendsList();
}

bool Away()
{
    return Checked(&TfrmConfig::cbxChatAway, false);
}

void SetAway(bool away, const QString &text)
{
    TfrmConfig *config = frmConfig();
    if (!config)
        return;
    // The dialog notes when the flag changed (AwaySince).
    config->cbxChatAway->setChecked(away);
    bool number = false;
    const uint selected = text.toUInt(&number, 10);
    if (text == QLatin1String("0") || (number && selected != 0)) {
        config->speChatAway->SetValue(selected);
        config->lblChatAway->setText(
            ConfigText::AwayMessage(MemoLines(config->memChatAway), config->speChatAway->Value()));
    } else if (!text.isEmpty()) {
        config->lblChatAway->setText(text);
    }
    if (config->lblChatAway->text().isEmpty())
        config->speChatAway->SetValue(0);
}

quint32 AwaySince()
{
    const TfrmConfig *config = frmConfig();
    return config ? config->AwaySince : 0;
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

QColor LineColor(TChatLine::TKind kind)
{
    switch (kind) {
    case TChatLine::TKind::Message:
        return TextColor();
    case TChatLine::TKind::Action:
        return ActionColor();
    case TChatLine::TKind::Join:
        return QColor(0, 128, 0);
    case TChatLine::TKind::Event:
        return QColor(0, 0, 255);
    case TChatLine::TKind::Server:
        return QColor(0, 0, 0);
    case TChatLine::TKind::Status:
        return QColor(128, 128, 128);
    case TChatLine::TKind::Raw:
    case TChatLine::TKind::Alert:
        break;
    }
    return QColor(255, 0, 0);
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

QString TalkAlias(const QString &nick)
{
    const TfrmConfig *config = frmConfig();
    return config && config->cbxTalkAlias->isChecked() ? config->edtTalkAlias->text() : nick;
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

void LoadSaveWindow(bool save, QWidget *form, QSplitter *channels)
{
    const QString width = QLatin1String(StoreNames::Width);
    const QString height = QLatin1String(StoreNames::Height);
    const QString panel = QStringLiteral("pnlChannels Width");
    try {
        TRegistry reg;
        reg.OpenKey(OrloKey(QLatin1String(StoreNames::KeyPXOChatWindow)));
        const QList<int> sizes = channels->sizes();
        if (save) {
            reg.WriteInteger(width, form->width());
            reg.WriteInteger(height, form->height());
            reg.WriteInteger(panel, channels->widget(0)->width());
            return;
        }
        const auto read = [&reg](const QString &name, int current) {
            return reg.ValueExists(name) ? reg.ReadInteger(name) : current;
        };
        const int w = read(width, form->width());
        const int h = read(height, form->height());
        const int p = read(panel, sizes.value(0, 133));
        form->resize(std::max(w, 200), std::max(h, 150));
        const int total = std::max(sizes.value(0) + sizes.value(1), p + 10);
        channels->setSizes({std::max(p, 10), std::max(total - p, 10)});
    } catch (const EStoreError &) {
        // A value of the wrong kind keeps the defaults; the store reports it at start-up.
    }
}
} // namespace ChatSettings
