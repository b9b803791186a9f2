// Small whole-file operations for the console's trust store: read telling "missing" from
// "unreadable", replace through a unique temporary file flushed before the rename, and a lock
// that several programs of one user take around a read-modify-write. Paths are UTF-8; on
// Windows every call is the wide-character one, so any user or folder name works.
#pragma once

#include <cstddef>
#include <string>

namespace tavi {

enum class FileRead { Ok, Missing, Failed };

// The whole file into `out`. Missing: the file or its folder does not exist. Failed (with
// `why`): any other error, or a file larger than `limit` bytes.
FileRead ReadWholeFile(const std::string& path, std::size_t limit, std::string& out,
                       std::string& why);

// Writes `content` to a new file of a unique name beside `path`, flushes it to the disk,
// then renames it over `path`: a crash or a second writer leaves the old or the new file,
// never half of one. The temporary file is removed when anything fails.
bool ReplaceWholeFile(const std::string& path, const std::string& content, std::string& why);

// A lock on `path` + ".lock" (the store itself is replaced by renames, so it cannot carry
// the lock): shared for reading, exclusive for a read-modify-write. Waits at most
// `kWaitMilliseconds` for another holder; held() tells whether it was had.
class StoreLock {
 public:
  static constexpr int kWaitMilliseconds = 10000;
  StoreLock(const std::string& path, bool exclusive);
  ~StoreLock();
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  bool held() const { return held_; }
  // Not held because the folder does not exist: then neither does the store.
  bool noFolder() const { return noFolder_; }

 private:
  bool held_ = false;
  bool noFolder_ = false;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

// The folder for the user's own settings, made when missing: the roaming application data
// folder + "\Netvane" (SHGetKnownFolderPath) on Windows, $HOME/.netvane natively. Empty
// when there is none.
std::string UserSettingsFolder();
// A file of that name in UserSettingsFolder(); empty when there is none.
std::string UserSettingsFile(const char* name);
// An environment value as UTF-8 (GetEnvironmentVariableW on Windows); empty when unset. Only
// the test settings (test_settings.h) read the environment.
std::string EnvironmentText(const char* name);

}  // namespace tavi
