// The simulated desktop: applications, the one in front, fullscreen spaces,
// screens and windows, as the workspace, the window server and the screen
// list report them.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim/simulation.h"
#include "sys/window_server.h"

namespace ebbwise::sim {
namespace {

Scenario parse(const std::string& json) {
  auto parsed = Scenario::parse(json, "t");
  EXPECT_TRUE(parsed) << parsed.error;
  return parsed ? *parsed.scenario : Scenario{};
}

constexpr const char* kSafari = "/Applications/Safari.app/Contents/MacOS/Safari";

// Safari running from the start, Music launching at 1 min, quitting at 3
// min, a video going fullscreen in Safari from 5 to 8 min.
std::string desktopScenario(const std::string& machine = "{}") {
  return R"({"machine": )" + machine + R"(,
    "processes": [
      {"id": "safari", "path": "/Applications/Safari.app/Contents/MacOS/Safari", "cpu": 0.3},
      {"id": "helper", "parent": "safari", "cpu": 0.1,
       "path": "/Applications/Safari.app/Contents/Frameworks/Helper.app/Contents/MacOS/Helper"}],
    "events": [
      {"at": "1m", "type": "start", "process": {"id": "music", "end": "3m",
        "path": "/System/Applications/Music.app/Contents/MacOS/Music"}},
      {"at": "5m", "type": "fullscreen", "process": "safari", "on": true},
      {"at": "8m", "type": "fullscreen", "process": "safari", "on": false}]})";
}

struct Seen {
  double at;
  sys::WorkspaceNotification name;
  std::string app;
};

TEST(SimWorkspaceTest, ApplicationsLaunchQuitAndComeToTheFrontOnTime) {
  Simulation sim(parse(desktopScenario()));
  auto platform = sim.platform();
  std::vector<Seen> seen;
  for (auto name : {sys::WorkspaceNotification::didLaunchApplication,
                    sys::WorkspaceNotification::didTerminateApplication,
                    sys::WorkspaceNotification::didActivateApplication,
                    sys::WorkspaceNotification::activeSpaceDidChange}) {
    platform.workspace.addObserver(name, [&](const sys::WorkspaceEvent& e) {
      seen.push_back(
          {sim.elapsed(), e.name, e.application ? e.application->localizedName.value_or("?") : ""});
    });
  }
  ASSERT_TRUE(platform.workspace.frontmostApplication());
  EXPECT_EQ(platform.workspace.frontmostApplication()->bundleIdentifier, "com.apple.Safari");
  // A helper inside the bundle is no application of its own.
  const auto running = platform.workspace.runningApplications();
  EXPECT_EQ(std::count_if(running.begin(), running.end(),
                          [](const auto& a) { return a.localizedName == "Helper"; }),
            0);

  sim.runFor(600);
  using N = sys::WorkspaceNotification;
  const std::vector<std::pair<N, std::string>> expected = {
      {N::didLaunchApplication, "Music"},    {N::didActivateApplication, "Music"},
      {N::didTerminateApplication, "Music"}, {N::didActivateApplication, "Safari"},
      {N::activeSpaceDidChange, ""},         {N::activeSpaceDidChange, ""}};
  ASSERT_EQ(seen.size(), expected.size());
  const double times[] = {60, 60, 180, 180, 300, 480};
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].name, expected[i].first) << i;
    EXPECT_EQ(seen[i].app, expected[i].second) << i;
    EXPECT_NEAR(seen[i].at, times[i], 0.01) << i;
  }
}

TEST(SimWorkspaceTest, AnApplicationEndedBySignalIsToldAtOnceAndLeavesTheFront) {
  Simulation sim(parse(desktopScenario()));
  auto platform = sim.platform();
  std::vector<std::string> quit;
  platform.workspace.addObserver(sys::WorkspaceNotification::didTerminateApplication,
                                 [&](const sys::WorkspaceEvent& e) {
                                   quit.push_back(e.application->localizedName.value_or(""));
                                 });
  sim.runFor(90);  // Music in front
  const auto music = platform.workspace.frontmostApplication();
  ASSERT_TRUE(music);
  ASSERT_EQ(music->localizedName, "Music");
  ASSERT_TRUE(platform.processes.kill(music->processIdentifier, 15));
  sim.runFor(0.5);
  EXPECT_EQ(quit, std::vector<std::string>{"Music"});
  EXPECT_EQ(platform.workspace.frontmostApplication()->localizedName, "Safari");
  sim.runFor(200);  // past Music's own end: not told twice
  EXPECT_EQ(quit.size(), 1u);
}

