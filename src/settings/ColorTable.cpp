#include "settings/ColorTable.h"

#include <array>

namespace {
struct Entry
{
    const char *name;
    unsigned rgb;
};
constexpr std::array<Entry, ColorTable::Count> Entries{{
    {"Aqua", 0x00FFFF},
    {"White", 0xFFFFFF},
    {"Black", 0x000000},
    {"Blue", 0x0000FF},
    {"Dark gray", 0x808080},
    {"Fuchsia", 0xFF00FF},
    {"Gray", 0x808080},
    {"Green", 0x008000},
    {"Light gray", 0xC0C0C0},
    {"Lime", 0x00FF00},
    {"Maroon", 0x800000},
    {"Navy", 0x000080},
    {"Olive", 0x808000},
    {"Purple", 0x800080},
    {"Red", 0xFF0000},
    {"Silver", 0xC0C0C0},
    {"Teal", 0x008080},
    {"Yellow", 0xFFFF00},
}};
} // namespace

const QStringList &ColorTable::Names()
{
    static const QStringList names = [] {
        QStringList list;
        for (const Entry &e : Entries)
            list << QString::fromLatin1(e.name);
        return list;
    }();
    return names;
}

QColor ColorTable::Color(int index, const QColor &fallback)
{
    if (index < 0 || index >= Count)
        return fallback;
    return QColor::fromRgb(Entries[static_cast<size_t>(index)].rgb);
}
