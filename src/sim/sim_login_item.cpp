#include "sim/sim_login_item.h"

namespace ebbwise::sim {

std::optional<sys::PlatformError> SimLoginItemService::registerItem() {
  if (behaviour_ == LoginItemBehaviour::fail) {
    return sys::PlatformError{"NSPOSIXErrorDomain", 1, "Operation not permitted"};
  }
  if (status_ == sys::LoginItemStatus::enabled ||
      status_ == sys::LoginItemStatus::requiresApproval) {
    return sys::PlatformError{sys::kLoginItemErrorDomain, sys::kLoginItemAlreadyRegistered,
                              "The application is already registered."};
  }
  status_ = behaviour_ == LoginItemBehaviour::needsApproval ? sys::LoginItemStatus::requiresApproval
                                                            : sys::LoginItemStatus::enabled;
  ++registrations_;
  return std::nullopt;
}

std::optional<sys::PlatformError> SimLoginItemService::unregisterItem() {
  if (status_ == sys::LoginItemStatus::notRegistered) {
    return sys::PlatformError{sys::kLoginItemErrorDomain, sys::kLoginItemJobNotFound,
                              "The login item could not be found."};
  }
  status_ = sys::LoginItemStatus::notRegistered;
  return std::nullopt;
}

}  // namespace ebbwise::sim
