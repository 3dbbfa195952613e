// Renders the panel's views to PNG files for a look at them. The pictures are
// written when HINTBOARD_SNAPSHOT_DIR names a folder; without it the views are
// still rendered and checked for being drawn at all.
#include "panel_fixture.h"

#include "popup/views/filterable_shortcuts_view.h"
#include "support/snapshots.h"

#include <QImage>
#include <QPalette>
#include <QPixmap>

using namespace hb;

namespace {

class PanelSnapshots : public testing::TestWithParam<bool> {
protected:
    void snap(QWidget& window, const QString& name) { palette.snap(window, name); }

    test::PaletteSnapshots palette{GetParam()};
};

TEST_P(PanelSnapshots, ListOverlayAndMessages)
{
    test::PanelHarness harness;
    harness.favourites.toggle(Shortcut{.title = "Save", .keys = "⌃S"}, "org.xfce.mousepad");
    harness.show(test::editorApplication());
    harness.model().selectNext();
    harness.model().selectNext();
    snap(harness.window(), "list");

    harness.model().setQuery("find");
    snap(harness.window(), "list-filtered");
    harness.model().setQuery("");

    DisambiguationState state;
    state.shortcuts = {harness.row("Close Tab")};
    state.appName = "Mousepad";
    state.hintboardAction = HintboardAction{"Close Hintboard Popup", "Tip: press Esc to dismiss the popup", {}};
    harness.model().setDisambiguation(state);
    snap(harness.window(), "overlay");
    harness.model().setDisambiguation(std::nullopt);

    harness.window().showPermissionRequest();
    harness.window().resize(420, 300);
    snap(harness.window(), "permission");

    harness.window().showNoApp();
    harness.window().resize(360, 200);
    snap(harness.window(), "no-app");

    harness.window().showNoShortcuts("Mousepad");
    harness.window().resize(380, 200);
    snap(harness.window(), "no-shortcuts");
}

TEST_P(PanelSnapshots, ListInSymbols)
{
    test::PanelHarness harness;
    harness.settings.set(keys::keyLabels, "symbols");
    harness.show(test::editorApplication());
    harness.model().toggleModifier("⌃");
    snap(harness.window(), "list-symbols");
}

TEST_P(PanelSnapshots, NarrowPanelWithTheNudge)
{
    test::PanelHarness harness;
    harness.settings.set(keys::popupTipIndex, 3);
    harness.settings.set(keys::popupOpenCount, 10);
    auto app = test::editorApplication();
    app.sections.resize(3);
    harness.show(std::move(app), {{0, 0}, {560, 900}});
    ASSERT_EQ(harness.model().columns().size(), 1u);
    EXPECT_TRUE(std::holds_alternative<PopupNudge>(harness.view().shownBanner()));
    harness.model().toggleModifier("⌃");
    snap(harness.window(), "narrow");
}

TEST_P(PanelSnapshots, LongListScrolls)
{
    test::PanelHarness harness;
    harness.settings.set(keys::popupTipIndex, 3);
    harness.show(test::largeApplication(2000), {{0, 0}, {1280, 720}});
    EXPECT_FALSE(harness.model().fitsWithoutScrolling());
    snap(harness.window(), "long-list");
}

INSTANTIATE_TEST_SUITE_P(Palettes, PanelSnapshots, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "dark" : "light"; });

} // namespace
