#pragma once

#include "popup/views/panel_style.h"

#include <QAbstractButton>

#include <optional>

namespace hb::views {

// A small rounded button of the panel's header: a glyph, an icon or a short
// text; drawn filled while checked. It never takes the keyboard focus, so
// typing stays in the search field.
class ChipButton : public QAbstractButton {
    Q_OBJECT

public:
    ChipButton(QString text, QWidget* parent = nullptr);
    ChipButton(Glyph glyph, QWidget* parent = nullptr);
    ChipButton(QIcon icon, QWidget* parent = nullptr);

    // The glyph shown while checked, when it differs.
    void setCheckedGlyph(Glyph glyph) { checkedGlyph_ = glyph; }
    void setGlyphColor(std::optional<QColor> color)
    {
        glyphColor_ = color;
        update();
    }
    // Drawn like a checked button without being one (a held modifier key).
    void setEmphasised(bool emphasised);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setUp();

    std::optional<Glyph> glyph_;
    std::optional<Glyph> checkedGlyph_;
    std::optional<QColor> glyphColor_;
    bool hovered_ = false;
    bool emphasised_ = false;
};

} // namespace hb::views
