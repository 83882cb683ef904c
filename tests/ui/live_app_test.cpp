// The live application end to end: the ebbwise program itself on the
// simulated Mac, on an X server of the test's own (Xvfb), driven with
// xdotool and watched on scrot screenshots. Every wait polls for the state
// with a generous bound, so a loaded machine only makes it slower.

#include <cairo.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "x_server.h"

extern char** environ;

namespace ebbwise::ui {
namespace {

using testing::run;
using testing::XServer;
using SteadyClock = std::chrono::steady_clock;
constexpr double kGenerous = 30;  // seconds; reached only when something is broken

double since(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// The program under test sits beside this test program in the build.
std::string program() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "ebbwise").string();
}

// A colour at a pixel of a fresh screenshot (0xRRGGBB); nothing when none
// could be taken.
std::optional<std::uint32_t> pixelAt(int x, int y) {
  std::string path = ::testing::TempDir() + "/ebbwise-live-" + std::to_string(::getpid()) + ".png";
  if (!run({"scrot", "--overwrite", path})) return std::nullopt;
  cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
  std::optional<std::uint32_t> colour;
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
    cairo_surface_flush(surface);
    std::uint32_t word;
    std::memcpy(
        &word,
        cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface) + x * 4,
        4);
    colour = word & 0xFFFFFF;
  }
  cairo_surface_destroy(surface);
  return colour;
}

bool windowShown(const std::string& name) {
  auto found = run({"xdotool", "search", "--onlyvisible", "--name", name});
  return found && !found->empty();
}

// Polls `done` until it holds or the generous bound passes; the seconds it took.
template <typename Done>
double waitFor(Done done) {
  auto start = SteadyClock::now();
  while (!done() && since(start) < kGenerous) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return since(start);
}

// The program running live on the simulated Mac until the test ends.
class LiveProgram {
 public:
  explicit LiveProgram(std::vector<std::string> extra) {
    std::vector<std::string> args = {program(), "--simulate"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // One log per test process: ctest runs these tests side by side.
    log_ = ::testing::TempDir() + "/ebbwise-live-" + std::to_string(::getpid()) + ".log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~LiveProgram() { stop(); }

  bool running() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

  // Waits for it to end by itself (within the generous bound); its exit
  // status, or nothing when it still runs.
  std::optional<int> exited() {
    auto start = SteadyClock::now();
    while (pid_ > 0 && since(start) < kGenerous) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return status_ = status;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
  }

  // Asks it to end as Ctrl+C would; its exit status.
  int stop() {
    if (pid_ <= 0) return status_;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return status_ = status;
  }

  std::string log() const {
    std::ifstream in(log_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  std::string log_;
};

TEST(LiveAppTest, NotchOpensOnHoverClosesAwayAndEscStopsTheCalibration) {
  XServer x{1280, 800};
  ASSERT_TRUE(x.running()) << x.error();
  ::setenv("EBBWISE_DATA_DIR", ::testing::TempDir().c_str(), 1);
  ASSERT_TRUE(run({"xdotool", "mousemove", "100", "700"}));
  LiveProgram app({"--calibrate"});

  // The notch tab shows at the top centre, black on the white root.
  waitFor([&] { return windowShown("Ebbwise notch") && pixelAt(640, 8) == 0x000000u; });
  ASSERT_TRUE(app.running()) << app.log();
  EXPECT_EQ(pixelAt(640, 8), 0x000000u) << app.log();
  EXPECT_EQ(pixelAt(640, 200), 0xFFFFFFu) << "no panel yet";

  // The calibration run shows its message; Esc stops the run and the
  // message goes away with it.
  waitFor([&] { return windowShown("Ebbwise calibration"); });
  ASSERT_TRUE(windowShown("Ebbwise calibration")) << app.log();
  ASSERT_TRUE(run({"xdotool", "key", "Escape"}));
  double stopped = waitFor([&] { return !windowShown("Ebbwise calibration"); });
  EXPECT_LT(stopped, kGenerous) << "the run went on after Esc";

  // Onto the notch: the panel opens, no sooner than 0.12 s later.
  auto moved = SteadyClock::now();
  ASSERT_TRUE(run({"xdotool", "mousemove", "640", "12"}));
  // Open, the panel covers the white root below the notch.
  auto covered = [] { return pixelAt(640, 200).value_or(0xFFFFFF) != 0xFFFFFFu; };
  double opened = since(moved) + waitFor(covered);
  EXPECT_TRUE(covered()) << "the panel did not open";
  EXPECT_GE(opened, 0.12);

  // Away from it: it closes, no sooner than 0.3 s later.
  moved = SteadyClock::now();
  ASSERT_TRUE(run({"xdotool", "mousemove", "100", "700"}));
  double closed = since(moved) + waitFor([&] { return pixelAt(640, 200) == 0xFFFFFFu; });
  EXPECT_EQ(pixelAt(640, 200), 0xFFFFFFu) << "the panel did not close";
  EXPECT_GE(closed, 0.3);

  int status = app.stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << app.log();
}

TEST(LiveAppTest, WithoutAnXDisplayItSaysSoAndFails) {
  std::optional<std::string> display;
  if (const char* d = std::getenv("DISPLAY")) display = d;
  ::unsetenv("DISPLAY");
  ::setenv("EBBWISE_DATA_DIR", ::testing::TempDir().c_str(), 1);
  LiveProgram app({});
  std::optional<int> status = app.exited();
  if (display) ::setenv("DISPLAY", display->c_str(), 1);
  ASSERT_TRUE(status) << "still running without a display";
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << *status;
  std::string log = app.log();
  EXPECT_NE(log.find("can't show the notch display"), std::string::npos) << log;
  EXPECT_NE(log.find("DISPLAY is not set"), std::string::npos) << log;
}

}  // namespace
}  // namespace ebbwise::ui
