// Writing a file so that it is either whole or untouched.
//
// WriteAtomically has |write| fill a new temporary file in the target's
// folder, then renames it over the target. A failure (the writer throws, the
// disk is full) or a kill before the rename leaves the target as it was; the
// temporary file is removed on failure.
#ifndef NETFORGE_TRAINTOOL_ATOMICFILE_H
#define NETFORGE_TRAINTOOL_ATOMICFILE_H

#include <functional>
#include <string>

struct FileFailure {
  std::string file;
  std::string message;
};

// Calls write(temporaryName) and renames the file it wrote to |target|.
// Throws FileFailure when the temporary file cannot be made or renamed;
// whatever |write| throws passes through after the temporary file is gone.
void WriteAtomically(const std::string& target, const std::function<void(const std::string&)>& write);

// Writes |text| as the whole file |target|, atomically.
void WriteTextAtomically(const std::string& target, const std::string& text);

#endif  // NETFORGE_TRAINTOOL_ATOMICFILE_H
