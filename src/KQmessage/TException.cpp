#include "KQmessage/TException.h"

#include <cstring>
#include <memory>
#include <utility>

#include "Common/Assert.h"
#include "KQmessage/KQML.h"

namespace {

// An owned copy of |text|, or null for a null text.
std::unique_ptr<char[]> CopyText(const char* text) {
  if (text == nullptr) return nullptr;
  const std::size_t size = std::strlen(text) + 1;
  auto copy = std::make_unique<char[]>(size);
  std::memcpy(copy.get(), text, size);
  return copy;
}

std::unique_ptr<TKQstructure> CopyDetail(const TKQstructure* detail) {
  return detail == nullptr ? nullptr : std::make_unique<TKQstructure>(*detail);
}

}  // namespace

// Every constructor builds its parts in owning holders first and hands them
// to the fields only when nothing more can fail, so a failed allocation
// leaves nothing behind.

TException::TException() : message(nullptr), kind(nullptr), detail(nullptr), origin(nullptr) {}

TException::TException(const char* message, const char* kind) : TException() {
  NF_ASSERT(message != NULL);
  std::unique_ptr<char[]> messageCopy = CopyText(message);
  std::unique_ptr<char[]> kindCopy = CopyText(kind);
  this->message = messageCopy.release();
  this->kind = kindCopy.release();
}

TException::TException(const char* message, const char* kind, const char* origin, TKQstructure* detail)
    : TException() {
  std::unique_ptr<TKQstructure> detailHolder(detail);
  NF_ASSERT(message != NULL);
  NF_ASSERT(kind != NULL);
  NF_ASSERT(origin != NULL);
  std::unique_ptr<char[]> messageCopy = CopyText(message);
  std::unique_ptr<char[]> kindCopy = CopyText(kind);
  std::unique_ptr<char[]> originCopy = CopyText(origin);
  this->message = messageCopy.release();
  this->kind = kindCopy.release();
  this->origin = originCopy.release();
  this->detail = detailHolder.release();
}

TException::TException(const TException& other) : TException() {
  std::unique_ptr<char[]> messageCopy = CopyText(other.message);
  std::unique_ptr<char[]> kindCopy = CopyText(other.kind);
  std::unique_ptr<char[]> originCopy = CopyText(other.origin);
  std::unique_ptr<TKQstructure> detailCopy = CopyDetail(other.detail);
  message = messageCopy.release();
  kind = kindCopy.release();
  origin = originCopy.release();
  detail = detailCopy.release();
}

TException& TException::operator=(const TException& other) {
  if (this != &other) {
    TException copy(other);
    Swap(copy);
  }
  return *this;
}

TException::~TException() {
  delete[] message;
  delete[] kind;
  delete[] origin;
  delete detail;
}

void TException::Swap(TException& other) noexcept {
  std::swap(message, other.message);
  std::swap(kind, other.kind);
  std::swap(detail, other.detail);
  std::swap(origin, other.origin);
}
