#include "accounting/app_share.h"

#include <algorithm>

namespace ebbwise {

bool AppShare::isMeasuredPart(std::string_view name) {
  return std::ranges::find(measuredParts, name) != measuredParts.end();
}

bool AppShare::isSimplePart(std::string_view name) {
  return std::ranges::find(simpleParts, name) != simpleParts.end();
}

bool AppShare::isUSBDevice(std::string_view name) {
  return name.ends_with(usbChargingSuffix) || name == usbUnknownName;
}

bool AppShare::isGroup(std::string_view name) {
  return name == systemName || name == otherName || isMeasuredPart(name) || isSimplePart(name) ||
         isUSBDevice(name);
}

}  // namespace ebbwise
