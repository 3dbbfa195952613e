#include "popup/views/panel_style.h"

#include <QCoreApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPixmapCache>
#include <QtMath>

#include <cmath>
#include <functional>

namespace hb::views {
namespace {

QPainterPath starPath(const QRectF& r)
{
    QPainterPath path;
    const QPointF c = r.center();
    const double outer = std::min(r.width(), r.height()) / 2;
    const double inner = outer * 0.45;
    for (int i = 0; i < 10; ++i) {
        const double radius = i % 2 ? inner : outer;
        const double angle = -M_PI / 2 + i * M_PI / 5;
        const QPointF p(c.x() + radius * std::cos(angle), c.y() + 0.08 * outer + radius * std::sin(angle));
        if (i == 0)
            path.moveTo(p);
        else
            path.lineTo(p);
    }
    path.closeSubpath();
    return path;
}

double luminance(const QColor& c)
{
    return 0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF();
}

// Icons kept by what they show, so that the popup's views, made anew for
// every opening, reuse them: Qt caches the pixmaps an icon hands out under
// the identity of the icon's own pixmap, and new icons each time would add
// to that cache with every opening. A theme icon follows theme changes itself.
QIcon keptIcon(const QString& key, const std::function<QIcon()>& make)
{
    static QHash<QString, QIcon> kept;
    // Emptied with the application: no pixmap may outlive it.
    static const bool clearedAtExit = [] {
        qAddPostRoutine([] { kept.clear(); });
        return true;
    }();
    Q_UNUSED(clearedAtExit);
    if (const auto found = kept.constFind(key); found != kept.cend())
        return *found;
    // A bound for themes and colours that change while the program runs.
    constexpr qsizetype maximumKept = 64;
    if (kept.size() >= maximumKept)
        kept.clear();
    const QIcon icon = make();
    kept.insert(key, icon);
    return icon;
}

} // namespace

void paintGlyph(QPainter& p, Glyph glyph, const QRectF& rect, const QColor& color)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const double s = std::min(rect.width(), rect.height());
    const QRectF r(rect.center().x() - s / 2, rect.center().y() - s / 2, s, s);
    const double w = std::max(1.2, s / 11);
    QPen pen(color, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const auto at = [&](double x, double y) { return QPointF(r.left() + x * s, r.top() + y * s); };

    switch (glyph) {
    case Glyph::gear: {
        const QPointF c = r.center();
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        QPainterPath gear;
        for (int i = 0; i < 8; ++i) {
            const double a = i * M_PI / 4;
            QPainterPath tooth;
            tooth.addRect(QRectF(-s * 0.09, -s * 0.48, s * 0.18, s * 0.2));
            QTransform t;
            t.translate(c.x(), c.y());
            t.rotateRadians(a);
            gear.addPath(t.map(tooth));
        }
        gear.addEllipse(c, s * 0.33, s * 0.33);
        QPainterPath hole;
        hole.addEllipse(c, s * 0.13, s * 0.13);
        p.drawPath(gear.simplified().subtracted(hole));
        break;
    }
    case Glyph::magnifier:
        p.drawEllipse(QRectF(at(0.12, 0.12), at(0.68, 0.68)));
        p.drawLine(at(0.62, 0.62), at(0.88, 0.88));
        break;
    case Glyph::share:
        p.drawPolyline(
            QPolygonF{at(0.32, 0.42), at(0.18, 0.42), at(0.18, 0.9), at(0.82, 0.9), at(0.82, 0.42), at(0.68, 0.42)});
        p.drawLine(at(0.5, 0.08), at(0.5, 0.62));
        p.drawPolyline(QPolygonF{at(0.32, 0.26), at(0.5, 0.08), at(0.68, 0.26)});
        break;
    case Glyph::star:
        p.drawPath(starPath(r.adjusted(w, w, -w, -w)));
        break;
    case Glyph::starFilled:
        p.setBrush(color);
        p.drawPath(starPath(r.adjusted(w, w, -w, -w)));
        break;
    case Glyph::clear: {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        QPainterPath disc;
        disc.addEllipse(r.adjusted(s * 0.06, s * 0.06, -s * 0.06, -s * 0.06));
        QPainterPath cross;
        QPainterPathStroker stroker;
        stroker.setWidth(w * 1.2);
        stroker.setCapStyle(Qt::RoundCap);
        QPainterPath lines;
        lines.moveTo(at(0.34, 0.34));
        lines.lineTo(at(0.66, 0.66));
        lines.moveTo(at(0.66, 0.34));
        lines.lineTo(at(0.34, 0.66));
        p.drawPath(disc.subtracted(stroker.createStroke(lines)));
        break;
    }
    case Glyph::close:
        p.drawLine(at(0.25, 0.25), at(0.75, 0.75));
        p.drawLine(at(0.75, 0.25), at(0.25, 0.75));
        break;
    case Glyph::lightbulb:
        p.drawEllipse(QRectF(at(0.22, 0.06), at(0.78, 0.62)));
        p.drawLine(at(0.38, 0.74), at(0.62, 0.74));
        p.drawLine(at(0.42, 0.88), at(0.58, 0.88));
        break;
    case Glyph::warning: {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        QPainterPath tri;
        tri.moveTo(at(0.5, 0.06));
        tri.lineTo(at(0.96, 0.9));
        tri.lineTo(at(0.04, 0.9));
        tri.closeSubpath();
        QPainterPath mark;
        mark.addRoundedRect(QRectF(at(0.44, 0.32), at(0.56, 0.62)), s * 0.05, s * 0.05);
        mark.addEllipse(QRectF(at(0.44, 0.68), at(0.56, 0.8)));
        p.drawPath(tri.subtracted(mark));
        break;
    }
    case Glyph::keyboard: {
        p.drawRoundedRect(QRectF(at(0.04, 0.22), at(0.96, 0.78)), s * 0.08, s * 0.08);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 5; ++col)
                p.drawRect(QRectF(at(0.14 + col * 0.155, 0.32 + row * 0.14), QSizeF(s * 0.08, s * 0.08)));
        p.drawRect(QRectF(at(0.26, 0.62), at(0.74, 0.68)));
        break;
    }
    case Glyph::appDashed: {
        pen.setStyle(Qt::DashLine);
        pen.setDashPattern({2.5, 2});
        p.setPen(pen);
        p.drawRoundedRect(QRectF(at(0.1, 0.1), at(0.9, 0.9)), s * 0.2, s * 0.2);
        break;
    }
    case Glyph::accessibility: {
        p.drawEllipse(QRectF(at(0.04, 0.04), at(0.96, 0.96)));
        p.setBrush(color);
        p.drawEllipse(QRectF(at(0.44, 0.18), at(0.56, 0.3)));
        p.setBrush(Qt::NoBrush);
        p.drawLine(at(0.26, 0.4), at(0.74, 0.4));
        p.drawLine(at(0.5, 0.4), at(0.5, 0.6));
        p.drawPolyline(QPolygonF{at(0.36, 0.82), at(0.5, 0.6), at(0.64, 0.82)});
        break;
    }
    case Glyph::arrowRight:
        p.drawEllipse(QRectF(at(0.06, 0.06), at(0.94, 0.94)));
        p.drawLine(at(0.28, 0.5), at(0.7, 0.5));
        p.drawPolyline(QPolygonF{at(0.54, 0.34), at(0.7, 0.5), at(0.54, 0.66)});
        break;
    }
    p.restore();
}

