#pragma once

#include "app/views/settings_window.h"
#include "fake/fake_workspace.h"
#include "popup/views/panel_style.h"
#include "settings/favourites_store.h"
#include "support/settings_model_fakes.h"

#include <QAbstractButton>
#include <QApplication>

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace hb::test {

namespace fs = std::filesystem;

// Dialogs that answer at once: each alert is recorded and answered from
// `answers` (else with its cancel button, else the first); choosers give the
// prepared answer.
class FakeSettingsDialogs final : public views::SettingsDialogs {
public:
    int alert(QWidget*, const views::Alert& request) override
    {
        alerts.push_back(request);
        if (!answers.empty()) {
            const QString answer = answers.front();
            answers.pop_front();
            return int(request.buttons.indexOf(answer));
        }
        return std::max(request.cancelButton, 0);
    }
    std::optional<fs::path> chooseExportFile(QWidget*) override { return exportFile; }
    std::optional<fs::path> chooseImportFile(QWidget*) override { return importFile; }
    std::optional<fs::path> chooseSyncFolder(QWidget*, const fs::path&) override { return syncFolder; }
    std::optional<QColor> chooseColor(QWidget*, const QColor&) override { return color; }

    std::vector<views::Alert> alerts;
    std::deque<QString> answers; // button texts, in order
    std::optional<fs::path> exportFile, importFile, syncFolder;
    std::optional<QColor> color;
};

class SettingsWindowFixture : public testing::Test, public SettingsModelFakes {
protected:
    views::SettingsWindowServices services()
    {
        return views::SettingsWindowServices{
            .model = modelServices(),
            .ignoreList = ignoreList,
            .theme = theme,
            .backup = backup,
            .dockIcon = dockIcon,
            .workspace = workspace,
            .useSyncedSettings = [this] { actions.emplace_back("use synced"); },
            .keepLocalSettings = [this] { actions.emplace_back("keep local"); },
            .clearSyncedSettings = [this] { actions.emplace_back("clear"); },
            .relaunch = [this] { actions.emplace_back("relaunch"); },
            .dialogs = dialogs,
        };
    }

    // The button of `window` on show (on the selected tab, in an open sheet)
    // whose text or accessible name is `text`.
    template <typename Button = QAbstractButton>
    static Button* button(QWidget& window, const QString& text)
    {
        for (auto* candidate : window.findChildren<Button*>())
            if ((candidate->text() == text || candidate->accessibleName() == text) && candidate->isVisibleTo(&window))
                return candidate;
        ADD_FAILURE() << "no button " << text.toStdString();
        return nullptr;
    }

    FavouritesStore favourites{settings};
    IgnoreListStore ignoreList{settings};
    ThemeSettings theme{settings, [] { return views::paletteAccentColor(QApplication::palette()); }};
    SettingsBackup backup{{settings, runtime, favourites, ignoreList, theme, presence, notifications, log, "1.0"}};
    DockIconManager dockIcon{presence, settings};
    fake::FakeWorkspace workspace;
    std::shared_ptr<FakeSettingsDialogs> dialogs = std::make_shared<FakeSettingsDialogs>();
    std::vector<std::string> actions; // the sync choices and relaunches made
};

} // namespace hb::test
