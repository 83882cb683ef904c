// The windows on a real X server (Xvfb, started here), driven with xdotool
// and checked on scrot screenshots. Timing is checked as "not too early" with
// generous upper bounds: the machine is shared.

#include <cairo.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#include "linux/system_clock.h"
#include "sys/real_run_loop.h"
#include "ui/calibration_overlay_window.h"
#include "ui/notch_window_host.h"
#include "x_server.h"

namespace ebbwise::ui {
namespace {

using testing::focusedWindow;
using testing::run;
using testing::XServer;
using SteadyClock = std::chrono::steady_clock;
constexpr double kGenerous = 5;  // seconds; reached only when something is broken

double since(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// A screenshot of the whole X screen.
class Screenshot {
 public:
  Screenshot() {
    std::string path = ::testing::TempDir() + "/ebbwise-screen.png";
    if (run({"scrot", "--overwrite", path}))
      surface_ = cairo_image_surface_create_from_png(path.c_str());
  }
  ~Screenshot() {
    if (surface_) cairo_surface_destroy(surface_);
  }
  bool ok() const { return surface_ && cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS; }
  // 0xRRGGBB at a pixel.
  std::uint32_t at(int x, int y) const {
    cairo_surface_flush(surface_);
    auto* data = cairo_image_surface_get_data(surface_);
    std::uint32_t word;
    std::memcpy(&word, data + y * cairo_image_surface_get_stride(surface_) + x * 4, 4);
    return word & 0xFFFFFF;
  }

 private:
  cairo_surface_t* surface_ = nullptr;
};

struct XWindowFixture : ::testing::Test {
  XServer x{1280, 800};
  std::unique_ptr<sys::RealRunLoop> loop;
  SdlEventWaiter* waiter = nullptr;
  std::unique_ptr<SdlSession> session;
  std::string error;

  void SetUp() override {
    ASSERT_TRUE(x.running()) << x.error();
    auto w = std::make_unique<SdlEventWaiter>();
    waiter = w.get();
    loop = std::make_unique<sys::RealRunLoop>(std::move(w));
    session = SdlSession::open(*waiter, error);
    ASSERT_TRUE(session) << error;
  }
  void TearDown() override { session.reset(); }
  // Runs the loop until `done` or the generous bound; the seconds it took.
  template <typename Done>
  double runUntil(Done done) {
    auto start = SteadyClock::now();
    while (!done() && since(start) < kGenerous) loop->runFor(0.005);
    return since(start);
  }
};

// The 14-inch built-in screen: a 192 × 38 notch in a 1512 × 982 screen. On
// 1280 × 800 pixels it is drawn at 800 / 982 pixels a point.
ScreenDescription builtIn() {
  return {Rect{0, 0, 1512, 982}, Rect{0, 944, 660, 38}, Rect{852, 944, 660, 38}, 38};
}

NotchViewInput sixtyTwoPercent() {
  NotchViewInput in;
  in.battery = BatteryReading::make(62, 30, -8.5, false, false, {}, {});
  in.netBatteryWatts = -8.5;
  in.minutesLeft = 212;
  in.unit = PowerUnit::watts;
  return in;
}

TEST_F(XWindowFixture, NotchWindowSitsOverTheNotchAndHoverOpensAndClosesThePanel) {
  linux_host::SystemClock clock;
  auto host = NotchWindowHost::open(*loop, *session, clock, {{builtIn()}, {}}, error);
  ASSERT_TRUE(host) << error;
  host->setInput(sixtyTwoPercent());
  loop->runFor(0.5);
  EXPECT_DOUBLE_EQ(host->mapping().scale, 800.0 / 982);

  {
    Screenshot shot;
    ASSERT_TRUE(shot.ok());
    EXPECT_EQ(shot.at(640, 12), 0x000000u);       // the black tab at the top centre
    EXPECT_EQ(shot.at(640 - 70, 12), 0x000000u);  // 192 points ≈ 156 pixels wide
    EXPECT_EQ(shot.at(640 - 90, 12), 0xFFFFFFu) << "the root shows beside the tab";
    EXPECT_EQ(shot.at(640, 200), 0xFFFFFFu);                  // no panel yet
    std::uint32_t line = shot.at(600, 32);                    // the battery line under the tab
    EXPECT_GT((line >> 8) & 0xFF, 150u) << std::hex << line;  // green enough
    EXPECT_LT(line & 0xFF, 100u) << std::hex << line;
  }
  // It never took the keyboard.
  EXPECT_NE(focusedWindow(), host->window().xWindow());

  // Onto the notch: the panel opens no sooner than 0.12 s later.
  std::uint64_t framesBefore = host->frames();
  ASSERT_TRUE(run({"xdotool", "mousemove", "640", "15"}));
  bool sawPreparing = false;
  double opened = runUntil([&] {
    sawPreparing |= host->controller().state().isPreparing;
    return host->controller().state().isOpen;
  });
  EXPECT_TRUE(sawPreparing);
  EXPECT_TRUE(host->controller().state().isOpen);
  EXPECT_GE(opened, 0.12);
  EXPECT_LT(opened, kGenerous);
  loop->runFor(0.8);  // the spring settles
  {
    Screenshot shot;
    ASSERT_TRUE(shot.ok());
    EXPECT_EQ(shot.at(640, 200), 0x000000u);        // the open panel
    EXPECT_EQ(shot.at(640 - 200, 200), 0xFFFFFFu);  // 448 points ≈ 365 pixels wide
  }
  EXPECT_GT(host->frames(), framesBefore);

  // Away from it: closes no sooner than 0.3 s later.
  ASSERT_TRUE(run({"xdotool", "mousemove", "100", "700"}));
  double closed = runUntil([&] { return !host->controller().state().isOpen; });
  EXPECT_FALSE(host->controller().state().isOpen);
  EXPECT_GE(closed, 0.3);
  EXPECT_LT(closed, kGenerous);

  // At rest nothing is drawn.
  loop->runFor(1.0);
  std::uint64_t resting = host->frames();
  loop->runFor(0.5);
  EXPECT_EQ(host->frames(), resting);
  Screenshot shot;
  ASSERT_TRUE(shot.ok());
  EXPECT_EQ(shot.at(640, 200), 0xFFFFFFu);
}

TEST_F(XWindowFixture, DebugSnapshotWritesThePanelAndItsGeometry) {
  linux_host::SystemClock clock;
  auto host = NotchWindowHost::open(*loop, *session, clock, {{builtIn()}, {}}, error);
  ASSERT_TRUE(host) << error;
  std::string path = ::testing::TempDir() + "/ebbwise-snapshot.png";
  std::remove(path.c_str());
  std::remove((path + ".txt").c_str());
  host->requestSnapshot(path);
  runUntil([&] { return host->controller().state().isOpen; });
  runUntil([&] { return !host->controller().state().isOpen; });
  cairo_surface_t* picture = cairo_image_surface_create_from_png(path.c_str());
  EXPECT_EQ(cairo_surface_status(picture), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(cairo_image_surface_get_width(picture), 2 * 560);
  cairo_surface_destroy(picture);
  std::ifstream text(path + ".txt");
  std::string description((std::istreambuf_iterator<char>(text)), {});
  EXPECT_EQ(description,
            "window {{476, 0}, {560, 982}} notch {{660, 944}, {192, 38}} open true "
            "content {420, 458}");
}

TEST_F(XWindowFixture, EscOrStopOnTheCalibrationMessageAsksTheRunToStop) {
  FontLibrary fonts;
  int stops = 0;
  auto overlay = CalibrationOverlayWindow::open(
      *session, fonts, 1, [&] { ++stops; }, error);
  ASSERT_TRUE(overlay) << error;
  overlay->show({"Measuring the screen", 0.62, 41, 0.3});
  loop->runFor(0.3);
  EXPECT_EQ(focusedWindow(), overlay->window().xWindow());  // so Esc reaches it
  const PixelRect& frame = overlay->window().frame();
  EXPECT_EQ(frame.x, (1280 - frame.width) / 2);  // in the middle of the screen

  ASSERT_TRUE(run({"xdotool", "key", "a"}));
  loop->runFor(0.3);
  EXPECT_EQ(stops, 0);  // other keys do nothing
  ASSERT_TRUE(run({"xdotool", "key", "Escape"}));
  runUntil([&] { return stops > 0; });
  EXPECT_EQ(stops, 1);

  Box stop = overlay->layout().stopButton;
  ASSERT_TRUE(run({"xdotool", "mousemove", std::to_string(frame.x + static_cast<int>(stop.midX())),
                   std::to_string(frame.y + static_cast<int>(stop.midY())), "click", "1"}));
  runUntil([&] { return stops > 1; });
  EXPECT_EQ(stops, 2);

  overlay->close();
  overlay->close();
  EXPECT_FALSE(overlay->isShown());
}

TEST(XSessionTest, WithoutAnXDisplayTheSessionSaysWhy) {
  const char* saved = std::getenv("DISPLAY");
  std::string previous = saved ? saved : "";
  SdlEventWaiter waiter;
  std::string error;
  ::unsetenv("DISPLAY");
  EXPECT_EQ(SdlSession::open(waiter, error), nullptr);
  EXPECT_NE(error.find("DISPLAY is not set"), std::string::npos) << error;
  ::setenv("DISPLAY", ":4093", 1);
  EXPECT_EQ(SdlSession::open(waiter, error), nullptr);
  EXPECT_NE(error.find("Can't open the X display \":4093\""), std::string::npos) << error;
  if (saved) {
    ::setenv("DISPLAY", previous.c_str(), 1);
  } else {
    ::unsetenv("DISPLAY");
  }
}

}  // namespace
}  // namespace ebbwise::ui
