#include "talk/ChatWindow.h"

#include "talk/TalkKeys.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

TChatWindow::TChatWindow(QWidget *owner, const QByteArray &alias, bool initiator, quint16 port, const QString &host,
                         QTcpSocket *connection, TRandomByteSource random)
    : QFrame(owner), m_initiator(initiator), m_port(port), m_host(host)
{
    setObjectName(QStringLiteral("ChatWindow"));
    setMinimumHeight(StatusBarHeight + 8);
    resize(width(), PanelHeight);

    StatusBar = new QFrame(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setFixedHeight(StatusBarHeight);
    StatusBar->setFrameShape(QFrame::StyledPanel);
    StatusBar->setContextMenuPolicy(Qt::CustomContextMenu);
    SendTo = new QCheckBox(QStringLiteral("Send to"), StatusBar);
    SendTo->setObjectName(QStringLiteral("SendTo"));
    SendTo->setEnabled(false);
    SendTo->setChecked(false);
    lblCaption = new QLabel(QStringLiteral("Connecting..."), StatusBar);
    lblCaption->setObjectName(QStringLiteral("lblCaption"));
    lblCaption->setTextFormat(Qt::PlainText);
    auto *bar = new QHBoxLayout(StatusBar);
    bar->setContentsMargins(2, 0, 2, 0);
    bar->addWidget(SendTo);
    bar->addWidget(lblCaption, 1);

    Display = new QPlainTextEdit(this);
    Display->setObjectName(QStringLiteral("Display"));
    Display->setReadOnly(true);
    Display->setUndoRedoEnabled(false);
    Display->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The selection stays visible while the input has the focus.
    QPalette palette = Display->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    Display->setPalette(palette);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(StatusBar);
    layout->addWidget(Display, 1);

    connect(StatusBar, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { emit StatusBarMenuRequested(this, StatusBar->mapToGlobal(pos)); });

    m_connection = new TTalkConnection(connection, alias, *this, std::move(random), this);
    connect(m_connection, &TTalkConnection::Ended, this,
            [this](TTalkConnection::TEnd end, const QString &message) { emit Ended(this, end, message); });
}

TChatWindow::~TChatWindow()
{
    Shutdown();
}

void TChatWindow::Start()
{
    if (m_initiator)
        m_connection->ConnectTo(m_host, m_port);
    else
        m_connection->Start();
}

void TChatWindow::SendToPeer(const QByteArray &bytes)
{
    if (SendTo->isChecked())
        m_connection->Send(bytes);
}

bool TChatWindow::SendBeep()
{
    if (!m_connection->KeyExchanged())
        return false;
    m_connection->Send(TalkKeys::BeepPair());
    return true;
}

void TChatWindow::Disconnect()
{
    m_connection->Disconnect();
}

void TChatWindow::Shutdown()
{
    m_connection->Shutdown();
}

namespace {
// A peer line longer than this shows in pieces: one block of a quarter million characters
// makes every key lay all of it out again, which freezes the window.
constexpr int MaxBlockChars = 2000;
// Lines kept, so that a peer sending line breaks cannot fill the memory either.
constexpr int MaxDisplayBlocks = 8192;
// The state of a block that continues the peer's line above it.
constexpr int SoftBreak = 1;

// Takes Count units off the end: a unit is a character or a line break the peer typed; the
// breaks between the pieces of one long line are no units.
void EraseUnits(QTextCursor &cursor, qsizetype count)
{
    cursor.movePosition(QTextCursor::End);
    while (count > 0 && !cursor.atStart()) {
        const int inBlock = cursor.positionInBlock();
        if (inBlock == 0) {
            const bool soft = cursor.block().userState() == SoftBreak;
            cursor.deletePreviousChar();
            count -= soft ? 0 : 1;
            continue;
        }
        const int take = int(std::min<qsizetype>(count, inBlock));
        cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor, take);
        cursor.removeSelectedText();
        count -= take;
    }
}

void AppendText(QTextCursor &cursor, const QString &text, const QTextCharFormat &format)
{
    cursor.movePosition(QTextCursor::End);
    for (qsizetype from = 0; from <= text.size();) {
        const qsizetype newline = text.indexOf(QLatin1Char('\n'), from);
        const qsizetype end = newline < 0 ? text.size() : newline;
        for (qsizetype at = from; at < end;) {
            if (cursor.positionInBlock() >= MaxBlockChars) {
                cursor.insertBlock();
                cursor.block().setUserState(SoftBreak);
            }
            const qsizetype piece = std::min<qsizetype>(MaxBlockChars - cursor.positionInBlock(), end - at);
            cursor.insertText(text.mid(at, piece), format);
            at += piece;
        }
        if (newline < 0)
            break;
        cursor.insertBlock();
        cursor.block().setUserState(-1);
        from = newline + 1;
    }
}

// Removes Count characters from the start, whole oldest lines first when there are too many.
int TrimFront(QTextDocument *document, QTextCursor &cursor)
{
    int count = document->characterCount() - 1 - int(TalkText::MaxDisplayChars);
    if (document->blockCount() > MaxDisplayBlocks + MaxDisplayBlocks / 8)
        count = std::max(count, document->findBlockByNumber(document->blockCount() - MaxDisplayBlocks).position());
    if (count <= 0)
        return 0;
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor, count);
    cursor.removeSelectedText();
    return count;
}
} // namespace

void TChatWindow::ApplyEdit(const TTalkEdit &edit)
{
    QTextCursor view = Display->textCursor();
    int selectionStart = view.selectionStart();
    int selectionEnd = view.selectionEnd();

    QTextDocument *document = Display->document();
    QTextCursor cursor(document);
    QTextCharFormat black;
    black.setForeground(Qt::black);
    cursor.beginEditBlock();
    if (edit.erase > 0)
        EraseUnits(cursor, edit.erase);
    if (!edit.append.isEmpty())
        AppendText(cursor, edit.append, black);
    // The selection stays on its text while the oldest text goes.
    const int trimmed = TrimFront(document, cursor);
    cursor.endEditBlock();
    selectionStart -= trimmed;
    selectionEnd -= trimmed;

    QTextCursor end(document);
    end.movePosition(QTextCursor::End);
    Display->setTextCursor(end);
    if (selectionEnd > selectionStart && selectionStart >= 0) {
        const int last = document->characterCount() - 1;
        QTextCursor selection(document);
        selection.setPosition(std::min(selectionStart, last));
        selection.setPosition(std::min(selectionEnd, last), QTextCursor::KeepAnchor);
        Display->setTextCursor(selection);
    }
    // One sound for a read, however many beeps it held: a burst must not hang the window.
    if (edit.beeps > 0) {
        QApplication::beep();
        emit BeepSounded();
    }
    emit EditApplied();
}

void TChatWindow::ShowPeerName(const QString &name)
{
    lblCaption->setText(name);
}

void TChatWindow::KeyExchanged()
{
    SendTo->setEnabled(true);
    SendTo->setChecked(true);
}
