// ReplacedFile: writes a tool's output file through a temporary file beside
// it, so that a failure part way through leaves the file as it was.
//
// The temporary file ("<name>.tmp-XXXXXX") is made in the folder of the file
// (of its target, when the name is a symbolic link, so the link stays), with
// the file's permissions or, for a new file, the usual ones. Commit renames
// it into place; a ReplacedFile that is destroyed without Commit removes it.
// Where the name is not a regular file (a device such as /dev/full, a pipe, a
// folder) the file itself is written, so a device is never renamed over:
// WritePath is then the name itself and a failure shows there. Where no
// temporary file can be made, the file itself is written too, and Error says
// why; a tool that must never write in place refuses then. An empty name
// makes nothing. Not thread-safe.
#ifndef NETFORGE_TOOLSUPPORT_REPLACEDFILE_H
#define NETFORGE_TOOLSUPPORT_REPLACEDFILE_H

#include <string>
#include <system_error>

class ReplacedFile {
 public:
  explicit ReplacedFile(const std::string& path);
  ~ReplacedFile();
  ReplacedFile(const ReplacedFile&) = delete;
  ReplacedFile& operator=(const ReplacedFile&) = delete;

  // The name to write to.
  const std::string& WritePath() const { return writePath_; }
  // Whether WritePath is a temporary file that Commit renames into place.
  bool HasTemporary() const { return pending_; }
  // Why no temporary file could be made, or, after a failed Commit, why the
  // rename failed; empty otherwise.
  const std::error_code& Error() const { return error_; }

  // Writes |text| as the whole content of WritePath. Returns false when it
  // cannot be opened or written.
  bool Write(const std::string& text) const;
  // Puts what was written at WritePath in place of the file. Returns false
  // when the rename fails (Error says why; the temporary file is removed).
  bool Commit();

 private:
  std::string target_;     // the file to replace
  std::string writePath_;  // the temporary file, or |target_| itself
  bool pending_ = false;   // a temporary file exists and is not yet renamed
  std::error_code error_;
};

#endif  // NETFORGE_TOOLSUPPORT_REPLACEDFILE_H
