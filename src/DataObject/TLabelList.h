// TLabel and TLabelList: the named values that a data set row may carry.
//
// A TLabelList is an ordered list of labels, each a name with a value. Names
// are distinct within one list and compared exactly (byte for byte, so letter
// case matters); appending a name that is already present adds to its value
// instead of making a second label. This is how repeated labels in a data set
// file accumulate.
//
// Ownership: a list owns its label array and every label's name; copies are
// deep. The fields are public because writers walk them directly
// (labels[0] .. labels[count-1]); change a list only through its operations so
// that count and labels stay in step.
#ifndef NETFORGE_DATAOBJECT_TLABELLIST_H
#define NETFORGE_DATAOBJECT_TLABELLIST_H

#include <cstdint>
#include <memory>
#include <string>

struct TLabel {
  double value = 0.0;
  std::string name;
};

class TLabelList {
 public:
  // An empty list.
  TLabelList() = default;
  // A list of one label; |name| must not be null and is copied.
  TLabelList(const char* name, double value);

  TLabelList(const TLabelList& other);
  TLabelList& operator=(const TLabelList& other);
  // A moved-from list is empty.
  TLabelList(TLabelList&& other) noexcept;
  TLabelList& operator=(TLabelList&& other) noexcept;
  ~TLabelList() = default;

  // Adds |value| to the label named exactly |name|, or, when there is none,
  // appends a new label (a copy of |name|, |value|) at the end. |name| must
  // not be null. On allocation failure the list is left as it was.
  void Append(const char* name, double value);

  std::int32_t count = 0;          // number of labels
  std::unique_ptr<TLabel[]> labels;  // count labels, null when empty
};

#endif  // NETFORGE_DATAOBJECT_TLABELLIST_H
