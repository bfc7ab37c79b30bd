// A per-process scratch file for fuzz targets whose code under test reads and
// writes named files.
#ifndef NETFORGE_FUZZ_FUZZTEMPFILE_H
#define NETFORGE_FUZZ_FUZZTEMPFILE_H

#include <cstddef>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

// The name of scratch file |slot| of this process (removed at exit).
inline std::string FuzzTempName(int slot) {
  // Memory-backed where the system has it: the targets rewrite these files on
  // every input.
  static const std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  static const std::string base = folder + "/netforge-fuzz-" + std::to_string(getpid()) + "-";
  struct Remover {
    ~Remover() {
      for (int i = 0; i < 4; ++i) std::remove((base + std::to_string(i)).c_str());
    }
  };
  static Remover remover;
  return base + std::to_string(slot);
}

inline void WriteWholeFile(const std::string& name, const char* data, std::size_t size) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(data, static_cast<std::streamsize>(size));
}

inline std::string ReadWholeFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#endif  // NETFORGE_FUZZ_FUZZTEMPFILE_H
