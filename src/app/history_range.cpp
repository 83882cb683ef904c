#include "app/history_range.h"

namespace ebbwise {

std::string_view rawValue(HistoryRange range) {
  switch (range) {
    case HistoryRange::session:
      return "Since unplug";
    case HistoryRange::day:
      return "24 hours";
    case HistoryRange::week:
      return "7 days";
  }
  return "Since unplug";
}

std::optional<HistoryRange> historyRangeFromRawValue(std::string_view raw) {
  for (HistoryRange range : allHistoryRanges) {
    if (rawValue(range) == raw) return range;
  }
  return std::nullopt;
}

std::optional<double> spanSeconds(HistoryRange range) {
  switch (range) {
    case HistoryRange::session:
      return std::nullopt;
    case HistoryRange::day:
      return 86'400;
    case HistoryRange::week:
      return 604'800;
  }
  return std::nullopt;
}

}  // namespace ebbwise