TEST(SimWorkspaceTest, SleepAndWakeAreToldAroundTheSleep) {
  Simulation sim(parse(R"({"events": [{"at": "2m", "type": "sleep", "duration": "10m"}]})"));
  auto platform = sim.platform();
  std::vector<std::pair<double, sys::WorkspaceNotification>> seen;
  for (auto name : {sys::WorkspaceNotification::willSleep, sys::WorkspaceNotification::didWake}) {
    platform.workspace.addObserver(
        name, [&](const sys::WorkspaceEvent& e) { seen.emplace_back(sim.elapsed(), e.name); });
  }
  sim.runFor(900);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].second, sys::WorkspaceNotification::willSleep);
  EXPECT_NEAR(seen[0].first, 120, 0.01);
  EXPECT_EQ(seen[1].second, sys::WorkspaceNotification::didWake);
  EXPECT_NEAR(seen[1].first, 720, 0.01);
}

// The fullscreen space is the current space of the notched screen only while
// its application is in front; its window then covers the whole screen and
// the desktop's own windows leave the screen.
TEST(SimWindowServerTest, AFullscreenVideoHasItsOwnSpaceOnTheNotchedScreen) {
  Simulation sim(parse(desktopScenario()));
  auto platform = sim.platform();
  const auto uuid = platform.displays.displayUUID(1);
  ASSERT_TRUE(uuid);
  auto currentType = [&] {
    auto spaces = platform.windowServer.copyManagedDisplaySpaces();
    EXPECT_TRUE(spaces && spaces->size() == 1);
    EXPECT_EQ((*spaces)[0][sys::kDisplayIdentifierKey], *uuid);
    return (*spaces)[0][sys::kCurrentSpaceKey]["type"].get<int>();
  };
  auto safariWindows = [&](std::uint32_t options) {
    std::vector<sys::Value> out;
    const auto list = platform.windowServer.copyWindowInfo(options, sys::kCGNullWindowID);
    for (const auto& w : *list) {
      if (w[sys::kCGWindowOwnerName] == "Safari") out.push_back(w);
    }
    return out;
  };
  constexpr std::uint32_t kVisible =
      sys::kCGWindowListOptionOnScreenOnly | sys::kCGWindowListExcludeDesktopElements;

  sim.runFor(240);
  EXPECT_EQ(currentType(), sys::kSpaceTypeDesktop);
  auto windows = safariWindows(kVisible);
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_LT(windows[0][sys::kCGWindowBounds]["Width"].get<double>(), 1512);

  sim.runFor(120);  // 6 min: fullscreen
  EXPECT_EQ(currentType(), sys::kSpaceTypeFullscreen);
  windows = safariWindows(kVisible);
  ASSERT_EQ(windows.size(), 1u);
  const auto& b = windows[0][sys::kCGWindowBounds];
  EXPECT_EQ(b, (sys::Value{{"X", 0.0}, {"Y", 0.0}, {"Width", 1512.0}, {"Height", 982.0}}));
  // Nothing else of the desktop shows, but the desktop's elements still exist.
  const auto all = *platform.windowServer.copyWindowInfo(sys::kCGWindowListOptionOnScreenOnly,
                                                         sys::kCGNullWindowID);
  EXPECT_EQ(all.size(), 1u);
  EXPECT_GT(platform.windowServer.copyWindowInfo(0, sys::kCGNullWindowID)->size(), 3u);

  sim.runFor(180);  // 9 min: back on the desktop
  EXPECT_EQ(currentType(), sys::kSpaceTypeDesktop);
}

TEST(SimWindowServerTest, ListsRelativeToAWindowAndRefusesUnknownOnes) {
  Simulation sim(parse(desktopScenario()));
  auto platform = sim.platform();
  const auto all = *platform.windowServer.copyWindowInfo(sys::kCGWindowListOptionOnScreenOnly,
                                                         sys::kCGNullWindowID);
  ASSERT_GE(all.size(), 3u);
  const auto second = all[1][sys::kCGWindowNumber].get<sys::WindowID>();
  const auto above =
      *platform.windowServer.copyWindowInfo(sys::kCGWindowListOptionOnScreenAboveWindow, second);
  ASSERT_EQ(above.size(), 1u);
  EXPECT_EQ(above[0], all[0]);
  const auto including = *platform.windowServer.copyWindowInfo(
      sys::kCGWindowListOptionOnScreenBelowWindow | sys::kCGWindowListOptionIncludingWindow,
      second);
  EXPECT_EQ(including.size(), all.size() - 1);
  EXPECT_FALSE(
      platform.windowServer.copyWindowInfo(sys::kCGWindowListOptionOnScreenAboveWindow, 99999));
  // Desktop elements sit below everything and are left out on request.
  const auto kept = *platform.windowServer.copyWindowInfo(sys::kCGWindowListExcludeDesktopElements,
                                                          sys::kCGNullWindowID);
  for (const auto& w : kept) EXPECT_GT(w[sys::kCGWindowLayer].get<int>(), -1000) << w;
}

