// A stream buffer for tests of readers that scan the stream's buffer in
// place: what they read, and where they say an error is, must not depend on
// how the buffer hands out the bytes.
#ifndef NETFORGE_TESTS_SUPPORT_CHUNKEDBUFFER_H
#define NETFORGE_TESTS_SUPPORT_CHUNKEDBUFFER_H

#include <algorithm>
#include <cstddef>
#include <streambuf>
#include <string>
#include <utility>

namespace TestSupport {

// Stream buffers that hand out a text differently from a string stream: in
// get areas of |chunk| bytes, so that words, blank runs and comments are cut
// at every place; or, with chunk 0, without any get area, one byte per call.
class ChunkedBuffer : public std::streambuf {
 public:
  ChunkedBuffer(std::string text, std::size_t chunk) : text_(std::move(text)), chunk_(chunk) {}

 protected:
  int_type underflow() override {
    if (chunk_ == 0) return next_ < text_.size() ? traits_type::to_int_type(text_[next_]) : traits_type::eof();
    if (gptr() != nullptr && gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (next_ >= text_.size()) return traits_type::eof();
    const std::size_t count = std::min(chunk_, text_.size() - next_);
    char* first = text_.data() + next_;
    setg(first, first, first + count);
    next_ += count;
    return traits_type::to_int_type(*first);
  }
  int_type uflow() override {
    if (chunk_ != 0) return std::streambuf::uflow();
    if (next_ >= text_.size()) return traits_type::eof();
    return traits_type::to_int_type(text_[next_++]);
  }

 private:
  std::string text_;
  std::size_t chunk_;
  std::size_t next_ = 0;
};

}  // namespace TestSupport

#endif  // NETFORGE_TESTS_SUPPORT_CHUNKEDBUFFER_H
