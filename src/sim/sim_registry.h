#pragma once

#include "sim/machine_model.h"
#include "sys/registry.h"

namespace ebbwise::sim {

// The machine's I/O registry: the battery service, the graphics accelerator
// with one user-client entry per process that opened it (GPU time grows with
// the process's GPU energy; an idle client may have no usage record at all),
// and the USB Power Delivery partner on each
// USB-C port in use. Property dictionaries are built on request from the
// model at the current time.
class SimRegistry final : public sys::Registry {
 public:
  explicit SimRegistry(MachineModel& model) : model_(model) {}

  std::vector<sys::RegistryEntry> matchingServices(std::string_view className) override;
  std::optional<sys::Value> properties(sys::RegistryEntry entry) override;
  std::optional<sys::Value> property(sys::RegistryEntry entry, std::string_view key) override;
  std::vector<sys::RegistryEntry> descendants(sys::RegistryEntry entry) override;

  static constexpr sys::RegistryEntry kBattery = 1;
  static constexpr sys::RegistryEntry kAccelerator = 2;
  static constexpr sys::RegistryEntry kKernelClient = 3;  // a client with no usage record
  static constexpr sys::RegistryEntry kPortBase = 100;    // + port number
  static constexpr sys::RegistryEntry kClientBase = 1 << 20;

 private:
  struct Client {
    int process = -1;
    int index = 0;
  };
  std::optional<Client> client(sys::RegistryEntry entry) const;
  std::optional<std::int64_t> partnerVendor(int port) const;
  std::optional<sys::Value> entryProperties(sys::RegistryEntry entry) const;
  std::optional<sys::Value> appUsage(const Client& c) const;

  MachineModel& model_;
};

}  // namespace ebbwise::sim