void paintCachedGlyph(QPainter& painter, Glyph glyph, const QRectF& rect, const QColor& color)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize size = rect.size().toSize();
    const QString key = QStringLiteral("hb-glyph-%1-%2x%3-%4-%5")
                            .arg(int(glyph))
                            .arg(size.width())
                            .arg(size.height())
                            .arg(color.rgba(), 0, 16)
                            .arg(ratio);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = QPixmap(size * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter glyphPainter(&pixmap);
        paintGlyph(glyphPainter, glyph, QRectF(QPointF(), QSizeF(size)), color);
        glyphPainter.end();
        QPixmapCache::insert(key, pixmap);
    }
    painter.drawPixmap(QPointF(rect.left(), rect.top()), pixmap);
}

QIcon glyphIcon(Glyph glyph, const QColor& color, int size)
{
    const QString key = QStringLiteral("glyph-%1-%2-%3").arg(int(glyph)).arg(color.rgba(), 0, 16).arg(size);
    return keptIcon(key, [&] {
        QIcon icon;
        for (const qreal ratio : {1.0, 2.0}) {
            QPixmap pixmap(QSize(size, size) * ratio);
            pixmap.setDevicePixelRatio(ratio);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            paintGlyph(painter, glyph, QRectF(0, 0, size, size), color);
            painter.end();
            icon.addPixmap(pixmap);
        }
        return icon;
    });
}

QIcon themedIcon(std::initializer_list<const char*> names, Glyph fallback, const QColor& color, int size)
{
    QString key = QStringLiteral("themed-%1-%2-%3").arg(int(fallback)).arg(color.rgba(), 0, 16).arg(size);
    for (const char* name : names)
        key += QLatin1Char('-') + QString::fromUtf8(name);
    return keptIcon(key, [&] {
        for (const char* name : names) {
            const QIcon icon = QIcon::fromTheme(QString::fromUtf8(name));
            // Without an image plugin for the theme's files an icon may be found but not draw.
            if (!icon.isNull() && !icon.pixmap(size).isNull())
                return icon;
        }
        return glyphIcon(fallback, color, size);
    });
}

QColor toQColor(const RgbColor& color)
{
    return QColor::fromRgbF(float(color.red), float(color.green), float(color.blue), float(color.alpha));
}

RgbColor paletteAccentColor(const QPalette& palette)
{
    const QColor c = palette.color(QPalette::Active, QPalette::Highlight).toRgb();
    return {c.redF(), c.greenF(), c.blueF(), c.alphaF()};
}

bool isDark(const QPalette& palette)
{
    return luminance(palette.color(QPalette::Window)) < 0.5;
}

QColor secondaryTextColor(const QPalette& palette)
{
    QColor text = palette.color(QPalette::WindowText);
    text.setAlphaF(0.62f);
    return text;
}

QColor panelBackgroundColor(const QPalette& palette)
{
    return palette.color(QPalette::Window);
}

QColor panelBorderColor(const QPalette& palette)
{
    return isDark(palette) ? QColor(255, 255, 255, 48) : QColor(0, 0, 0, 56);
}

QColor readableKeyColor(const QColor& accent, const QPalette& palette)
{
    QColor color = accent.toHsl();
    const bool dark = isDark(palette);
    // Keep the hue; move the lightness until the contrast with the panel is comfortable.
    for (int step = 0; step < 12; ++step) {
        const double l = luminance(color);
        if (dark ? l >= 0.42 : l <= 0.32)
            break;
        color = dark ? color.lighter(112) : color.darker(112);
    }
    color.setAlphaF(1.0f);
    return color.toRgb();
}

} // namespace hb::views
