#include "transport/platform/store_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "transport/core/crypto.h"

namespace tavi {

namespace {
std::string ErrorText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

std::string UniqueSuffix() {
  uint8_t random[8] = {};
  crypto::Random(random, sizeof random);  // O_EXCL refuses a clash in any case
  static const char kHex[] = "0123456789abcdef";
  std::string out = "." + std::to_string(getpid()) + ".";
  for (uint8_t b : random) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
  return out + ".tmp";
}
}  // namespace

FileRead ReadWholeFile(const std::string& path, std::size_t limit, std::string& out,
                       std::string& why) {
  out.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return FileRead::Missing;
    why = ErrorText("cannot be opened");
    return FileRead::Failed;
  }
  char buffer[8192];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = ErrorText("cannot be read");
      close(fd);
      return FileRead::Failed;
    }
    if (n == 0) break;
    if (out.size() + static_cast<std::size_t>(n) > limit) {
      why = "is larger than " + std::to_string(limit) + " bytes";
      close(fd);
      return FileRead::Failed;
    }
    out.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return FileRead::Ok;
}

bool ReplaceWholeFile(const std::string& path, const std::string& content, std::string& why) {
  const std::string temporary = path + UniqueSuffix();
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    why = ErrorText("temporary file cannot be made");
    return false;
  }
  std::size_t done = 0;
  bool ok = true;
  while (ok && done < content.size()) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      why = ErrorText("cannot be written");
      ok = false;
    } else {
      done += static_cast<std::size_t>(n);
    }
  }
  if (ok && fsync(fd) != 0) {
    why = ErrorText("cannot be flushed");
    ok = false;
  }
  if (close(fd) != 0 && ok) {
    why = ErrorText("cannot be closed");
    ok = false;
  }
  if (ok && rename(temporary.c_str(), path.c_str()) != 0) {
    why = ErrorText("cannot be replaced");
    ok = false;
  }
  if (!ok) unlink(temporary.c_str());
  return ok;
}

StoreLock::StoreLock(const std::string& path, bool exclusive) {
  fd_ = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    noFolder_ = errno == ENOENT;
    return;
  }
  // flock: held per open file, so two stores of one process exclude each other as two
  // programs do.
  const int operation = (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  for (int waited = 0; waited <= kWaitMilliseconds; waited += 10) {
    if (flock(fd_, operation) == 0) {
      held_ = true;
      return;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

StoreLock::~StoreLock() {
  if (fd_ >= 0) close(fd_);  // releases the lock
}

std::string UserSettingsFolder() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return std::string();
  const std::string folder = std::string(home) + "/.netvane";
  mkdir(folder.c_str(), 0700);
  return folder;
}

std::string UserSettingsFile(const char* name) {
  const std::string folder = UserSettingsFolder();
  return folder.empty() ? folder : folder + "/" + name;
}

std::string EnvironmentText(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace tavi
