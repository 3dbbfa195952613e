#pragma once

#include "popup/views/panel_style.h"

#include <QWidget>

#include <functional>

class QLabel;

namespace hb::views {

// The request for accessibility access, with the button that opens the settings.
class PermissionView : public QWidget {
    Q_OBJECT

public:
    explicit PermissionView(std::function<void()> grant, QWidget* parent = nullptr);
};

// A symbol and one line: no application, no shortcuts, nothing matching.
class MessageView : public QWidget {
    Q_OBJECT

public:
    MessageView(Glyph glyph, const QString& text, QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);

private:
    QLabel* label_ = nullptr;
};

} // namespace hb::views
