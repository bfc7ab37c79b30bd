// Places in files: the line and column of a byte offset, and the mending of
// the places that the data set row reader reports after it has skipped into
// the middle of a file.
//
// FileTools counts lines and columns as it takes bytes from a stream. When
// ReadDataSetRows continues at a byte offset into the data block it reads
// the header from the start of the file and then moves to the offset, so the
// bytes it skipped are not counted: the places it reports are those of the
// data block's start plus what it read after the offset. RowsPlace turns such
// a place back into the place in the file.
#ifndef NETFORGE_EVALTOOL_FILEPLACE_H
#define NETFORGE_EVALTOOL_FILEPLACE_H

#include <cstdint>

struct FilePlace {
  std::int64_t line = 1;    // from 1
  std::int64_t column = 1;  // from 1, in bytes
};

// The place of the byte at |offset| in the file |filename|, lines ending
// with '\n'. An offset past the end gives the place just after the last byte.
// Reads the file up to the offset; a file that cannot be read gives line 0.
FilePlace PlaceOfOffset(const char* filename, std::int64_t offset);

// The place in the file of |reported|, a place counted from |origin| as if
// the bytes from there to |resumed| had not been there: where reading
// resumed after a skip (|resumed|) stands for |origin|. Line 0 stays 0.
FilePlace ResumedPlace(FilePlace reported, FilePlace origin, FilePlace resumed);

#endif  // NETFORGE_EVALTOOL_FILEPLACE_H
