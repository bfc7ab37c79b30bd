#include "ReplacedFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

// The permissions a new file gets: 0666 less the process's umask.
mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

ReplacedFile::ReplacedFile(const std::string& path) : target_(path), writePath_(path) {
  if (path.empty()) return;
  std::error_code error;
  if (std::filesystem::is_symlink(path, error)) {
    const std::filesystem::path resolved = std::filesystem::canonical(path, error);
    if (error) return;  // a dangling link: written through as before
    target_ = resolved.string();
  }
  struct stat existing {};
  const bool exists = stat(target_.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) return;

  std::string name = target_ + ".tmp-XXXXXX";
  std::vector<char> pattern(name.begin(), name.end());
  pattern.push_back('\0');
  const int fd = mkstemp(pattern.data());
  if (fd < 0) {  // the folder cannot take it: written directly
    error_ = std::error_code(errno, std::generic_category());
    return;
  }
  fchmod(fd, exists ? (existing.st_mode & 07777) : NewFileMode());
  close(fd);
  writePath_ = pattern.data();
  pending_ = true;
}

ReplacedFile::~ReplacedFile() {
  if (pending_) std::remove(writePath_.c_str());
}

bool ReplacedFile::Write(const std::string& text) const {
  std::FILE* file = std::fopen(writePath_.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

bool ReplacedFile::Commit() {
  if (!pending_) return true;
  pending_ = false;
  if (std::rename(writePath_.c_str(), target_.c_str()) == 0) return true;
  error_ = std::error_code(errno, std::generic_category());
  std::remove(writePath_.c_str());
  return false;
}
