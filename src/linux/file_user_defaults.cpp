#include "linux/file_user_defaults.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ebbwise::linux_host {

namespace {

constexpr const char* kLockName = "settings.lock";
// Enough numbered places for moved-aside files; past that the file stays put.
constexpr int kMaxAsideNames = 1000;

std::string reason(int error) {
  return std::strerror(error);
}

void apply(DefaultsDocument::Values& values, std::string_view key,
           const std::optional<sys::Value>& value) {
  if (value) {
    values.insert_or_assign(std::string(key), *value);
  } else if (const auto it = values.find(key); it != values.end()) {
    values.erase(it);
  }
}

}  // namespace

std::optional<std::string> FileUserDefaults::folderFor(sys::Environment& environment) {
  if (auto config = environment.variable("XDG_CONFIG_HOME");
      config && !config->empty() && config->front() == '/') {
    return *config + "/ebbwise";
  }
  auto home = environment.homeDirectory();
  if (!home) return std::nullopt;
  return *home + "/.config/ebbwise";
}

FileUserDefaults::FileUserDefaults(std::string folder, Notice notice)
    : ownFiles_(std::make_unique<PosixFileOperations>()),
      files_(*ownFiles_),
      folder_(std::move(folder)),
      notice_(std::move(notice)) {
  load();
}

FileUserDefaults::FileUserDefaults(std::string folder, FileOperations& files, Notice notice)
    : files_(files), folder_(std::move(folder)), notice_(std::move(notice)) {
  load();
}

void FileUserDefaults::load() {
  std::lock_guard hold(mutex_);
  if (auto values = readDocument()) values_ = std::move(*values);
}

std::optional<DefaultsDocument::Values> FileUserDefaults::readDocument() {
  std::string text;
  const int error = files_.readFile(path(), DefaultsDocument::kMaxSize, text);
  if (error == ENOENT || error == ENOTDIR) return Values{};
  if (error == EFBIG) {
    moveAside("it is larger than a settings file can be");
    return std::nullopt;
  }
  if (error != 0) {
    if (!leaveFileAlone_) {
      say(notice_,
          "Ebbwise cannot read its settings file " + path() + ": " + reason(error) +
              ". It starts with default settings and leaves the file as it is; changes last "
              "until Ebbwise quits.");
    }
    leaveFileAlone_ = true;
    return std::nullopt;
  }
  auto decoded = DefaultsDocument::decode(text);
  if (!decoded.values) {
    moveAside(decoded.problem);
    return std::nullopt;
  }
  return std::move(decoded.values);
}

void FileUserDefaults::moveAside(const std::string& problem) {
  int error = EEXIST;
  std::string aside;
  for (int n = 1; n <= kMaxAsideNames && error == EEXIST; ++n) {
    aside = path() + ".unreadable";
    if (n > 1) {
      aside += '-';
      aside += std::to_string(n);
    }
    error = files_.renameNoReplace(path(), aside);
  }
  if (error == 0) {
    // Durability of the move is not worth failing for: at worst the file is
    // still in place at the next start and is moved again.
    files_.syncFolder(folder_);
    say(notice_, "Ebbwise could not read its settings file " + path() + " (" + problem +
                     "). It was moved to " + aside + ", and Ebbwise starts with default settings.");
    return;
  }
  if (error == ENOENT) return;  // another process moved it first
  say(notice_,
      "Ebbwise could not read its settings file " + path() + " (" + problem +
          ") and could not move it aside: " + reason(error) +
          ". It starts with default settings and leaves the file as it is; changes last until "
          "Ebbwise quits.");
  leaveFileAlone_ = true;
}

std::optional<sys::Value> FileUserDefaults::object(std::string_view key) {
  std::lock_guard hold(mutex_);
  const auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

void FileUserDefaults::setObject(std::string_view key, sys::Value value) {
  if (!DefaultsDocument::fits(value)) return;
  // Kept as the file keeps it, so the running app and the next run agree.
  value = DefaultsDocument::normalized(std::move(value));
  if (value.is_null()) return removeObject(key);
  change(key, std::move(value));
}

void FileUserDefaults::removeObject(std::string_view key) {
  change(key, std::nullopt);
}

void FileUserDefaults::change(std::string_view key, std::optional<sys::Value> value) {
  std::lock_guard hold(mutex_);
  const auto it = values_.find(key);
  const bool same = value ? it != values_.end() && it->second == *value : it == values_.end();
  // Values written every tick mostly do not change; those cost no disk work.
  if (same && unsaved_.empty()) return;
  apply(values_, key, value);
  unsaved_.insert_or_assign(std::string(key), std::move(value));
  if (leaveFileAlone_) return;

  int error = files_.makeFolders(folder_);
  UniqueFd lock;
  // Without the lock (a folder that is not ours to write) the write below
  // fails and says why; a failed lock alone is no reason to stop.
  if (error == 0) files_.lock(folder_ + "/" + kLockName, lock);
  if (error == 0) {
    const auto stored = readDocument();
    if (!stored && leaveFileAlone_) return;
    Values merged;
    if (stored) {
      merged = *stored;
      for (const auto& [k, v] : unsaved_) apply(merged, k, v);
    } else {
      merged = values_;  // the file was moved aside: start it afresh from this run's values
    }
    if (!stored || merged != *stored) error = writeDocument(merged);
    if (error == 0) {
      values_ = std::move(merged);
      unsaved_.clear();
      return;
    }
  }
  if (!saidCannotSave_) {
    say(notice_, "Ebbwise cannot save its settings in " + folder_ + ": " + reason(error) +
                     ". Changes last until Ebbwise quits.");
    saidCannotSave_ = true;
  }
}

int FileUserDefaults::writeDocument(const Values& values) {
  const std::string text = DefaultsDocument::encode(values);
  // One temporary name per process, so that two processes never write into
  // the same file; the lock already keeps this process's writes in turn.
  const std::string temporary = path() + ".tmp-" + std::to_string(::getpid());
  files_.remove(temporary);  // left by an earlier process with this pid that crashed
  UniqueFd file;
  int error = files_.createNew(temporary, file);
  if (error != 0) return error;
  error = files_.writeAll(file.get(), text);
  if (error == 0) error = files_.sync(file.get());
  const int closed = files_.close(file);
  if (error == 0) error = closed;
  if (error == 0) error = files_.rename(temporary, path());
  if (error != 0) {
    files_.remove(temporary);
    return error;
  }
  return files_.syncFolder(folder_);
}

}  // namespace ebbwise::linux_host
