#pragma once

namespace ebbwise::ui {

// The notch display's fixed measures, in points.
namespace NotchMetrics {

inline constexpr double lineWidth = 3;      // the battery line
inline constexpr double closedFlare = 6;    // outward flare of the closed tab on each side
inline constexpr double closedRadius = 9;   // bottom corners of the closed tab
inline constexpr double openFlare = 14;     // outward flare of the open panel
inline constexpr double openRadius = 26;    // bottom corners of the open panel
inline constexpr double panelWidth = 420;   // the open panel's contents
inline constexpr double windowWidth = 560;  // the notch window, centred on the notch
inline constexpr double labelTopLine = 11;  // height of a side label's first line

}  // namespace NotchMetrics

}  // namespace ebbwise::ui
