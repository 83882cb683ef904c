#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace ebbwise {

// The span of history the panel shows: the current stretch on battery, the
// last 24 hours or the last 7 days.
enum class HistoryRange { session, day, week };

inline constexpr std::array<HistoryRange, 3> allHistoryRanges = {
    HistoryRange::session, HistoryRange::day, HistoryRange::week};

// The range's name and title: "Since unplug", "24 hours", "7 days".
std::string_view rawValue(HistoryRange range);
// Nothing for a string that names no range.
std::optional<HistoryRange> historyRangeFromRawValue(std::string_view raw);
// Seconds back from now; nothing for the on-battery range, which starts at
// the unplug.
std::optional<double> spanSeconds(HistoryRange range);

}  // namespace ebbwise
