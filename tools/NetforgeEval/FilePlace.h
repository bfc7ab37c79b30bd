// Places in files: the line and column of a byte offset, and the place in
// the file of a place counted from the middle of it.
//
// FileTools counts lines and columns from where it begins reading a stream.
// NetforgeEval reads the end tags of a data set file from where its rows
// ended; ResumedPlace turns the places counted from there into places in
// the file.
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
