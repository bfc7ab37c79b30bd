#include "AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <utility>
#include <vector>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {
  std::string pattern = target_ + ".tmp-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) throw FileFailure{target_, std::string("cannot create a file beside it: ") + std::strerror(errno)};
  // mkstemp gives 0600; the target gets what a newly created file would.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  temporary_ = name.data();
}

AtomicFile::~AtomicFile() {
  if (!committed_) std::remove(temporary_.c_str());
}

void AtomicFile::WriteText(const std::string& text) {
  std::ofstream out(temporary_, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) throw FileFailure{target_, "cannot write the file"};
}

void AtomicFile::Commit() {
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    throw FileFailure{target_, std::string("cannot rename the temporary file into place: ") + std::strerror(errno)};
  }
  committed_ = true;
}
