#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "linux/defaults_document.h"
#include "linux/file_operations.h"
#include "linux/notice.h"
#include "sys/environment.h"
#include "sys/user_defaults.h"

namespace ebbwise::linux_host {

// The user-defaults store of a Linux desktop: one JSON document,
// "settings.json", in the user's configuration folder.
//
// Every change rewrites the document atomically (a new file in the same
// folder, flushed to disk, renamed over the old one, the folder flushed), so
// a crash at any moment leaves the old document or the new one, never a torn
// one. Changes from other Ebbwise processes are merged under a lock on the
// folder, so two processes writing different keys keep both. A document that
// cannot be read as ours is moved aside, never deleted, and the store starts
// empty; a folder that cannot be written keeps every change for the rest of
// the run. Each of these is said once through the notice. Values nested
// deeper than the document allows are not stored; numbers that are not
// finite are stored as null.
class FileUserDefaults final : public sys::UserDefaults {
 public:
  static constexpr const char* kFileName = "settings.json";

  // $XDG_CONFIG_HOME/ebbwise when that variable holds an absolute path, else
  // ~/.config/ebbwise; nothing without a home folder.
  static std::optional<std::string> folderFor(sys::Environment& environment);

  explicit FileUserDefaults(std::string folder, Notice notice = standardErrorNotice());
  // With the file-system calls given, which must outlive the store.
  FileUserDefaults(std::string folder, FileOperations& files,
                   Notice notice = standardErrorNotice());

  std::optional<sys::Value> object(std::string_view key) override;
  void setObject(std::string_view key, sys::Value value) override;
  void removeObject(std::string_view key) override;

  // The document's path.
  std::string path() const { return folder_ + "/" + kFileName; }

 private:
  using Values = DefaultsDocument::Values;

  void load();
  // Records a change (a value, or nothing for a removal) and saves it.
  void change(std::string_view key, std::optional<sys::Value> value);
  // The document as another process may have left it; nothing when it
  // cannot be used (then it is moved aside or left alone, and said so).
  std::optional<Values> readDocument();
  void moveAside(const std::string& problem);
  int writeDocument(const Values& values);

  std::unique_ptr<FileOperations> ownFiles_;
  FileOperations& files_;
  std::string folder_;
  Notice notice_;

  std::mutex mutex_;
  Values values_;
  // Changes not yet on disk: a value, or nothing for a removed key.
  std::map<std::string, std::optional<sys::Value>, std::less<>> unsaved_;
  // The file is there but could be neither read nor moved aside: it is never
  // replaced, and changes stay in memory.
  bool leaveFileAlone_ = false;
  bool saidCannotSave_ = false;
};

}  // namespace ebbwise::linux_host
