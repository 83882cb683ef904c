#include "cli/run_progress.h"

#include <algorithm>
#include <cmath>

#include <sys/ioctl.h>

#include "base/terminal_text.h"
#include "cli/stream_writer.h"
#include "sys/duration_text.h"

namespace ebbwise {

namespace {

// Runs shorter than this in real time show no line at all; the line is
// redrawn no more often than every `kRedraw` seconds.
constexpr double kQuietStart = 0.5;
constexpr double kRedraw = 0.2;

// Back to the line's start, and erase to its end: the line shrinks as well
// as grows.
constexpr std::string_view kReturn = "\r";
constexpr std::string_view kEraseToEnd = "\x1B[K";

// Run time to the minute once it is long, so the figure does not race.
std::string runTime(double seconds, double total) {
  if (total >= 600) seconds = std::floor(seconds / 60) * 60;
  return sys::DurationText::format(seconds);
}

}  // namespace

RunProgress::RunProgress(int fd, const sys::Clock& clock, std::string verb)
    : fd_(fd), clock_(clock), verb_(std::move(verb)), startTicks_(clock.monotonicTicks()) {}

RunProgress::~RunProgress() {
  clear();
}

double RunProgress::realSeconds() const {
  return clock_.timebase().ticksToSeconds(clock_.monotonicTicks() - startTicks_);
}

std::string RunProgress::line(std::string_view verb, double done, double total, double real) {
  const double share = total > 0 ? std::clamp(done / total, 0.0, 1.0) : 1.0;
  std::string text = std::string(verb) + " " + runTime(done, total) + " of " +
                     sys::DurationText::format(total) + " · " +
                     std::to_string(static_cast<int>(share * 100)) + " % · " +
                     sys::DurationText::format(std::floor(real));
  // A guess from the pace so far, once there is a pace to go by.
  if (share > 0.02 && share < 1) {
    text +=
        ", about " + sys::DurationText::format(std::ceil(real * (1 - share) / share)) + " to go";
  }
  return text;
}

void RunProgress::update(double done, double total) {
  const double real = realSeconds();
  if (real < kQuietStart || (drawnAt_ && real - *drawnAt_ < kRedraw)) return;
  drawnAt_ = real;
  std::string text = "ebbwise: " + line(verb_, done, total, real);
  // A line longer than the terminal is wide would wrap, and each redraw
  // would leave a line behind.
  winsize size{};
  if (::ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
    text = std::string(TerminalText::fit(text, size.ws_col - 1u));
  }
  StreamWriter::writeAll(fd_, std::string(kReturn) + text + std::string(kEraseToEnd));
}

void RunProgress::clear() {
  if (!drawnAt_) return;
  drawnAt_.reset();
  StreamWriter::writeAll(fd_, std::string(kReturn) + std::string(kEraseToEnd));
}

void runInSteps(double seconds, double step, RunProgress* progress,
                const std::function<double(double)>& runTo) {
  for (double done = 0; done < seconds;) {
    const double target = std::min(seconds, done + step);
    done = std::max(target, runTo(target));
    if (progress) progress->update(std::min(done, seconds), seconds);
  }
  if (progress) progress->clear();
}

}  // namespace ebbwise
