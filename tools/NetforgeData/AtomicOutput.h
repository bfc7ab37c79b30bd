// AtomicOutput: writes NetforgeData's data set files so that a failure never
// leaves a half-written or clobbered file.
//
// Every file is first written under a temporary name in its own folder, then
// renamed into place (ToolSupport/ReplacedFile.h: links are followed,
// permissions kept, devices written directly); a rename within one folder
// replaces the file at once, so readers see the old file or the new one,
// never a part. A command with
// several outputs renames only when all of them were written, so it writes
// all or (barring a failure between the renames) none.
#ifndef NETFORGE_DATATOOL_ATOMICOUTPUT_H
#define NETFORGE_DATATOOL_ATOMICOUTPUT_H

#include <stdexcept>
#include <string>
#include <vector>

class Data;

// A file that cannot be written, with its name.
struct OutputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct OutputFile {
  std::string path;
  Data* data;  // the first data set of the file; stays the caller's
};

// Writes each data set to its file, numbers in their exact form (each reads
// back as the very double written). Throws OutputError, leaving every output
// file as it was and no temporary file behind, when one cannot be written.
void WriteDataSetFiles(const std::vector<OutputFile>& outputs);

#endif  // NETFORGE_DATATOOL_ATOMICOUTPUT_H
