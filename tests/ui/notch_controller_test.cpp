#include "ui/notch_controller.h"

#include <gtest/gtest.h>

#include <vector>

#include "sys/virtual_run_loop.h"

namespace ebbwise::ui {
namespace {

// A 14-inch built-in screen: its notch is x 660…852, y 944…982.
ScreenDescription builtIn(double x = 0) {
  return {Rect{x, 0, 1512, 982}, Rect{x, 944, 660, 38}, Rect{x + 852, 944, 660, 38}, 38};
}

struct ControllerFixture : ::testing::Test {
  sys::VirtualRunLoop loop;
  int changes = 0;
  std::vector<std::pair<std::string, std::string>> snapshots;
  NotchController controller{loop,
                             {[this] { ++changes; },
                              [this](const std::string& path, const std::string& text) {
                                snapshots.emplace_back(path, text);
                              }}};
  const ScreenPoint onNotch{756, 970};
  const ScreenPoint farAway{100, 100};

  void SetUp() override {
    std::vector<ScreenDescription> screens = {builtIn()};
    ASSERT_TRUE(controller.layout(screens));
  }
  bool isOpen() const { return controller.state().isOpen; }
};

TEST_F(ControllerFixture, LayoutTakesTheNotchedScreenAndSizesThePanelToIt) {
  // An external screen first, the built-in one beside it.
  std::vector<ScreenDescription> screens = {
      {Rect{-1920, 0, 1920, 1080}, std::nullopt, std::nullopt, 0}, builtIn()};
  ASSERT_TRUE(controller.layout(screens));
  EXPECT_EQ(controller.notchRect(), (Rect{660, 944, 192, 38}));
  EXPECT_EQ(controller.windowFrame(), (Rect{476, 0, 560, 982}));
  EXPECT_EQ(controller.state().notchSize, (Size{192, 38}));
  EXPECT_DOUBLE_EQ(controller.state().maxPanelHeight, 982 - 38 - 24);

  // A 32-point notch on a 982-point screen leaves 926 points for the panel.
  ScreenDescription small = builtIn();
  small.safeAreaTop = 32;
  small.topLeftArea->height = small.topRightArea->height = 32;
  ASSERT_TRUE(controller.layout(std::vector{small}));
  EXPECT_DOUBLE_EQ(controller.state().maxPanelHeight, 926);
  // A screen shorter than the notch gets no panel rather than a negative one.
  small.frame.height = 40;
  ASSERT_TRUE(controller.layout(std::vector{small}));
  EXPECT_DOUBLE_EQ(controller.state().maxPanelHeight, 0);

  // Lid closed, only an external screen: no notch, no window, until it comes back.
  EXPECT_FALSE(controller.layout(std::vector{screens.front()}));
  EXPECT_FALSE(controller.hasWindow());
  EXPECT_FALSE(controller.layout(std::vector<ScreenDescription>{}));
  EXPECT_TRUE(controller.layout(screens));
  EXPECT_TRUE(controller.hasWindow());
}

TEST_F(ControllerFixture, PanelOpensAfterTheOpeningDelayAndClosesAfterTheClosingDelay) {
  controller.mouseMoved(onNotch);
  EXPECT_TRUE(controller.state().isPreparing);
  loop.runFor(0.119);
  EXPECT_FALSE(isOpen());
  loop.runFor(0.002);
  EXPECT_TRUE(isOpen());

  // Moving about inside the panel keeps it; leaving starts the close.
  controller.mouseMoved({756, 700});
  controller.mouseMoved(farAway);
  loop.runFor(0.299);
  EXPECT_TRUE(isOpen());
  // Further moves outside do not restart the delay.
  controller.mouseMoved({90, 90});
  loop.runFor(0.002);
  EXPECT_FALSE(isOpen());
}

TEST_F(ControllerFixture, AQuickCrossingOrAQuickReturnCancelsTheChange) {
  controller.mouseMoved(onNotch);
  loop.runFor(0.05);
  controller.mouseMoved(farAway);
  EXPECT_FALSE(controller.state().isPreparing);
  loop.runFor(1);
  EXPECT_FALSE(isOpen());

  controller.mouseMoved(onNotch);
  loop.runFor(0.2);
  ASSERT_TRUE(isOpen());
  controller.mouseMoved(farAway);
  loop.runFor(0.1);
  controller.mouseMoved(onNotch);  // back before the close
  loop.runFor(1);
  EXPECT_TRUE(isOpen());
}

TEST_F(ControllerFixture, HoverRegionsHaveTheirSlack) {
  // Closed: 4 points beside the notch and 6 below count.
  const std::pair<ScreenPoint, bool> closed[] = {
      {{656.5, 960}, true}, {{655.5, 960}, false}, {{700, 938.5}, true}, {{700, 937.5}, false}};
  for (auto [point, inside] : closed) {
    controller.mouseMoved(point);
    EXPECT_EQ(controller.state().isPreparing, inside) << point.x << "," << point.y;
  }
  controller.mouseMoved(onNotch);
  loop.runFor(0.2);
  ASSERT_TRUE(isOpen());
  // Open: the panel is 448 wide (with its flares) and 38 + 420 tall; 12 points around it count.
  Rect region = controller.hoverRegion();
  EXPECT_EQ(region, (Rect{756 - 224 - 12, 982 - 458 - 12, 448 + 24, 458 + 24}));
  controller.mouseMoved({756 - 224 - 10, 700});  // 10 points outside the drawn panel
  loop.runFor(1);
  EXPECT_TRUE(isOpen());
  controller.mouseMoved({756 - 224 - 13, 700});  // 13 points outside
  loop.runFor(0.31);
  EXPECT_FALSE(isOpen());
}

TEST_F(ControllerFixture, AnOpenMenuKeepsThePanelUntilItClosesAndThePointerMoves) {
  controller.mouseMoved(onNotch);
  loop.runFor(0.2);
  controller.setMenuOpen(true);
  controller.mouseMoved(farAway);
  loop.runFor(2);
  EXPECT_TRUE(isOpen());
  controller.setMenuOpen(false);
  loop.runFor(2);
  EXPECT_TRUE(isOpen());
  controller.mouseMoved(farAway);
  loop.runFor(0.31);
  EXPECT_FALSE(isOpen());
}

TEST_F(ControllerFixture, DebugSnapshotHoldsThePanelOpenThenWritesAndCloses) {
  controller.debugSnapshot(std::nullopt);
  EXPECT_FALSE(isOpen());
  controller.debugSnapshot("/tmp/notch.png");
  EXPECT_TRUE(isOpen());
  controller.mouseMoved(farAway);  // ignored while held
  loop.runFor(1.4);
  EXPECT_TRUE(isOpen());
  EXPECT_TRUE(snapshots.empty());
  loop.runFor(0.2);
  ASSERT_EQ(snapshots.size(), 1u);
  EXPECT_EQ(snapshots[0].first, "/tmp/notch.png");
  EXPECT_EQ(snapshots[0].second,
            "window {{476, 0}, {560, 982}} notch {{660, 944}, {192, 38}} open true "
            "content {420, 458}");
  EXPECT_FALSE(isOpen());
  // Tracking is back.
  controller.mouseMoved(onNotch);
  EXPECT_TRUE(controller.state().isPreparing);
}

TEST_F(ControllerFixture, WorkStillPendingIsDroppedWithTheController) {
  {
    sys::VirtualRunLoop own;
    auto doomed = std::make_unique<NotchController>(own, NotchController::Callbacks{});
    ASSERT_TRUE(doomed->layout(std::vector{builtIn()}));
    doomed->mouseMoved(onNotch);
    doomed->debugSnapshot("/tmp/x.png");
    doomed.reset();
    EXPECT_EQ(own.pendingEvents(), 0u);
    own.runFor(2);  // nothing left to touch the gone controller
  }
  EXPECT_GT(changes, 0);
}

}  // namespace
}  // namespace ebbwise::ui
