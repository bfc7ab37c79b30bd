#include "FilePlace.h"

#include <fstream>
#include <vector>

FilePlace PlaceOfOffset(const char* filename, std::int64_t offset) {
  std::ifstream in(filename, std::ios_base::in | std::ios_base::binary);
  if (!in.is_open()) return FilePlace{0, 0};

  FilePlace place;
  std::vector<char> buffer(1 << 16);
  std::int64_t left = offset;
  while (left > 0 && in) {
    const std::streamsize want = left < static_cast<std::int64_t>(buffer.size())
                                     ? static_cast<std::streamsize>(left)
                                     : static_cast<std::streamsize>(buffer.size());
    in.read(buffer.data(), want);
    const std::streamsize got = in.gcount();
    for (std::streamsize k = 0; k < got; ++k) {
      if (buffer[static_cast<std::size_t>(k)] == '\n') {
        ++place.line;
        place.column = 1;
      } else {
        ++place.column;
      }
    }
    left -= got;
    if (got == 0) break;
  }
  return place;
}

FilePlace ResumedPlace(FilePlace reported, FilePlace origin, FilePlace resumed) {
  if (reported.line == 0) return reported;
  if (reported.line == origin.line) {
    return FilePlace{resumed.line, resumed.column + (reported.column - origin.column)};
  }
  return FilePlace{resumed.line + (reported.line - origin.line), reported.column};
}
