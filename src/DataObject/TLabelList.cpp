#include "DataObject/TLabelList.h"

#include <limits>
#include <stdexcept>
#include <utility>

#include "Common/Assert.h"

TLabelList::TLabelList(const char* name, double value) {
  Append(name, value);
}

TLabelList::TLabelList(const TLabelList& other) : count(0) {
  if (other.count <= 0) {
    return;
  }
  auto copy = std::make_unique<TLabel[]>(static_cast<std::size_t>(other.count));
  for (std::int32_t i = 0; i < other.count; ++i) {
    copy[i] = other.labels[i];
  }
  labels = std::move(copy);
  count = other.count;
}

TLabelList& TLabelList::operator=(const TLabelList& other) {
  if (this != &other) {
    TLabelList copy(other);
    *this = std::move(copy);
  }
  return *this;
}

TLabelList::TLabelList(TLabelList&& other) noexcept
    : count(std::exchange(other.count, 0)), labels(std::move(other.labels)) {}

TLabelList& TLabelList::operator=(TLabelList&& other) noexcept {
  if (this != &other) {
    labels = std::move(other.labels);
    count = std::exchange(other.count, 0);
  }
  return *this;
}

void TLabelList::Append(const char* name, double value) {
  NF_ASSERT(name != 0);
  for (std::int32_t i = 0; i < count; ++i) {
    if (labels[i].name == name) {
      labels[i].value += value;
      return;
    }
  }
  if (count == std::numeric_limits<std::int32_t>::max()) {
    throw std::length_error("TLabelList::Append: too many labels");
  }
  // Build the new label before touching the old array, so that a failed
  // allocation leaves the list unchanged.
  auto grown = std::make_unique<TLabel[]>(static_cast<std::size_t>(count) + 1);
  grown[count].name = name;
  grown[count].value = value;
  for (std::int32_t i = 0; i < count; ++i) {
    grown[i] = std::move(labels[i]);
  }
  labels = std::move(grown);
  ++count;
}
