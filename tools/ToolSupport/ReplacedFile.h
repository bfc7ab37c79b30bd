// ReplacedFile: writes a file through a temporary file beside it, so that a
// failure part way through leaves the file as it was.
//
// The temporary file is made in the folder of the file (of its target, when
// the name is a symbolic link), with the file's permissions or, for a new
// file, the usual ones. Commit renames it into place; a ReplacedFile that is
// destroyed without Commit removes it. Where no such file can be made, or the
// name is not a regular file (a device such as /dev/full, a pipe, a folder),
// the file itself is written, as before: WritePath is then the name itself
// and a failure shows there. An empty name makes nothing. Not thread-safe.
#ifndef NETFORGE_EVALTOOL_REPLACEDFILE_H
#define NETFORGE_EVALTOOL_REPLACEDFILE_H

#include <string>

class ReplacedFile {
 public:
  explicit ReplacedFile(const std::string& path);
  ~ReplacedFile();
  ReplacedFile(const ReplacedFile&) = delete;
  ReplacedFile& operator=(const ReplacedFile&) = delete;

  // The name to write to.
  const std::string& WritePath() const { return writePath_; }
  // Puts what was written at WritePath in place of the file. Returns false
  // when the rename fails (the temporary file is then removed).
  bool Commit();

 private:
  std::string target_;     // the file to replace
  std::string writePath_;  // the temporary file, or |target_| itself
  bool pending_ = false;   // a temporary file exists and is not yet renamed
};

#endif  // NETFORGE_EVALTOOL_REPLACEDFILE_H
