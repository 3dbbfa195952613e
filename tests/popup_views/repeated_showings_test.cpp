#include "panel_fixture.h"

#include "popup/views/filterable_shortcuts_view.h"
#include "popup/views/message_views.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>

#include <set>

using namespace hb;

namespace {

// The identities of the pixmaps that the widget's labels and actions draw.
std::set<qint64> drawnPixmaps(const QWidget& widget)
{
    std::set<qint64> keys;
    for (const auto* label : widget.findChildren<QLabel*>())
        if (!label->pixmap().isNull())
            keys.insert(label->pixmap().cacheKey());
    for (const auto* action : widget.findChildren<QAction*>())
        if (!action->icon().isNull())
            keys.insert(action->icon().pixmap(16).cacheKey());
    return keys;
}

// Every opening makes the views anew. Qt keeps the pixmaps that icons hand out
// in its pixmap cache under each pixmap's identity, so views that drew new
// pixmaps every time would make the program grow with every opening.
TEST(RepeatedShowings, DrawTheSamePixmapsEveryTime)
{
    test::PanelHarness first;
    first.show(test::editorApplication());
    test::PanelHarness second;
    second.show(test::editorApplication());
    const auto drawn = drawnPixmaps(first.window());
    EXPECT_FALSE(drawn.empty());
    EXPECT_EQ(drawnPixmaps(second.window()), drawn);

    const views::MessageView message(views::Glyph::keyboard, QStringLiteral("No keyboard shortcuts found for A"));
    const views::MessageView again(views::Glyph::keyboard, QStringLiteral("No keyboard shortcuts found for B"));
    EXPECT_EQ(drawnPixmaps(again), drawnPixmaps(message));
}

} // namespace
