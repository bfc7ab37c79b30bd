#include "AtomicFile.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

// Creates a file that did not exist before, named |path| plus a numbered
// suffix; "x" makes the creation fail rather than reuse someone's file.
std::FILE* CreateTemporary(const std::string& path, std::string& name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = path + ".tmp" + std::to_string(attempt);
    if (std::FILE* file = std::fopen(name.c_str(), "wbx")) return file;
  }
  return nullptr;
}

}  // namespace

std::string WriteFileAtomically(const std::string& path, const std::string& text) {
  std::string temporary;
  std::FILE* file = CreateTemporary(path, temporary);
  if (file == nullptr) return "cannot create a temporary file beside it";
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
  const bool closed = std::fclose(file) == 0;
  std::error_code error;
  if (!written || !closed) {
    std::filesystem::remove(temporary, error);
    return "cannot write it";
  }
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return "cannot replace it: " + error.message();
  }
  return "";
}
