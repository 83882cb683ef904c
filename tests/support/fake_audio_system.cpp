#include "support/fake_audio_system.h"

#include <algorithm>
#include <cstring>

namespace ebbwise::test {

namespace {

template <typename T>
std::vector<std::uint8_t> nativeBytes(const T* values, std::size_t count) {
  std::vector<std::uint8_t> bytes(count * sizeof(T));
  if (count) std::memcpy(bytes.data(), values, bytes.size());
  return bytes;
}

}  // namespace

void FakeAudioSystem::setUInt32(sys::AudioObjectID object, std::uint32_t selector,
                                std::uint32_t value, std::uint32_t scope) {
  property(object, selector, scope) = Property{nativeBytes(&value, 1), 0, std::nullopt};
}

void FakeAudioSystem::addProcess(sys::AudioObjectID object, std::int32_t pid, bool runningOutput) {
  processes_.push_back(object);
  property(sys::kAudioObjectSystemObject, sys::fourCharCode("prs#")) =
      Property{nativeBytes(processes_.data(), processes_.size()), 0, std::nullopt};
  setUInt32(object, sys::fourCharCode("piro"), runningOutput ? 1 : 0);
  property(object, sys::fourCharCode("ppid")) = Property{nativeBytes(&pid, 1), 0, std::nullopt};
}

void FakeAudioSystem::setOutput(sys::AudioObjectID device, std::uint32_t transport,
                                std::optional<std::uint32_t> dataSource) {
  setUInt32(sys::kAudioObjectSystemObject, sys::fourCharCode("dOut"), device);
  setUInt32(device, sys::fourCharCode("tran"), transport);
  if (dataSource) {
    setUInt32(device, sys::fourCharCode("ssrc"), *dataSource, sys::kAudioObjectPropertyScopeOutput);
  }
}

const FakeAudioSystem::Property* FakeAudioSystem::find(sys::AudioObjectID object,
                                                       sys::AudioPropertyAddress address) const {
  // Every property here lives on the main element only.
  if (address.element != sys::kAudioObjectPropertyElementMain) return nullptr;
  auto it = properties_.find({object, address.selector, address.scope});
  return it == properties_.end() ? nullptr : &it->second;
}

std::int32_t FakeAudioSystem::propertyDataSize(sys::AudioObjectID object,
                                               sys::AudioPropertyAddress address,
                                               std::uint32_t& size) {
  const Property* p = find(object, address);
  if (!p || p->status != 0) return p ? p->status : kUnknownProperty;
  size = p->reportedSize.value_or(static_cast<std::uint32_t>(p->bytes.size()));
  return 0;
}

std::int32_t FakeAudioSystem::propertyData(sys::AudioObjectID object,
                                           sys::AudioPropertyAddress address,
                                           std::span<std::uint8_t> data, std::uint32_t& size) {
  const Property* p = find(object, address);
  if (!p || p->status != 0) return p ? p->status : kUnknownProperty;
  const std::size_t n = std::min({p->bytes.size(), data.size(), std::size_t{size}});
  std::copy_n(p->bytes.begin(), n, data.begin());
  size = static_cast<std::uint32_t>(n);
  return 0;
}

}  // namespace ebbwise::test
