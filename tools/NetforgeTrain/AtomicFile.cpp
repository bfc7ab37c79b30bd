#include "AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A new empty file "<target>.tmp-XXXXXX" beside the target, readable as an
// ordinary new file would be (mkstemp alone gives 0600).
std::string MakeTemporary(const std::string& target) {
  std::string pattern = target + ".tmp-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) throw FileFailure{target, std::string("cannot create a temporary file beside it: ") + std::strerror(errno)};
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  return std::string(name.data());
}

}  // namespace

void WriteAtomically(const std::string& target, const std::function<void(const std::string&)>& write) {
  const std::string temporary = MakeTemporary(target);
  try {
    write(temporary);
  } catch (...) {
    std::remove(temporary.c_str());
    throw;
  }
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    std::remove(temporary.c_str());
    throw FileFailure{target, std::string("cannot rename the temporary file into place: ") + std::strerror(error)};
  }
}

void WriteTextAtomically(const std::string& target, const std::string& text) {
  WriteAtomically(target, [&](const std::string& temporary) {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) throw FileFailure{target, "cannot write the file"};
  });
}