struct ScreenCase {
  const char* name;
  const char* machine;
  std::vector<sys::DisplayID> online;
  bool builtInOnline;
  bool notch;  // the main screen has the areas beside a camera housing
  bool battery;
};

TEST(SimScreensTest, EachKindOfMacShowsItsScreens) {
  const ScreenCase cases[] = {
      {"notched MacBook", R"({})", {1}, true, true, true},
      {"MacBook without a notch", R"({"model": "notchless"})", {1}, true, false, true},
      {"lid closed on an external display",
       R"({"lid": "closed", "externalDisplay": true})",
       {2},
       false,
       false,
       true},
      {"lid open beside an external display",
       R"({"externalDisplay": true})",
       {1, 2},
       true,
       true,
       true},
      {"desktop", R"({"model": "desktop"})", {2}, false, false, false},
  };
  for (const auto& c : cases) {
    Simulation sim(parse(std::string(R"({"machine": )") + c.machine + "}"));
    auto platform = sim.platform();
    const auto online = platform.displays.onlineDisplays(16);
    ASSERT_TRUE(online) << c.name;
    EXPECT_EQ(*online, c.online) << c.name;
    const bool builtIn = std::any_of(online->begin(), online->end(), [&](sys::DisplayID d) {
      return platform.displays.isBuiltin(d);
    });
    EXPECT_EQ(builtIn, c.builtInOnline) << c.name;
    const auto screens = platform.screens.screens();
    ASSERT_EQ(screens.size(), c.online.size()) << c.name;
    EXPECT_EQ(screens[0].frame.x, 0) << c.name;
    EXPECT_EQ(screens[0].auxiliaryTopLeftArea.has_value(), c.notch) << c.name;
    EXPECT_EQ(screens[0].deviceDescription["NSScreenNumber"], c.online[0]) << c.name;
    EXPECT_EQ(!platform.registry.matchingServices("AppleSmartBattery").empty(), c.battery)
        << c.name;
    if (c.notch) {
      // The menu-bar areas leave a gap for the housing, as tall as the inset.
      const auto& s = screens[0];
      const double gap = s.auxiliaryTopRightArea->x - s.auxiliaryTopLeftArea->maxX();
      EXPECT_GT(gap, 20) << c.name;
      EXPECT_EQ(s.auxiliaryTopLeftArea->maxY(), s.frame.maxY()) << c.name;
      EXPECT_GT(s.safeAreaTop, 0) << c.name;
    }
  }
}

TEST(SimScreensTest, ClosingTheLidOnAnExternalDisplayIsToldAndMovesTheMainScreen) {
  Simulation sim(parse(R"({"machine": {"externalDisplay": true},
    "events": [{"at": "1m", "type": "lid", "open": false}]})"));
  auto platform = sim.platform();
  int told = 0;
  platform.screens.addParametersObserver([&] { ++told; });
  EXPECT_EQ(platform.screens.screens().size(), 2u);
  sim.runFor(120);
  EXPECT_EQ(told, 1);
  const auto screens = platform.screens.screens();
  ASSERT_EQ(screens.size(), 1u);
  EXPECT_EQ(screens[0].deviceDescription["NSScreenNumber"], 2);
  EXPECT_EQ(screens[0].frame.x, 0);
}

TEST(SimScreensTest, SharedSpacesAreNamedMain) {
  Simulation sim(parse(R"({"machine": {"externalDisplay": true,
                                      "services": {"separateSpaces": false}}})"));
  const auto spaces = sim.platform().windowServer.copyManagedDisplaySpaces();
  ASSERT_TRUE(spaces);
  ASSERT_EQ(spaces->size(), 1u);
  EXPECT_EQ((*spaces)[0][sys::kDisplayIdentifierKey], "Main");
}

}  // namespace
}  // namespace ebbwise::sim
