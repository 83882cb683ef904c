#pragma once

#include <optional>

namespace ebbwise::sim {

// Where a real Mac is less obliging than a reader would like, and how far the
// simulated one follows it. The defaults are a real machine's behaviour; a
// scenario turns each off (or up) under "machine"."platform".
struct PlatformQuirks {
  // The monitor runs as root. Otherwise, as on a Mac, the kernel keeps
  // another user's processes (the window server, launchd, root daemons) to
  // itself: their path and responsibility are given, their energy counter,
  // BSD record, arguments and folder are not.
  bool privileged = false;
  // Energy-model unit labels spelt as chips spell them: some padded with
  // spaces, micro written with the micro sign or the Greek letter mu.
  bool variedUnitLabels = true;
  // Share of energy-model samples that fail.
  double failedSamples = 0.001;
  // "CPU Energy" is a counter of its own, rounded on its own, rather than the
  // sum of its clusters' published integers.
  bool cpuTotalOwnCounter = true;
  // Whether the SMC has the charger-power key "PDTR"; by default every
  // generation but the second.
  std::optional<bool> chargerPowerKey;
  // Share of SMC calls that fail for a moment (a busy controller, a timeout).
  double smcErrors = 0.001;
  // How many opens of the SMC are refused before one succeeds.
  int smcOpenFailures = 0;
  // Accelerator clients that have not run any GPU work yet carry no usage
  // entry at all.
  bool idleGPUClients = true;
  // Whether the keyboard-brightness client answers "copyKeyboardBacklightIDs";
  // by default every generation but the newest.
  std::optional<bool> keyboardBacklightIDs;
  // One built-in output device whose data source tells speakers from
  // headphones (older Macs). Otherwise headphones in the jack are a built-in
  // device of their own and neither device has a data source.
  bool outputDataSource = false;
  // The built-in screen's brightness can be set (a managed Mac, or a display
  // mode that holds it, refuses).
  bool brightnessSettable = true;
  // The keyboard has a backlight the keyboard-brightness client lists.
  bool keyboardBacklight = true;
  // An audio engine can start on the default output.
  bool audioEngineStarts = true;

  bool hasChargerPowerKey(int chip) const { return chargerPowerKey.value_or(chip != 2); }
  bool hasKeyboardBacklightIDs(int chip) const { return keyboardBacklightIDs.value_or(chip <= 3); }
};

}  // namespace ebbwise::sim
