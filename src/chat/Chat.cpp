#include "chat/Chat.h"

#include "chat/Beep.h"
#include "chat/ChatSettings.h"
#include "chat/UfrmChat.h"
#include "irc/Conversation.h"
#include "irc/ConversationLog.h"
#include "irc/IrcLine.h"
#include "irc/NameOrder.h"
#include "irc/User.h"
#include "settings/UfrmConfig.h"

#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBlock>
#include <QTime>
#include <QTimer>

#include <algorithm>

namespace {
constexpr int UserGridWidth = 90;
constexpr int UserRowHeight = 16;
const QColor Ignored(255, 0, 0);
const QColor Friend(0, 128, 0);

QTextCharFormat StampFormat()
{
    QTextCharFormat f;
    f.setFontFamilies({QStringLiteral("Terminal")});
    f.setFontStyleHint(QFont::TypeWriter);
    f.setForeground(Qt::black);
    return f;
}

QTextCharFormat TextFormat(const QColor &color, bool bold)
{
    QTextCharFormat f;
    f.setFontFamilies({QStringLiteral("MS Sans Serif")});
    f.setFontStyleHint(QFont::SansSerif);
    f.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    f.setForeground(color);
    return f;
}

// "(HH:MM) " of now. Reading the local time costs a look at the time zone files, so the
// text is made again only when half a second has passed.
QString CurrentStamp()
{
    static QElapsedTimer age;
    static QString stamp;
    if (!age.isValid() || age.elapsed() >= 500) {
        stamp = QLatin1Char('(') + QTime::currentTime().toString(QStringLiteral("HH:mm")) + QLatin1String(") ");
        age.start();
    }
    return stamp;
}

QIcon Dot(const QColor &color)
{
    QPixmap pixmap(10, 10);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(color);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(1, 1, 8, 8);
    return QIcon(pixmap);
}

const QIcon &NewTextIcon()
{
    static const QIcon icon = Dot(QColor(255, 128, 0));
    return icon;
}

const QIcon &MentionIcon()
{
    static const QIcon icon = Dot(QColor(220, 0, 0));
    return icon;
}

const QColor MentionBackground(255, 236, 140);
const QColor MentionTabText(200, 0, 0);
qint64 g_speakCount = 0;
} // namespace

TChat::TChat(TfrmChat *form, const QString &name, QWidget *parent) : QWidget(parent), m_form(form)
{
    Name = Irc::StripAt(name);
    HostForm = form;
    setObjectName(QStringLiteral("Chat"));

    UserGrid = new QTableWidget(1, 1);
    UserGrid->setObjectName(QStringLiteral("UserGrid"));
    UserGrid->horizontalHeader()->hide();
    UserGrid->horizontalHeader()->setStretchLastSection(true);
    UserGrid->verticalHeader()->hide();
    UserGrid->verticalHeader()->setDefaultSectionSize(UserRowHeight);
    UserGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    UserGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    UserGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    UserGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    UserGrid->setWordWrap(false);
    UserGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    UserGrid->setItem(0, 0, new QTableWidgetItem);

    TextView = new QPlainTextEdit;
    TextView->setObjectName(QStringLiteral("TextView"));
    TextView->setReadOnly(true);
    TextView->setUndoRedoEnabled(false);
    TextView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TextView->setContextMenuPolicy(Qt::CustomContextMenu);
    TextView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    Splitter = new QSplitter(Qt::Horizontal);
    Splitter->addWidget(UserGrid);
    Splitter->addWidget(TextView);
    Splitter->setStretchFactor(1, 1);
    Splitter->setSizes({UserGridWidth, 400});
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Splitter);
}

TChat::~TChat() = default;

void TChat::NoteSpeaker(const QString &nick)
{
    const QString name = Irc::StripAt(nick);
    if (!name.isEmpty())
        LastSpoke.insert(name, ++g_speakCount);
}

