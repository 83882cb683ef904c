#include "ui/notch_state.h"

#include <algorithm>

#include "ui/notch_metrics.h"

namespace ebbwise::ui {

Size NotchState::openContentSize() const {
  if (!isOpen) return notchSize;
  return Size{NotchMetrics::panelWidth,
              notchSize.height + std::min(panelContentHeight, maxPanelHeight)};
}

}  // namespace ebbwise::ui
