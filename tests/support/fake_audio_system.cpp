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

constexpr std::uint32_t kProcessObjectList = sys::fourCharCode("prs#");

}  // namespace

void FakeAudioSystem::setBytes(sys::AudioObjectID object, std::uint32_t selector,
                               std::vector<std::uint8_t> bytes, std::uint32_t scope) {
  Property property;
  property.bytes = std::move(bytes);
  properties_[{object, selector, scope}] = std::move(property);
}

void FakeAudioSystem::setUInt32(sys::AudioObjectID object, std::uint32_t selector,
                                std::uint32_t value, std::uint32_t scope) {
  setBytes(object, selector, nativeBytes(&value, 1), scope);
}

void FakeAudioSystem::setInt32(sys::AudioObjectID object, std::uint32_t selector,
                               std::int32_t value) {
  setBytes(object, selector, nativeBytes(&value, 1));
}

void FakeAudioSystem::setObjects(sys::AudioObjectID object, std::uint32_t selector,
                                 const std::vector<sys::AudioObjectID>& ids) {
  setBytes(object, selector, nativeBytes(ids.data(), ids.size()));
}

void FakeAudioSystem::setError(sys::AudioObjectID object, std::uint32_t selector,
                               std::int32_t status, std::uint32_t scope) {
  properties_[{object, selector, scope}].status = status;
}

void FakeAudioSystem::overrideSize(sys::AudioObjectID object, std::uint32_t selector,
                                   std::uint32_t size) {
  properties_[{object, selector, sys::kAudioObjectPropertyScopeGlobal}].reportedSize = size;
}

void FakeAudioSystem::addProcess(sys::AudioObjectID object, std::int32_t pid, bool runningOutput) {
  processes_.push_back(object);
  setObjects(sys::kAudioObjectSystemObject, kProcessObjectList, processes_);
  setUInt32(object, sys::fourCharCode("piro"), runningOutput ? 1 : 0);
  setInt32(object, sys::fourCharCode("ppid"), pid);
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
  const Property* property = find(object, address);
  if (!property) return kUnknownProperty;
  if (property->status != 0) return property->status;
  size = property->reportedSize.value_or(static_cast<std::uint32_t>(property->bytes.size()));
  return 0;
}

std::int32_t FakeAudioSystem::propertyData(sys::AudioObjectID object,
                                           sys::AudioPropertyAddress address,
                                           std::span<std::uint8_t> data, std::uint32_t& size) {
  const Property* property = find(object, address);
  if (!property) return kUnknownProperty;
  if (property->status != 0) return property->status;
  const std::size_t n = std::min({property->bytes.size(), data.size(), std::size_t{size}});
  std::copy_n(property->bytes.begin(), n, data.begin());
  size = static_cast<std::uint32_t>(n);
  return 0;
}

}  // namespace ebbwise::test
