#pragma once

// Pictures of windows for looking at them: a dark palette like the desktops'
// dark themes, and files kept in the folder HINTBOARD_SNAPSHOT_DIR names.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QImage>
#include <QPalette>
#include <QSet>
#include <QString>
#include <QWidget>

namespace hb::test {

inline QPalette darkPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2e));
    p.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    p.setColor(QPalette::Base, QColor(0x1f, 0x1f, 0x22));
    p.setColor(QPalette::AlternateBase, QColor(0x33, 0x33, 0x37));
    p.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3e));
    p.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    p.setColor(QPalette::Mid, QColor(0x50, 0x50, 0x50));
    p.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x6c, 0xb4, 0xff));
    p.setColor(QPalette::PlaceholderText, QColor(0x99, 0x99, 0x99));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    return p;
}

// Distinct colours on a grid of every third pixel: a drawn window has many.
inline int colourCount(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}

// Pixels that are not wholly transparent.
inline int inkedPixels(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int inked = 0;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            inked += qAlpha(argb.pixel(x, y)) > 0;
    return inked;
}

// Keeps the picture as <name>.png when HINTBOARD_SNAPSHOT_DIR names a folder.
inline void keepSnapshot(const QImage& image, const QString& name)
{
    const QString folder = qEnvironmentVariable("HINTBOARD_SNAPSHOT_DIR");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    const QString file = QDir(folder).filePath(name + ".png");
    EXPECT_TRUE(image.save(file)) << file.toStdString();
}

// The application palette, dark or light, for this object's lifetime; windows
// snapped meanwhile must be drawn and are kept as <name>-dark or <name>-light.
class PaletteSnapshots {
public:
    explicit PaletteSnapshots(bool dark) : dark_(dark), saved_(QApplication::palette())
    {
        if (dark)
            QApplication::setPalette(darkPalette());
    }
    ~PaletteSnapshots() { QApplication::setPalette(saved_); }
    PaletteSnapshots(const PaletteSnapshots&) = delete;
    PaletteSnapshots& operator=(const PaletteSnapshots&) = delete;

    void snap(QWidget& window, const QString& name) const
    {
        QApplication::processEvents();
        const QImage image = window.grab().toImage();
        EXPECT_GT(colourCount(image), 8) << name.toStdString();
        keepSnapshot(image, name + (dark_ ? "-dark" : "-light"));
    }

private:
    bool dark_;
    QPalette saved_;
};

} // namespace hb::test
