// The dialog's own editing rules, and its buttons.
#include "base/Tick.h"
#include "settings/ConfigText.h"
#include "settings/FilterPair.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QCloseEvent>
#include <QDir>
#include <QFocusEvent>

namespace {
// Focus that moves to another window or to a context menu does not leave the field: the
// user comes back to it with the text as it was.
bool LeavesField(const QFocusEvent *event)
{
    return event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason;
}
} // namespace

void TfrmConfig::WireRules()
{
    connect(btnOk, &QPushButton::clicked, this, &TfrmConfig::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmConfig::btnCancelClick);
    connect(btnNewRandomSeed, &QPushButton::clicked, this, &TfrmConfig::NewRandomSeed);

    memChatAlias->installEventFilter(this);
    memChatFriends->installEventFilter(this);
    edtDescentPath->installEventFilter(this);

    connect(speChatAway, &QSpinBox::valueChanged, this, &TfrmConfig::speChatAwayChange);
    connect(cbxChatAway, &QCheckBox::toggled, this, [this] { AwaySince = TickCount(); });
    // Lines the program changes (a friend added from a chat window) count at once; typed
    // lines count when the user leaves the memo.
    connect(memChatFriends, &QPlainTextEdit::textChanged, this, [this] {
        if (!memChatFriends->hasFocus())
            ApplyFriendsList();
    });
    // The chat windows place their tabs by the text the box shows, so every change of it counts.
    connect(cmbChatChannelTabsPos, &QComboBox::editTextChanged, this, &TfrmConfig::TabsPositionChanged);

    new TFilterPair(cmbServersFilterGameTypes, lbxServersFilterGameType, this);
    new TFilterPair(cmbServersFilterMode, lbxServersFilterMode, this);
    new TFilterPair(cmbServersFilterLevel, lbxServersFilterLevel, this);

    connect(btnLoginAdd, &QPushButton::clicked, this, &TfrmConfig::btnLoginAddClick);
    connect(btnLoginRemove, &QPushButton::clicked, this, &TfrmConfig::btnLoginRemoveClick);
}

bool TfrmConfig::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        // The friends memo counts on every focus loss: the window losing the focus as well.
        if (watched == memChatFriends)
            ApplyFriendsList();
        else if (LeavesField(static_cast<QFocusEvent *>(event)))
            FieldLeft(watched);
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmConfig::FieldLeft(QObject *field)
{
    if (field == memChatAlias) {
        // The warning waits until the focus has settled in its new field.
        if (!m_aliasCheckPending) {
            m_aliasCheckPending = true;
            QMetaObject::invokeMethod(this, &TfrmConfig::memChatAliasExit, Qt::QueuedConnection);
        }
    } else if (field == edtDescentPath) {
        edtDescentPathExit();
    } else if (auto *spin = qobject_cast<TSpinEdit *>(field)) {
        spin->SetValue(spin->Value());
    }
}

void TfrmConfig::memChatAliasExit()
{
    m_aliasCheckPending = false;
    if (ConfigText::HasEqualAliases(MemoLines(memChatAlias)))
        MessageBox::Warning(this, QStringLiteral("Two aliases are equal!"));
}

void TfrmConfig::speChatAwayChange()
{
    lblChatAway->setText(ConfigText::AwayMessage(MemoLines(memChatAway), speChatAway->value()));
}

void TfrmConfig::ApplyFriendsList()
{
    emit FriendsChanged();
}

void TfrmConfig::edtDescentPathExit()
{
    const QString trimmed = ConfigText::TrimPathEnd(edtDescentPath->text(), QDir::separator() == QLatin1Char('/'));
    if (trimmed != edtDescentPath->text())
        edtDescentPath->setText(trimmed);
}

void TfrmConfig::closeEvent(QCloseEvent *event)
{
    // The close box only hides: edits stay in force until the next save. The field being
    // edited is left as if the user had tabbed out of it.
    event->ignore();
    FieldLeft(focusWidget());
    hide();
}

void TfrmConfig::ShowStoreError(const QString &message, const QString &location, const QString &consequence)
{
    MessageBox::Error(this, QStringLiteral("%1\n\nSettings: %2\n\n%3").arg(message, location, consequence));
}

void TfrmConfig::btnOkClick()
{
    try {
        SaveAll();
    } catch (const EStoreError &e) {
        ShowStoreError(e.Message(), e.Location(),
                       QStringLiteral("Your settings stay in force but are not saved. Press Ok to try again."));
        return;
    }
    const TSettingsStore &store = ActiveStore();
    if (store.WritesDisabled()) {
        ShowStoreError(store.FirstError(), store.Location(),
                       QStringLiteral("Because of this error Orlo does not write its settings during this run. "
                                      "Your settings stay in force until Orlo ends."));
    }
    hide();
}

void TfrmConfig::btnCancelClick()
{
    try {
        LoadAll();
    } catch (const EStoreError &e) {
        ShowStoreError(e.Message(), e.Location(),
                       QStringLiteral("The settings from this value on could not be restored."));
        return;
    }
    hide();
}
