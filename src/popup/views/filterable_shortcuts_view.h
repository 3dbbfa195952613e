#pragma once

#include "popup/popup_filter_model.h"
#include "popup/popup_tips.h"
#include "popup/views/panel_context.h"

#include <QWidget>

#include <array>

class QLabel;
class QLineEdit;
class QAction;
class QScrollArea;
class QHBoxLayout;

namespace hb::views {

class ChipButton;
class DisambiguationOverlay;
class MessageView;
class ShortcutColumnsView;

// The shortcut list: a header with the application, the count, export and
// settings, the search field with the modifier and favourites toggles, the
// tip or nudge banner, and the columns, scrolling when they do not fit; the
// disambiguation overlay lies over all of it while a choice is open.
class FilterableShortcutsView : public QWidget {
    Q_OBJECT

public:
    FilterableShortcutsView(std::shared_ptr<PopupFilterModel> model, PanelContext& context, QWidget* parent = nullptr);
    ~FilterableShortcutsView() override;

    // Stops observing the model and the theme; the view is about to go.
    void detach();

    // The height needed at `width` with nothing scrolled away.
    double fittingHeight(double width);

    QLineEdit* searchField() const { return search_; }
    ShortcutColumnsView* columnsView() const { return columns_; }
    QScrollArea* scrollArea() const { return scroll_; }
    DisambiguationOverlay* overlay() const { return overlay_; }
    ChipButton* exportButton() const { return export_; }
    ChipButton* settingsButton() const { return settings_; }
    ChipButton* favouritesToggle() const { return favourites_; }
    ChipButton* modifierToggle(std::size_t index) const { return modifierToggles_.at(index); }
    QWidget* banner() const { return bannerHolder_; }
    const PopupBanner& shownBanner() const { return banner_; }
    QLabel* countLabel() const { return count_; }
    QLabel* noticeLabel() const { return notice_; }
    // Shown instead of the columns when the filters leave no row.
    MessageView* noMatchMessage() const { return noMatch_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void modelChanged();
    void syncHeader();
    void refreshBanner();
    void refreshNoMatch();
    void showBanner(const PopupBanner& banner);
    void revealSelection();
    void exportDocument();
    QColor keyColor() const;

    std::shared_ptr<PopupFilterModel> sharedModel_;
    PopupFilterModel& model_;
    PanelContext& context_;
    bool attached_ = true;
    platform::ObserverList<>::Id observation_ = 0;
    platform::ObserverList<>::Id themeObservation_ = 0;

    QWidget* header_ = nullptr;
    QLabel* icon_ = nullptr;
    QLabel* name_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* notice_ = nullptr;
    ChipButton* export_ = nullptr;
    ChipButton* settings_ = nullptr;
    QLineEdit* search_ = nullptr;
    QAction* clear_ = nullptr;
    std::array<ChipButton*, 4> modifierToggles_{};
    ChipButton* favourites_ = nullptr;
    QWidget* bannerHolder_ = nullptr;
    QHBoxLayout* bannerLayout_ = nullptr;
    PopupBanner banner_;
    bool bannerShown_ = false;
    QWidget* divider_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    ShortcutColumnsView* columns_ = nullptr;
    MessageView* noMatch_ = nullptr;
    DisambiguationOverlay* overlay_ = nullptr;
};

} // namespace hb::views
