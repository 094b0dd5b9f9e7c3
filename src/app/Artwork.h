#pragma once

#include <QPixmap>

// Orlo's pictures, drawn at run time so no image file has to travel with the program.
namespace Artwork {
QPixmap BannerImage(const QSize &size);
QPixmap AboutImage(const QSize &size);
} // namespace Artwork
