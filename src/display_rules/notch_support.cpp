#include "display_rules/notch_support.h"

namespace ebbwise {

NotchSupport decideNotchSupport(bool notchVisible, bool seenNotchBefore, bool hasBattery,
                                bool builtInDisplayOnline) {
  if (notchVisible) return NotchSupport::show;
  if (seenNotchBefore) return NotchSupport::wait;
  if (!hasBattery) return NotchSupport::unsupported;
  return builtInDisplayOnline ? NotchSupport::unsupported : NotchSupport::wait;
}

}  // namespace ebbwise
