#pragma once

#include "display_rules/rect.h"
#include "ui/notch_controller.h"

namespace ebbwise::ui {

// A rectangle in X pixels: origin at the top left of the X screen.
struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Places the notched screen's top on an X screen: its notch at the top
// centre, every point `scale` pixels, y turned to grow downwards. On a real
// Mac the two are the same screen; on the simulated machine the notch lands
// in the middle of whatever X screen there is, scaled so the whole simulated
// screen would fit.
struct ScreenMapping {
  double scale = 1;      // pixels per point
  double notchMidX = 0;  // points
  double screenTop = 0;  // points
  int pixelWidth = 0;    // the X screen
  int pixelHeight = 0;

  static ScreenMapping fit(const Rect& screenFrame, const Rect& notch, int pixelWidth,
                           int pixelHeight);

  ScreenPoint toScreen(double px, double py) const;
  // The pixels a rectangle of global points covers (rounded outwards).
  PixelRect toPixels(const Rect& r) const;
};

}  // namespace ebbwise::ui
