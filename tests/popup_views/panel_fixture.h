#pragma once

#include "fake/memory_settings_domain.h"
#include "popup/popup_filter_model.h"
#include "popup/popup_layout.h"
#include "popup/views/popup_window.h"
#include "settings/favourites_store.h"
#include "settings/ignore_list_store.h"
#include "settings/settings_keys.h"
#include "support/model_builders.h"
#include "support/qt_environment.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <memory>
#include <string>
#include <vector>

namespace hb::test {

// An editor's menus as a desktop text editor has them: about 35 rows in six
// menus with submenus and separators, one key used twice, a long
// right-to-left title, emoji and combining marks.
AppShortcuts editorApplication();

// What a showing of the list needs: settings, stores, the model laid out on a
// screen, and the window showing it. Events the window reports are recorded.
class PanelHarness {
public:
    PanelHarness();

    // Lays out `app` on a 1440 × 900 screen, shows it and sizes the window the
    // way the controller does.
    void show(AppShortcuts app, platform::Rect visibleFrame = {{0, 0}, {1440, 900}});

    PopupFilterModel& model() { return *model_; }
    views::PopupWindow& window() { return *window_; }
    // Releases the window, as the controller does after a hide.
    void releaseWindow() { window_.reset(); }
    views::FilterableShortcutsView& view() { return *window_->shortcutsView(); }

    const Shortcut& row(std::string_view title) const { return rowTitled(model_->app().sections, title); }

    fake::MemorySettingsDomain settings;
    FavouritesStore favourites{settings};
    IgnoreListStore ignoreList{settings};

    std::vector<platform::KeyEvent> keys;
    std::vector<std::string> activated;
    std::vector<std::size_t> options;
    bool keyDownConsumes = false;

private:
    std::shared_ptr<PopupFilterModel> model_;
    std::unique_ptr<views::PopupWindow> window_;
};

} // namespace hb::test