bool TChat::InputKey(QLineEdit *input, const QKeyEvent *event, const QString &ownNick)
{
    if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::NoModifier) {
        QList<TNickCompleter::TCandidate> candidates;
        for (const TUser *user : Users())
            candidates.append({user->Nick, LastSpoke.value(user->Nick, 0)});
        QString text = input->text();
        int cursor = input->cursorPosition();
        if (m_completer.Complete(text, cursor, candidates, ownNick)) {
            input->setText(text);
            input->setCursorPosition(cursor);
        }
        return true; // Tab completes here; it never moves the focus away from typing
    }
    if (event->key() != Qt::Key_Up && event->key() != Qt::Key_Down)
        return false;
    QString shown;
    if (event->key() == Qt::Key_Up ? History.Up(input->text(), shown) : History.Down(shown))
        input->setText(shown);
    return true;
}

QString TChat::SelectedText() const
{
    // Paragraph separators of a selection over several rows become line breaks.
    QString text = TextView->textCursor().selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

void TChat::Bind(const TConversation *conversation)
{
    Conversation = conversation;
    const TIrcSession *session = m_form->Session();
    const auto mine = [this](const TConversation *changed) {
        if (changed == Conversation)
            RefreshUserList();
    };
    connect(session, &TIrcSession::UsersChanged, this, mine);
    connect(session, &TIrcSession::OpsChanged, this, mine);
    connect(session, &TIrcSession::UserJoined, this, mine);
    connect(session, &TIrcSession::UserLeft, this, mine);
    connect(session, &TIrcSession::UserQuit, this, &TChat::RefreshUserList);
    connect(session, &TIrcSession::UserRenamed, this, [this](const TUser *user, const QString &oldNick) {
        RenameSpeaker(oldNick, user->Nick);
        if (Conversation && Name != Conversation->Name) {
            Name = Conversation->Name;
            if (QTabWidget *tabs = PageControl())
                tabs->setTabText(tabs->indexOf(this), TabText());
        }
        RefreshUserList();
    });
    RefreshUserList();
}

QString TChat::TabText() const
{
    return Caption().replace(QLatin1Char('&'), QLatin1String("&&"));
}

QString TChat::Caption() const
{
    if (Name.startsWith(QLatin1Char('#')) || Name.startsWith(QLatin1Char('+')))
        return Name.mid(1);
    return Name;
}

bool TChat::IsChannel() const
{
    return Name.startsWith(QLatin1Char('#')) || Name.startsWith(QLatin1Char('+'));
}

const QList<TUser *> &TChat::Users() const
{
    static const QList<TUser *> nobody;
    return Conversation ? Conversation->Users : nobody;
}

TUser *TChat::FindUser(const QString &nick) const
{
    return Conversation ? Conversation->FindUser(nick) : nullptr;
}

bool TChat::IsOp(const QString &nick) const
{
    return Conversation && Conversation->IsOp(nick);
}

void TChat::RenameSpeaker(const QString &oldNick, const QString &newNick)
{
    if (LastSpoke.contains(oldNick))
        LastSpoke.insert(newNick, LastSpoke.take(oldNick));
}

TUser *TChat::SelectedUser() const
{
    const int row = UserGrid->currentRow();
    const QList<QTableWidgetItem *> selected = UserGrid->selectedItems();
    if (row < 0 || selected.isEmpty())
        return nullptr;
    const QTableWidgetItem *item = UserGrid->item(row, 0);
    if (!item || item->text().isEmpty())
        return nullptr;
    return FindUser(item->text());
}

void TChat::RefreshUserList()
{
    if (m_form && m_form->InRead()) {
        m_usersDirty = true;
        return;
    }
    DoRefreshUserList();
}

void TChat::DoRefreshUserList()
{
    m_usersDirty = false;
    const TUser *selected = SelectedUser();
    const QString selectedNick = selected ? selected->Nick : QString();
    QList<TUser *> users = Users();
    std::stable_sort(users.begin(), users.end(),
                     [](const TUser *a, const TUser *b) { return CompareNames(a->Nick, b->Nick) < 0; });
    const int rows = std::max(1, int(users.size()));
    UserGrid->setRowCount(rows);
    int selectRow = -1;
    for (int row = 0; row < rows; ++row) {
        QTableWidgetItem *item = UserGrid->item(row, 0);
        if (!item) {
            item = new QTableWidgetItem;
            UserGrid->setItem(row, 0, item);
        }
        if (row >= users.size()) {
            // An empty list keeps one row, and it names nobody.
            item->setText(QString());
            item->setData(Qt::ForegroundRole, QVariant());
            continue;
        }
        const TUser *user = users.at(row);
        item->setText(IsOp(user->Nick) ? QLatin1Char('@') + user->Nick : user->Nick);
        if (user->Ignored())
            item->setForeground(Ignored);
        else if (user->IsFriend())
            item->setForeground(Friend);
        else
            item->setData(Qt::ForegroundRole, QVariant());
        if (!selectedNick.isEmpty() && user->Nick == selectedNick)
            selectRow = row;
    }
    if (selectRow >= 0)
        UserGrid->setCurrentCell(selectRow, 0);
    else
        UserGrid->clearSelection();
    emit OnUsersChanged(this);
}

void TChat::AddLine(const QString &nickPart, const QString &text, const QColor &color, bool mention)
{
    WriteLog(nickPart, text);
    TPendingLine line;
    line.Mention = mention;
    if (ChatSettings::TimeStamp())
        line.Stamp = CurrentStamp();
    line.NickPart = nickPart;
    QString nick = nickPart.trimmed();
    if (nick.endsWith(QLatin1Char(':')))
        nick.chop(1);
    const bool isFriend = !nick.isEmpty() && ChatSettings::IsFriend(nick);
    if (!nickPart.isEmpty())
        line.NickColor = isFriend ? ChatSettings::FriendColor() : ChatSettings::AliasColor();
    line.Text = text;
    line.Color = color;
    if (m_form && m_form->InRead())
        m_pending.append(line);
    else
        WriteLines({line});

    if (IsActivePage())
        return;
    SetActivity(mention ? TActivity::Mention : TActivity::Text);
    if (IsChannel() || IsMisc() || Name.isEmpty())
        return;
    if (ChatSettings::MessageSound())
        Sound::Beep();
    else if (ChatSettings::MessageFriendSound() && isFriend && FindUser(nick))
        Sound::Beep();
}

void TChat::Flush()
{
    if (!m_pending.isEmpty()) {
        const QList<TPendingLine> lines = std::exchange(m_pending, {});
        WriteLines(lines);
    }
    if (m_usersDirty)
        DoRefreshUserList();
}

void TChat::WriteLines(const QList<TPendingLine> &lines)
{
    static const QTextCharFormat stampFormat = StampFormat();
    QTextDocument *doc = TextView->document();
    const TViewPlace place = Place();

    // Lines of a read share a handful of formats: make each once.
    QHash<quint64, QTextCharFormat> formats;
    const auto format = [&formats](const QColor &color, bool bold, bool mention) -> const QTextCharFormat & {
        const quint64 key = (quint64(color.rgba()) << 2) | (bold ? 1 : 0) | (mention ? 2 : 0);
        auto it = formats.find(key);
        if (it == formats.end()) {
            QTextCharFormat made = TextFormat(color, bold);
            if (mention)
                made.setBackground(MentionBackground);
            it = formats.insert(key, made);
        }
        return *it;
    };
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    bool first = doc->isEmpty();
    for (const TPendingLine &line : lines) {
        // Each line starts a row of its own; the first line of an empty view needs no break.
        if (!first)
            cursor.insertBlock();
        first = false;
        if (!line.Stamp.isEmpty())
            cursor.insertText(line.Stamp, stampFormat);
        if (!line.NickPart.isEmpty())
            cursor.insertText(line.NickPart, format(line.NickColor, true, line.Mention));
        cursor.insertText(line.Text, format(line.Color, false, line.Mention));
    }
    cursor.endEditBlock();
    Restore(place, DropOldest(ChatSettings::LinesKept()));
}

void TChat::ApplyLinesKept()
{
    const TViewPlace place = Place();
    const TDropped dropped = DropOldest(ChatSettings::LinesKept());
    if (dropped.Chars > 0)
        Restore(place, dropped);
}

TChat::TViewPlace TChat::Place() const
{
    const QScrollBar *bar = TextView->verticalScrollBar();
    const QTextCursor view = TextView->textCursor();
    return {bar->value() >= bar->maximum(), bar->value(), view.selectionStart(), view.selectionEnd()};
}

TChat::TDropped TChat::DropOldest(int keep)
{
    QTextDocument *doc = TextView->document();
    const int excess = doc->blockCount() - keep;
    // A quarter of the limit at a time: after each drop Qt copies all the text kept into
    // fresh memory, and dropping at every read made a flood a fifth slower than keeping all.
    if (keep <= 0 || excess <= keep / 4)
        return {};
    // Whole rows, in an edit of their own: merged with the append, the change would span the
    // whole document, and Qt would drop the layout of every row kept.
    const QTextBlock first = doc->findBlockByNumber(excess);
    const TDropped dropped{first.position(), first.firstLineNumber()};
    QTextCursor cursor(doc);
    cursor.setPosition(dropped.Chars, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    return dropped;
}

void TChat::Restore(const TViewPlace &place, const TDropped &dropped)
{
    if (place.SelEnd > place.SelStart) {
        // Appending at the end of a selection would stretch it; dropped rows shift it, or
        // take it with them.
        const int selStart = std::max(0, place.SelStart - dropped.Chars);
        const int selEnd = std::max(selStart, place.SelEnd - dropped.Chars);
        const QTextCursor now = TextView->textCursor();
        if (now.selectionStart() != selStart || now.selectionEnd() != selEnd) {
            QTextCursor restore(TextView->document());
            restore.setPosition(selStart);
            restore.setPosition(selEnd, QTextCursor::KeepAnchor);
            TextView->setTextCursor(restore);
        }
    }
    // A view scrolled up stays on the same text while rows above it go.
    QScrollBar *bar = TextView->verticalScrollBar();
    bar->setValue(place.Follow ? bar->maximum() : std::max(0, place.Scrolled - dropped.Rows));
}

QTabWidget *TChat::PageControl() const
{
    for (QWidget *w = parentWidget(); w; w = w->parentWidget()) {
        if (auto *tabs = qobject_cast<QTabWidget *>(w))
            return tabs;
    }
    return nullptr;
}

bool TChat::IsActivePage() const
{
    const QTabWidget *tabs = PageControl();
    return tabs && tabs->currentWidget() == this;
}

void TChat::SetNewTextMark(bool on)
{
    SetActivity(on ? TActivity::Text : TActivity::None);
}

void TChat::SetActivity(TActivity activity)
{
    // New plain text never hides a mention the user has not seen yet.
    if (activity == TActivity::Text && m_activity == TActivity::Mention)
        return;
    m_activity = activity;
    QTabWidget *tabs = PageControl();
    if (!tabs)
        return;
    const int index = tabs->indexOf(this);
    if (index < 0)
        return;
    tabs->setTabIcon(index, activity == TActivity::Mention ? MentionIcon()
                            : activity == TActivity::Text  ? NewTextIcon()
                                                           : QIcon());
    tabs->tabBar()->setTabTextColor(index, activity == TActivity::Mention ? MentionTabText : QColor());
}

void TChat::WriteLog(const QString &nickPart, const QString &text)
{
    if (!ChatSettings::LogConversations()) {
        m_log.reset();
        return;
    }
    if (!m_log)
        m_log = std::make_unique<TConversationLog>(ChatLogFolder(), Name);
    if (m_log->Append(nickPart + text) || !m_log->TakeFailure())
        return;
    // Told once, from the event loop; the chat goes on without this log.
    const QString error = m_log->Error();
    QPointer<TfrmChat> form(m_form);
    QTimer::singleShot(0, form, [form, error] {
        if (form && !form->Released())
            form->AddChatLine(form->Misc(), QString(), QColor(255, 0, 0),
                              QStringLiteral("Unable to write the conversation log: ") + error);
    });
}
