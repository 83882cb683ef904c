#include "app/duration.h"

#include "sys/duration_text.h"

namespace ebbwise {

std::optional<double> parseDuration(std::string_view text) {
  std::optional<double> seconds = sys::DurationText::parse(text);
  if (!seconds || *seconds <= 0 || *seconds > kLongestRun) return std::nullopt;
  return seconds;
}

}  // namespace ebbwise
