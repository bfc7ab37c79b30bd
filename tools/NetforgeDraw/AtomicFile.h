// Writing a whole file so that readers see either the old file or the
// complete new one, never a part.
//
// The text goes to a new temporary file beside the target (same folder, so
// the same file system), which then replaces the target by a rename. On any
// failure the temporary file is removed and the target is left as it was.
// The new file gets the permissions of any newly created file.
#ifndef NETFORGE_DRAWTOOL_ATOMICFILE_H
#define NETFORGE_DRAWTOOL_ATOMICFILE_H

#include <string>

// Writes |text| as the whole content of |path|. Returns "" on success,
// otherwise a message saying what failed ("cannot create a temporary file
// beside it", "cannot write it", "cannot replace it: ...").
std::string WriteFileAtomically(const std::string& path, const std::string& text);

#endif  // NETFORGE_DRAWTOOL_ATOMICFILE_H
