#pragma once

#include "ui/geometry.h"
#include "ui/path.h"

namespace ebbwise::ui {

// The tab over the camera notch: straight sides that meet the top edge in
// small outward curves (the flare, so the tab looks grown out of the menu
// bar) and rounded bottom corners.
struct NotchShape {
  double flare = 0;
  double bottomRadius = 0;
  bool outlineOnly = false;

  // The filled form, closed along the top edge; or the outline form, from
  // the top of the left side down, along the bottom and up the right side,
  // open at the top, so a share of its length is that share of the battery
  // line counted from the top left.
  Path path(const Box& rect) const;
};

}  // namespace ebbwise::ui
