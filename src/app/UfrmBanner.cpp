#include "app/UfrmBanner.h"

#include "app/Artwork.h"
#include "settings/Registry.h"
#include "settings/StoreNames.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>

namespace {
constexpr QSize NoBorderSize(316, 96);
constexpr QSize DialogBorderSize(320, 120);
// The dialog frame adds about 8 by 27 pixels around the client area.
constexpr QSize DialogFrame(8, 27);
} // namespace

TfrmBanner::TfrmBanner(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmBanner"));
    setWindowTitle(QStringLiteral("Banner"));
    auto *image = new QLabel;
    image->setPixmap(Artwork::BannerImage(QSize(163, 93)));
    image->setFixedSize(163, 93);
    image->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *text = new QPlainTextEdit;
    text->setReadOnly(true);
    text->setFrameShape(QFrame::NoFrame);
    text->setFocusPolicy(Qt::NoFocus);
    text->setAttribute(Qt::WA_TransparentForMouseEvents);
    text->viewport()->setAttribute(Qt::WA_TransparentForMouseEvents);
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette palette = text->palette();
    palette.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
    palette.setColor(QPalette::Text, Qt::black);
    text->setPalette(palette);
    QFont font(QStringLiteral("Serif"));
    font.setStyleHint(QFont::Serif);
    font.setBold(true);
    text->setFont(font);
    text->setPlainText(QStringLiteral("Want your\nbanner here?\n\nmailto:\nads@orlo.example"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(image);
    layout->addWidget(text, 1);

    mnuBorder = new QAction(QStringLiteral("&Border"), this);
    mnuBorder->setObjectName(QStringLiteral("mnuBorder"));
    mnuBorder->setCheckable(true);
    mnuBorder->setChecked(true);
    connect(mnuBorder, &QAction::triggered, this, &TfrmBanner::mnuBorderClick);

    move(472, 143);
    resize(312, 93);
    StoreBannerPlacement(TStoreMode::smLoad);
    if (m_storedBorder != 0 && m_storedBorder != 3)
        m_storedBorder = 3;
    mnuBorder->setChecked(m_storedBorder != 0);
    ApplyBorder();
}

TfrmBanner::~TfrmBanner()
{
    StoreBannerPlacement(TStoreMode::smSave);
}

void TfrmBanner::StoreBannerPlacement(TStoreMode mode)
{
    using namespace StoreNames;
    try {
        TRegistry reg;
        reg.OpenKey(OrloKey(QLatin1String(KeyBannerWindow)));
        if (mode == TStoreMode::smSave) {
            reg.WriteInteger(QLatin1String(Top), y());
            reg.WriteInteger(QLatin1String(Left), x());
            reg.WriteInteger(QLatin1String(StoreNames::BorderStyle), this->BorderStyle());
            return;
        }
        QPoint p = pos();
        if (reg.ValueExists(QLatin1String(Top)))
            p.setY(reg.ReadInteger(QLatin1String(Top)));
        if (reg.ValueExists(QLatin1String(Left)))
            p.setX(reg.ReadInteger(QLatin1String(Left)));
        move(p);
        if (reg.ValueExists(QLatin1String(StoreNames::BorderStyle)))
            m_storedBorder = reg.ReadInteger(QLatin1String(StoreNames::BorderStyle));
    } catch (const EStoreError &) {
        // Reported once at start-up; the banner keeps its defaults.
    }
}

void TfrmBanner::ApplyBorder()
{
    const QPoint at = pos();
    const bool visible = isVisible();
    Qt::WindowFlags flags = Qt::Tool | Qt::WindowStaysOnTopHint;
    if (mnuBorder->isChecked())
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint; // a title, no buttons
    else
        flags |= Qt::FramelessWindowHint;
    setWindowFlags(flags);
    if (mnuBorder->isChecked())
        setFixedSize(DialogBorderSize - DialogFrame);
    else
        setFixedSize(NoBorderSize);
    move(at);
    if (visible)
        show();
}

void TfrmBanner::mnuBorderClick()
{
    // The action has toggled its own check mark already.
    ApplyBorder();
}

void TfrmBanner::KeepOnScreen()
{
    const QScreen *screen = this->screen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize outer = frameGeometry().size();
    QPoint p = pos();
    if (p.y() < 0)
        p.setY(0);
    if (p.x() < 0)
        p.setX(0);
    if (area.width() < p.x() + outer.width())
        p.setX(area.width() - outer.width());
    if (area.height() < p.y() + outer.height())
        p.setY(area.height() - outer.height());
    if (p != pos())
        move(p);
}

void TfrmBanner::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        KeepOnScreen();
    QWidget::changeEvent(event);
}

void TfrmBanner::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    menu.addAction(mnuBorder);
    menu.exec(event->globalPos());
}
