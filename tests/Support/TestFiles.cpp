#include "Support/TestFiles.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace TestSupport {

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "netforge-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TempFolder::File(const std::string& name) const { return (path_ / name).string(); }

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::vector<std::string> FileNamesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string ExampleFile(const std::string& name) { return std::string(NETFORGE_SOURCE_DIR) + "/examples/" + name; }

RunResult RunProgram(const fs::path& folder, const std::string& program, const std::vector<std::string>& args,
                     const std::string& limits) {
  std::string command = limits.empty() ? "" : limits + " && ";
  command += "cd '" + folder.string() + "' && '" + program + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  command += " >stdout.txt 2>stderr.txt </dev/null";
  const int raw = std::system(command.c_str());
  RunResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = ReadAll(folder / "stdout.txt");
  result.err = ReadAll(folder / "stderr.txt");
  std::error_code ignored;
  fs::remove(folder / "stdout.txt", ignored);
  fs::remove(folder / "stderr.txt", ignored);
  return result;
}

bool UnderAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

// Valgrind preloads its own libraries into the program it runs.
bool UnderValgrind() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::strstr(preload, "vgpreload") != nullptr;
}

}  // namespace TestSupport
