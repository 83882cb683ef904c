#pragma once

#include "ui/geometry.h"

namespace ebbwise::ui {

// What the notch controller and the notch view share: whether the panel is
// open or about to open, and the sizes the view lays out with.
struct NotchState {
  bool isOpen = false;
  // The pointer rests on the closed notch; the panel opens unless it leaves
  // within the opening delay (the view lays the panel out already, unseen).
  bool isPreparing = false;
  Size notchSize{186, 32};
  double maxPanelHeight = 700;      // tallest the panel may be on this screen
  double panelContentHeight = 420;  // what the panel's contents want

  // The content below and around the notch: the panel's width and the notch
  // plus the panel's visible height when open, the notch alone when closed.
  Size openContentSize() const;

  friend bool operator==(const NotchState&, const NotchState&) = default;
};

}  // namespace ebbwise::ui
