// Files and programs for tests that work on the real file system.
//
// TempFolder owns a fresh folder under the system's temporary directory and
// removes it, with everything in it, when it goes out of scope. The free
// functions read and write whole files byte for byte and run a program in a
// folder with its standard output and standard error captured apart. Every
// test program and fuzz target links them (netforge_test_support).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace TestSupport {

// A fresh, empty folder for the files of one test.
class TempFolder {
 public:
  // Creates the folder; throws std::runtime_error when it cannot.
  TempFolder();
  // Removes the folder and all in it; failures are ignored.
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The path of |name| inside the folder (nothing is created).
  std::string File(const std::string& name) const;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The whole content of the file at |path|; "" when it cannot be opened.
std::string ReadAll(const std::filesystem::path& path);

// Writes |text| as the whole content of the file at |path|, byte for byte.
void WriteText(const std::filesystem::path& path, const std::string& text);

// The names of the entries of |folder|, sorted: to see what a run left there.
std::vector<std::string> FileNamesIn(const std::filesystem::path& folder);

// The path of the shipped example file |name| (examples/ of the source tree).
std::string ExampleFile(const std::string& name);

// What a program run by RunProgram did: its exit status (-1 when it did not
// exit normally) and what it wrote to standard output and standard error.
struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs |program| with |args| (each single-quoted for the shell) in |folder|,
// standard input empty. |limits| is a shell command run first in the same
// shell, e.g. a ulimit. The output is captured through the files stdout.txt
// and stderr.txt in |folder|, which are removed again afterwards.
RunResult RunProgram(const std::filesystem::path& folder, const std::string& program,
                     const std::vector<std::string>& args, const std::string& limits = "");

// Whether this test program runs under AddressSanitizer or under Valgrind,
// which reserve address space of their own and so cannot run under a small
// address space limit.
bool UnderAddressSanitizer();
bool UnderValgrind();

}  // namespace TestSupport
