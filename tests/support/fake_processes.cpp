#include "support/fake_processes.h"

#include <algorithm>
#include <cstring>

namespace ebbwise::test {

std::vector<std::uint8_t> procArgsBuffer(std::string_view executablePath,
                                         const std::vector<std::string>& arguments,
                                         const std::vector<std::string>& environment) {
  std::vector<std::uint8_t> bytes(sizeof(std::int32_t));
  const auto argc = static_cast<std::int32_t>(arguments.size());
  std::memcpy(bytes.data(), &argc, sizeof argc);
  const auto appendString = [&bytes](std::string_view text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
  };
  appendString(executablePath);
  while (bytes.size() % 8 != 0) bytes.push_back(0);
  for (const auto& argument : arguments) appendString(argument);
  for (const auto& entry : environment) appendString(entry);
  bytes.insert(bytes.end(), 16, 0);
  return bytes;
}

FakeProcess& FakeProcesses::add(FakeProcess process) {
  std::erase_if(table_, [&](const FakeProcess& p) { return p.pid == process.pid; });
  return table_.emplace_back(std::move(process));
}

const FakeProcess* FakeProcesses::find(sys::Pid pid) const {
  const auto it = std::ranges::find(table_, pid, &FakeProcess::pid);
  return it == table_.end() ? nullptr : &*it;
}

const FakeProcess* FakeProcesses::field(sys::Pid pid) const {
  static const FakeProcess none;
  const FakeProcess* p = find(pid);
  return p ? p : &none;
}

int FakeProcesses::listAllPids(std::span<sys::Pid> buffer) {
  if (buffer.empty()) {
    return countAnswer.value_or(static_cast<int>(table_.size()));
  }
  const std::size_t written = std::min(buffer.size(), table_.size());
  for (std::size_t i = 0; i < written; ++i) buffer[i] = table_[i].pid;
  return listAnswer.value_or(static_cast<int>(written));
}

std::optional<sys::RusageV6> FakeProcesses::rusage(sys::Pid pid) {
  const FakeProcess* p = find(pid);
  if (!p || p->rusageFails) return std::nullopt;
  return sys::RusageV6{p->start, p->energyNJ};
}

std::optional<std::vector<std::uint8_t>> FakeProcesses::argumentArea(sys::Pid pid) {
  const FakeProcess* p = field(pid);
  if (!p->argv) return std::nullopt;
  return procArgsBuffer(p->path.value_or(p->argv->empty() ? "" : p->argv->front()), *p->argv,
                        p->env);
}

std::optional<std::size_t> FakeProcesses::procArgsSize(sys::Pid pid) {
  const auto bytes = argumentArea(pid);
  if (!bytes) return std::nullopt;
  return procArgsSizeAnswer.value_or(bytes->size());
}

std::optional<std::size_t> FakeProcesses::procArgs(sys::Pid pid, std::span<std::uint8_t> buffer) {
  const auto bytes = argumentArea(pid);
  if (!bytes) return std::nullopt;
  const std::size_t written = std::min(buffer.size(), bytes->size());
  std::copy_n(bytes->begin(), written, buffer.begin());
  return procArgsWrittenAnswer.value_or(written);
}

sys::Pid FakeProcesses::responsiblePid(sys::Pid pid) {
  const FakeProcess* p = find(pid);
  if (!p) return -1;
  return p->responsible == 0 ? pid : p->responsible;
}

}  // namespace ebbwise::test
