#pragma once

namespace ebbwise {

// Whether the notch display can be shown on this Mac now.
enum class NotchSupport {
  show,         // a notch is visible
  wait,         // no notch now, but one may appear (lid closed, notch seen before)
  unsupported,  // a Mac without a notched built-in screen
};

// A Mac that once showed a notch, or whose built-in screen is off with the
// lid closed, may show one later; a Mac with a battery whose built-in screen
// is on without a notch, or without any battery, never will.
NotchSupport decideNotchSupport(bool notchVisible, bool seenNotchBefore, bool hasBattery,
                                bool builtInDisplayOnline);

}  // namespace ebbwise
