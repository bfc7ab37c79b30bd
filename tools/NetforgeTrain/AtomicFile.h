// AtomicFile: a file written so that it is either whole or untouched.
//
// The constructor makes a new empty temporary file beside the target
// ("<target>.tmp-XXXXXX"), so a run learns before any long work that it can
// write there. The owner writes the temporary file (TemporaryName), then
// Commit renames it over the target. An AtomicFile destroyed without Commit
// removes its temporary file and leaves the target as it was; a kill leaves
// at most a stray temporary file, never a half-written target.
#ifndef NETFORGE_TRAINTOOL_ATOMICFILE_H
#define NETFORGE_TRAINTOOL_ATOMICFILE_H

#include <string>

struct FileFailure {
  std::string file;
  std::string message;
};

class AtomicFile {
 public:
  // Throws FileFailure when no file can be made beside |target|.
  explicit AtomicFile(std::string target);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  const std::string& TemporaryName() const { return temporary_; }
  // Writes |text| as the whole temporary file; throws FileFailure.
  void WriteText(const std::string& text);
  // Renames the temporary file over the target; throws FileFailure.
  void Commit();

 private:
  std::string target_;
  std::string temporary_;
  bool committed_ = false;
};

#endif  // NETFORGE_TRAINTOOL_ATOMICFILE_H
