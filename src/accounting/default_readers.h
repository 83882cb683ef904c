#pragma once

#include "accounting/tracker_readers.h"
#include "sys/platform.h"

namespace ebbwise {

// The tracker's readers over a platform's services: chip energy from a chip
// power reader, whole-system energy from a system power meter (taken on the
// meter's own queue), GPU time from the accelerators' clients and process
// identities from the process scanner. The reader and the meter are created
// here and live as long as the returned functions; a meter whose SMC cannot
// be opened yet is tried again later. On a platform without those services
// the matching readers answer nothing.
TrackerReaders defaultReaders(const sys::Platform& platform);

}  // namespace ebbwise
