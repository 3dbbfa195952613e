#pragma once

#include <QString>

#include <chrono>

class QWidget;

namespace hb::views {

// Says `text` to screen readers once, politely (after what they are saying),
// as an AT-SPI announcement from `source`. Nothing when no assistive
// technology listens.
void announce(QWidget* source, const QString& text);

// Announces `text` from `source` once it has stood for `settle` without
// another call (typing has paused), unless it is what `source` last announced.
// An empty text drops what is waiting and forgets what was last announced.
void announceWhenSettled(QWidget* source, const QString& text,
                         std::chrono::milliseconds settle = std::chrono::milliseconds(700));

} // namespace hb::views
