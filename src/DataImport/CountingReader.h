// CountingReader: takes bytes from a stream one at a time and counts the
// line and column of the next one, for the importers' error places.
//
// Lines and columns count from 1; a line ends with '\n' (so CR LF is one line
// end), and a column counts bytes. The reader reads the stream's buffer
// directly; the stream must outlive it and must not be read by others
// meanwhile. Read errors of the stream end the input like its end does.
#ifndef NETFORGE_DATAIMPORT_COUNTINGREADER_H
#define NETFORGE_DATAIMPORT_COUNTINGREADER_H

#include <cstdint>
#include <istream>
#include <streambuf>
#include <string>

namespace Netforge {

class CountingReader {
 public:
  static constexpr int kEnd = std::char_traits<char>::eof();

  explicit CountingReader(std::istream& in) : buffer_(in.rdbuf()) {}

  // The next byte (0 .. 255) without taking it, or kEnd.
  int Peek() { return buffer_ != nullptr ? buffer_->sgetc() : kEnd; }

  // Takes the next byte and returns it (0 .. 255), or kEnd.
  int Get() {
    const int c = Peek();
    if (c == kEnd) return c;
    buffer_->sbumpc();
    if (c == '\n') {
      ++line_;
      column_ = 1;
    } else {
      ++column_;
    }
    return c;
  }

  // At the start of the input: skips a UTF-8 byte order mark, which is not
  // counted as columns. Anything else is left to be read.
  void SkipByteOrderMark() {
    static const unsigned char kMark[] = {0xEF, 0xBB, 0xBF};
    int taken = 0;
    while (taken < 3 && Peek() == kMark[taken]) {
      buffer_->sbumpc();
      ++taken;
    }
    if (taken == 3) return;
    // Not a mark after all: give the bytes back, or count them where the
    // stream cannot take them back.
    while (taken > 0 && buffer_->sputbackc(static_cast<char>(kMark[taken - 1])) != kEnd) --taken;
    column_ += taken;
  }

  std::int64_t Line() const { return line_; }
  std::int64_t Column() const { return column_; }

 private:
  std::streambuf* buffer_;
  std::int64_t line_ = 1;
  std::int64_t column_ = 1;
};

}  // namespace Netforge

#endif  // NETFORGE_DATAIMPORT_COUNTINGREADER_H
