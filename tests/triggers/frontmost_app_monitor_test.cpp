#include "triggers/frontmost_app_monitor.h"

#include "fake/fake_workspace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

namespace hb {
namespace {

using fake::application;
using platform::RunningApplication;
using ::testing::ElementsAre;
using ::testing::Optional;

constexpr pid_t ownPID = 4242;

class FrontmostAppMonitorTest : public ::testing::Test {
protected:
    fake::FakeWorkspace workspace;
    RunningApplication editor = application(100, "Editor", "org.example.editor");
    RunningApplication browser = application(200, "Browser", "org.example.browser");
    RunningApplication hintboard = application(ownPID, "Hintboard", "org.mirelo.Hintboard");
    std::vector<std::string> appChanged;
    std::vector<std::optional<std::string>> observed;
};

TEST_F(FrontmostAppMonitorTest, TakesTheFrontApplicationAtCreationUnlessItIsThisProcess)
{
    workspace.setFrontmost(hintboard);
    FrontmostAppMonitor startedInFront(workspace, ownPID);
    EXPECT_EQ(startedInFront.frontmostApp(), std::nullopt);
    // The switch callback sees the value set before it runs.
    startedInFront.onAppChanged = [&](const RunningApplication& app) {
        EXPECT_THAT(startedInFront.frontmostApp(), Optional(app));
        appChanged.push_back(app.name);
    };
    startedInFront.observeFrontmostApp([&](const std::optional<RunningApplication>& app) {
        observed.push_back(app ? std::optional(app->name) : std::nullopt);
    });
    workspace.activate(browser);
    EXPECT_THAT(startedInFront.frontmostApp(), Optional(browser));
    // Own and unidentified activations keep the remembered application.
    workspace.activate(hintboard);
    workspace.activateUnidentified();
    EXPECT_THAT(startedInFront.frontmostApp(), Optional(browser));
    EXPECT_THAT(appChanged, ElementsAre("Browser"));
    EXPECT_THAT(observed, ElementsAre("Browser"));

    workspace.setFrontmost(std::nullopt);
    // No window active: the one on top is in front, unless it is this program's.
    workspace.setTopmost(editor);
    EXPECT_THAT(FrontmostAppMonitor(workspace, ownPID).frontmostApp(), Optional(editor));
    workspace.setTopmost(hintboard);
    EXPECT_EQ(FrontmostAppMonitor(workspace, ownPID).frontmostApp(), std::nullopt);
}

TEST_F(FrontmostAppMonitorTest, ObservationsEndWhenRemovedEvenDuringANotification)
{
    FrontmostAppMonitor monitor(workspace, ownPID);
    int first = 0;
    int second = 0;
    FrontmostAppMonitor::ObservationId secondId = 0;
    FrontmostAppMonitor::ObservationId firstId = monitor.observeFrontmostApp([&](const auto&) {
        ++first;
        monitor.removeObservation(firstId);
        monitor.removeObservation(secondId);
    });
    secondId = monitor.observeFrontmostApp([&](const auto&) { ++second; });
    workspace.activate(editor);
    workspace.activate(browser);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
}

} // namespace
} // namespace hb
