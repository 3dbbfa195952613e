#include "popup/views/symbol_icons.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QString>
#include <QSvgRenderer>

#include <array>
#include <utility>

namespace hb::views {
namespace {

// Symbol names and the freedesktop icon names that stand for them, best first.
// Symbols without a fitting freedesktop name are always the shipped ones.
struct ThemeNames {
    std::string_view symbol;
    std::array<const char*, 2> names;
};
constexpr ThemeNames themeNames[] = {
    {"gearshape", {"preferences-system", nullptr}},
    {"star", {"non-starred", nullptr}},
    {"star.fill", {"starred", nullptr}},
    {"keyboard", {"input-keyboard", nullptr}},
    {"keyboard.fill", {"input-keyboard", nullptr}},
    {"magnifyingglass", {"edit-find", "system-search"}},
    {"lock.fill", {"changes-prevent", "system-lock-screen"}},
    {"lock.open.fill", {"changes-allow", nullptr}},
    {"play.circle", {"media-playback-start", nullptr}},
    {"chevron.left", {"go-previous", nullptr}},
    {"minus.circle.fill", {"list-remove", nullptr}},
    {"plus", {"list-add", nullptr}},
};

QString shippedPath(std::string_view symbol)
{
    return QStringLiteral(":/symbols/") + QString::fromUtf8(symbol.data(), qsizetype(symbol.size()))
           + QStringLiteral(".svg");
}

// Whether a theme icon draws: without an image plugin for the theme's files
// an icon may be found and still come out empty.
bool draws(const QIcon& icon, int size)
{
    return !icon.isNull() && !icon.pixmap(size).isNull();
}

QPixmap tinted(QSvgRenderer& renderer, const QColor& tint, int size, qreal ratio)
{
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(0, 0, size, size), tint);
    return pixmap;
}

} // namespace

bool hasShippedSymbol(std::string_view symbol)
{
    return QFile::exists(shippedPath(symbol));
}

QIcon shippedSymbolIcon(std::string_view symbol, const QColor& tint, int size)
{
    QSvgRenderer renderer(hasShippedSymbol(symbol) ? shippedPath(symbol) : shippedPath("questionmark"));
    QIcon icon;
    for (const qreal ratio : {1.0, 2.0})
        icon.addPixmap(tinted(renderer, tint, size, ratio));
    return icon;
}

QIcon symbolIcon(std::string_view symbol, const QColor& tint, int size)
{
    for (const auto& entry : themeNames) {
        if (entry.symbol != symbol)
            continue;
        for (const char* name : entry.names) {
            if (!name)
                break;
            const QIcon icon = QIcon::fromTheme(QString::fromLatin1(name));
            if (draws(icon, size))
                return icon;
        }
    }
    return shippedSymbolIcon(symbol, tint, size);
}

} // namespace hb::views
