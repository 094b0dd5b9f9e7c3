#include "app/Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {
QPixmap Emblem(const QSize &size, const QColor &from, const QColor &to)
{
    QPixmap pixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, from);
    sky.setColorAt(1, to);
    p.fillRect(pixmap.rect(), sky);
    // A ring (the lobby) with a small ship crossing it.
    const QRectF ring(size.width() * 0.12, size.height() * 0.15, size.height() * 0.7, size.height() * 0.7);
    p.setPen(QPen(QColor(255, 200, 60), 4));
    p.drawEllipse(ring);
    QPainterPath ship;
    const QPointF c = ring.center();
    ship.moveTo(c + QPointF(ring.width() * 0.55, 0));
    ship.lineTo(c + QPointF(-ring.width() * 0.2, -ring.height() * 0.18));
    ship.lineTo(c + QPointF(-ring.width() * 0.05, 0));
    ship.lineTo(c + QPointF(-ring.width() * 0.2, ring.height() * 0.18));
    ship.closeSubpath();
    p.fillPath(ship, QColor(220, 230, 255));
    QFont font(QStringLiteral("Serif"));
    font.setBold(true);
    font.setPixelSize(std::max(10, size.height() / 4));
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(ring.right() + 4, 0, size.width() - ring.right() - 4, size.height()), Qt::AlignCenter,
               QStringLiteral("Orlo"));
    return pixmap;
}
} // namespace

QPixmap Artwork::BannerImage(const QSize &size)
{
    return Emblem(size, QColor(10, 20, 80), QColor(40, 90, 160));
}

QPixmap Artwork::AboutImage(const QSize &size)
{
    return Emblem(size, QColor(0, 0, 0), QColor(30, 30, 90));
}
