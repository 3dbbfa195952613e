#include "triggers/frontmost_app_monitor.h"

#include "platform/fake/fake_workspace.h"

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

struct Recorder {
    std::vector<std::string> appChanged;
    std::vector<std::optional<std::string>> observed;

    void attach(FrontmostAppMonitor& monitor)
    {
        monitor.onAppChanged = [this, &monitor](const RunningApplication& app) {
            // Called after the value has been set.
            EXPECT_THAT(monitor.frontmostApp(), Optional(app));
            appChanged.push_back(app.name);
        };
        monitor.observeFrontmostApp([this](const std::optional<RunningApplication>& app) {
            observed.push_back(app ? std::optional(app->name) : std::nullopt);
        });
    }
};

class FrontmostAppMonitorTest : public ::testing::Test {
protected:
    fake::FakeWorkspace workspace;
    RunningApplication editor = application(100, "Editor", "org.example.editor");
    RunningApplication browser = application(200, "Browser", "org.example.browser");
    RunningApplication hintboard = application(ownPID, "Hintboard", "org.mirelo.Hintboard");
};

TEST_F(FrontmostAppMonitorTest, TakesTheFrontApplicationAtCreationUnlessItIsThisProcess)
{
    workspace.setFrontmost(editor);
    EXPECT_THAT(FrontmostAppMonitor(workspace, ownPID).frontmostApp(), Optional(editor));

    workspace.setFrontmost(hintboard);
    FrontmostAppMonitor startedInFront(workspace, ownPID);
    EXPECT_EQ(startedInFront.frontmostApp(), std::nullopt);
    Recorder recorder;
    recorder.attach(startedInFront);
    workspace.activate(browser);
    EXPECT_THAT(startedInFront.frontmostApp(), Optional(browser));
    EXPECT_THAT(recorder.appChanged, ElementsAre("Browser"));

    workspace.setFrontmost(std::nullopt);
    EXPECT_EQ(FrontmostAppMonitor(workspace, ownPID).frontmostApp(), std::nullopt);
    // No window active: the one on top is in front, unless it is this program's.
    workspace.setTopmost(editor);
    EXPECT_THAT(FrontmostAppMonitor(workspace, ownPID).frontmostApp(), Optional(editor));
    workspace.setTopmost(hintboard);
    EXPECT_EQ(FrontmostAppMonitor(workspace, ownPID).frontmostApp(), std::nullopt);
}

TEST_F(FrontmostAppMonitorTest, TellsEverySwitchAndObserversOfEachChange)
{
    workspace.setFrontmost(editor);
    FrontmostAppMonitor monitor(workspace, ownPID);
    Recorder recorder;
    recorder.attach(monitor);

    workspace.activate(browser);
    workspace.activate(editor);

    EXPECT_THAT(recorder.appChanged, ElementsAre("Browser", "Editor"));
    EXPECT_THAT(recorder.observed, ElementsAre("Browser", "Editor"));
    EXPECT_THAT(monitor.frontmostApp(), Optional(editor));
}

TEST_F(FrontmostAppMonitorTest, OwnActivationsAndUnidentifiedOnesLeaveTheRememberedApplication)
{
    workspace.setFrontmost(editor);
    FrontmostAppMonitor monitor(workspace, ownPID);
    Recorder recorder;
    recorder.attach(monitor);

    workspace.activate(hintboard);  // e.g. the settings window opens
    workspace.activateUnidentified();
    EXPECT_THAT(monitor.frontmostApp(), Optional(editor));
    EXPECT_TRUE(recorder.appChanged.empty());
    EXPECT_TRUE(recorder.observed.empty());

    // Back to the remembered application: the callback runs again, the value does not change.
    workspace.activate(editor);
    EXPECT_THAT(recorder.appChanged, ElementsAre("Editor"));
    EXPECT_TRUE(recorder.observed.empty());
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

TEST_F(FrontmostAppMonitorTest, RemovesItsWorkspaceObserverWhenDestroyed)
{
    auto monitor = std::make_unique<FrontmostAppMonitor>(workspace, ownPID);
    EXPECT_EQ(workspace.observerCount(), 1u);
    monitor.reset();
    EXPECT_EQ(workspace.observerCount(), 0u);
    workspace.activate(editor);  // nobody left to tell
}

} // namespace
} // namespace hb
