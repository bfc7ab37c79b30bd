#include "DataObject/Data.h"

#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

#include "Common/Assert.h"
#include "KQmessage/TException.h"

namespace {

const char* const kBadParameter = "Bad Parameter";
const char* const kInvalidRow = "Invalid Data Row";
const char* const kInvalidInputColumn = "Invalid Input Data Column";
const char* const kInvalidOutputColumn = "Invalid Output Data Column";

[[noreturn]] void Fail(const char* message, const char* origin) {
  throw TException(message, kBadParameter, origin, nullptr);
}

// A count as the set stores it: negative counts mean "none", and counts that
// do not fit the 32-bit fields are refused before anything is allocated.
std::int32_t StoredCount(long n) {
  if (n <= 0) {
    return 0;
  }
  if (n > std::numeric_limits<std::int32_t>::max()) {
    throw std::length_error("Data: count too large");
  }
  return static_cast<std::int32_t>(n);
}

// rows x width values, refused when the product exceeds what a vector can
// hold (it cannot wrap: both factors are below 2^31).
std::size_t ValueCount(std::int32_t rows, std::int32_t width) {
  const std::size_t count = static_cast<std::size_t>(rows) * static_cast<std::size_t>(width);
  if (width != 0 && count / static_cast<std::size_t>(width) != static_cast<std::size_t>(rows)) {
    throw std::length_error("Data: too many values");
  }
  if (count > std::vector<double>().max_size()) {
    throw std::length_error("Data: too many values");
  }
  return count;
}

// memmove rather than copy: callers may hand back a row of this very set.
void CopyValues(const double* from, std::int32_t n, double* to) {
  if (n > 0) {
    std::memmove(to, from, static_cast<std::size_t>(n) * sizeof(double));
  }
}

void CheckColumn(long col, std::int32_t width, const char* message, const char* origin) {
  if (col < 0 || col >= width) {
    Fail(message, origin);
  }
}

void CheckColumns(long n, const long* cols, std::int32_t width, const char* message, const char* origin) {
  if (n > 0) {
    NF_ASSERT(cols != 0);
  }
  for (long i = 0; i < n; ++i) {
    CheckColumn(cols[i], width, message, origin);
  }
}

void CopyColumns(const double* row, long n, const long* cols, double* out) {
  for (long i = 0; i < n; ++i) {
    out[i] = row[cols[i]];
  }
}

// A checked copy of a column selection; empty (no selection) for n <= 0.
std::vector<std::int32_t> SelectedColumns(long n, const long* cols, std::int32_t width, const char* message,
                                          const char* origin) {
  CheckColumns(n, cols, width, message, origin);
  std::vector<std::int32_t> selected;
  for (long i = 0; i < n; ++i) {
    selected.push_back(static_cast<std::int32_t>(cols[i]));
  }
  return selected;
}

}  // namespace

// Every slot must read 0.0 before anything is appended, and the value-
// initialised storage gives exactly that; the counters, cursor and
// selections start out empty.
Data::Data(long rows, long inputs, long outputs, bool labels)
    : MbrNdxRows(StoredCount(rows)),
      MbrNdxInputs(StoredCount(inputs)),
      MbrNdxOutputs(StoredCount(outputs)),
      MbrBoolLabels(labels) {
  inputValues_.resize(ValueCount(MbrNdxRows, MbrNdxInputs));
  outputValues_.resize(ValueCount(MbrNdxRows, MbrNdxOutputs));
  if (MbrBoolLabels) {
    labelLists_.resize(static_cast<std::size_t>(MbrNdxRows));
  }
  BindViews();
}

Data::Data(const Data& other)
    : MbrNdxRows(other.MbrNdxRows),
      MbrNdxDataRows(other.MbrNdxDataRows),
      MbrNdxInputs(other.MbrNdxInputs),
      MbrNdxOutputs(other.MbrNdxOutputs),
      MbrBoolLabels(other.MbrBoolLabels),
      MbrNdxFirst(other.MbrNdxFirst),
      MbrNdxLast(other.MbrNdxLast),
      MbrNdxCurrent(other.MbrNdxCurrent),
      inputValues_(other.inputValues_),
      outputValues_(other.outputValues_),
      labelLists_(other.labelLists_),
      selInputs_(other.selInputs_),
      selOutputs_(other.selOutputs_) {
  BindViews();
}

Data::~Data() = default;

Data* Data::Clone() const {
  return new Data(*this);
}

void Data::BindViews() {
  inputRows_.clear();
  outputRows_.clear();
  MbrDyaRtpInputs = nullptr;
  MbrDyaRtpOutputs = nullptr;
  if (MbrNdxInputs > 0) {
    for (std::int32_t r = 0; r < MbrNdxRows; ++r) {
      inputRows_.push_back(inputValues_.data() + static_cast<std::size_t>(r) * MbrNdxInputs);
    }
    MbrDyaRtpInputs = inputRows_.data();
  }
  if (MbrNdxOutputs > 0) {
    for (std::int32_t r = 0; r < MbrNdxRows; ++r) {
      outputRows_.push_back(outputValues_.data() + static_cast<std::size_t>(r) * MbrNdxOutputs);
    }
    MbrDyaRtpOutputs = outputRows_.data();
  }
  MbrDyaLabels = MbrBoolLabels ? labelLists_.data() : nullptr;
  BindSelectionViews();
}

void Data::BindSelectionViews() {
  MbrNdxSelInputs = static_cast<std::int32_t>(selInputs_.size());
  MbrDyaSelInputs = selInputs_.empty() ? nullptr : selInputs_.data();
  MbrNdxSelOutputs = static_cast<std::int32_t>(selOutputs_.size());
  MbrDyaSelOutputs = selOutputs_.empty() ? nullptr : selOutputs_.data();
}

void Data::CheckRow(long row, const char* origin) const {
  if (row < 0 || row >= MbrNdxRows) {
    Fail(kInvalidRow, origin);
  }
}

// ---- single values ----

void Data::GetInputDatum(long row, long col, double* value) const {
  CheckRow(row, "Data::GetInputDatum");
  CheckColumn(col, MbrNdxInputs, kInvalidInputColumn, "Data::GetInputDatum");
  NF_ASSERT(value != 0);
  *value = MbrDyaRtpInputs[row][col];
}

void Data::GetOutputDatum(long row, long col, double* value) const {
  CheckRow(row, "Data::GetOutputDatum");
  CheckColumn(col, MbrNdxOutputs, kInvalidOutputColumn, "Data::GetOutputDatum");
  NF_ASSERT(value != 0);
  *value = MbrDyaRtpOutputs[row][col];
}

void Data::SetInputDatum(long row, long col, double value) {
  CheckRow(row, "Data::SetInputDatum");
  CheckColumn(col, MbrNdxInputs, kInvalidInputColumn, "Data::SetInputDatum");
  MbrDyaRtpInputs[row][col] = value;
}

void Data::SetOutputDatum(long row, long col, double value) {
  CheckRow(row, "Data::SetOutputDatum");
  CheckColumn(col, MbrNdxOutputs, kInvalidOutputColumn, "Data::SetOutputDatum");
  MbrDyaRtpOutputs[row][col] = value;
}

// ---- whole rows and blocks ----

void Data::SetRow(long row, const double* inputs, const double* outputs, const TLabelList* labels) {
  CheckRow(row, "Data::SetRow");
  // Copy the labels first: it is the only step that can fail, and the slot
  // must stay untouched when it does.
  TLabelList newLabels;
  if (MbrBoolLabels && labels != nullptr) {
    newLabels = *labels;
  }
  if (inputs != nullptr && MbrNdxInputs > 0) {
    CopyValues(inputs, MbrNdxInputs, MbrDyaRtpInputs[row]);
  }
  if (outputs != nullptr && MbrNdxOutputs > 0) {
    CopyValues(outputs, MbrNdxOutputs, MbrDyaRtpOutputs[row]);
  }
  if (MbrBoolLabels) {
    labelLists_[static_cast<std::size_t>(row)] = std::move(newLabels);
  }
}

void Data::GetInputRow(long row, double* out) const {
  CheckRow(row, "Data::GetInputRow");
  if (MbrNdxInputs > 0) {
    NF_ASSERT(out != 0);
    CopyValues(MbrDyaRtpInputs[row], MbrNdxInputs, out);
  }
}

void Data::GetInputRow(long row, double* out, long n, const long* cols) const {
  CheckRow(row, "Data::GetInputRow");
  CheckColumns(n, cols, MbrNdxInputs, kInvalidInputColumn, "Data::GetInputRow");
  if (n > 0) {
    NF_ASSERT(out != 0);
    CopyColumns(MbrDyaRtpInputs[row], n, cols, out);
  }
}

void Data::GetOutputRow(long row, double* out) const {
  CheckRow(row, "Data::GetOutputRow");
  if (MbrNdxOutputs > 0) {
    NF_ASSERT(out != 0);
    CopyValues(MbrDyaRtpOutputs[row], MbrNdxOutputs, out);
  }
}

void Data::GetOutputRow(long row, double* out, long n, const long* cols) const {
  CheckRow(row, "Data::GetOutputRow");
  CheckColumns(n, cols, MbrNdxOutputs, kInvalidOutputColumn, "Data::GetOutputRow");
  if (n > 0) {
    NF_ASSERT(out != 0);
    CopyColumns(MbrDyaRtpOutputs[row], n, cols, out);
  }
}

void Data::GetBlock(double** inRows, double** outRows, long first, long last, long* got) const {
  if (first < 0 || first >= MbrNdxRows) {
    if (got != nullptr) {
      *got = 0;
    }
    Fail("Data Block Fault", "Data::GetBlock");
  }
  if (last > MbrNdxLast) {
    last = MbrNdxLast;
  }
  long copied = 0;
  for (long row = first; row <= last; ++row, ++copied) {
    if (inRows != nullptr && MbrNdxInputs > 0) {
      CopyValues(MbrDyaRtpInputs[row], MbrNdxInputs, inRows[copied]);
    }
    if (outRows != nullptr && MbrNdxOutputs > 0) {
      CopyValues(MbrDyaRtpOutputs[row], MbrNdxOutputs, outRows[copied]);
    }
  }
  if (got != nullptr) {
    *got = copied;
  }
}

// ---- appending ----

void Data::AppendRow(const double* inputs, const double* outputs, const TLabelList* labels) {
  NF_ASSERT(MbrNdxDataRows <= MbrNdxRows);
  if (MbrNdxDataRows < MbrNdxRows) {
    const std::int32_t slot = MbrNdxDataRows;
    SetRow(slot, inputs, outputs, labels);
    MbrNdxLast = slot;
    ++MbrNdxDataRows;
    return;
  }
  // Full: the slot after the newest holds the oldest row, which gives way.
  // A set without slots has no such slot, and SetRow says so.
  const std::int32_t slot = MbrNdxRows > 0 ? (MbrNdxLast + 1) % MbrNdxRows : 0;
  SetRow(slot, inputs, outputs, labels);
  MbrNdxFirst = (MbrNdxFirst + 1) % MbrNdxRows;
  MbrNdxLast = slot;
}

void Data::AppendRows(double** inputs, double** outputs, long n, const TLabelList* labels) {
  for (long i = 0; i < n; ++i) {
    AppendRow(inputs != nullptr ? inputs[i] : nullptr, outputs != nullptr ? outputs[i] : nullptr,
              labels != nullptr ? &labels[i] : nullptr);
  }
}

// ---- labels ----

TLabelList& Data::LabelListOf(long row, const char* origin) {
  CheckRow(row, origin);
  if (!MbrBoolLabels) {
    Fail("No Labels", origin);
  }
  return labelLists_[static_cast<std::size_t>(row)];
}

void Data::GetLabels(long row, TLabelList** list) {
  CheckRow(row, "Data::GetLabels");
  NF_ASSERT(list != 0);
  *list = MbrBoolLabels ? &labelLists_[static_cast<std::size_t>(row)] : nullptr;
}

void Data::SetLabels(long row, const TLabelList* list) {
  TLabelList& own = LabelListOf(row, "Data::SetLabels");
  if (list != nullptr) {
    own = *list;
  } else {
    own = TLabelList();
  }
}

void Data::ClearLabels(long row) {
  LabelListOf(row, "Data::ClearLabels") = TLabelList();
}

void Data::AppendLabel(long row, double value, const char* name) {
  LabelListOf(row, "Data::AppendLabel").Append(name, value);
}

// ---- sequential reading ----

std::int32_t Data::SteppedCursor(int step, const char* origin) const {
  // Cycle over the stored rows; before the first append, over all slots.
  const std::int64_t n = MbrNdxDataRows > 0 ? MbrNdxDataRows : MbrNdxRows;
  if (n <= 0) {
    Fail(kInvalidRow, origin);
  }
  // 64-bit and normalised, so a cursor set from outside cannot overflow or
  // land on a negative slot.
  std::int64_t next = (static_cast<std::int64_t>(MbrNdxCurrent) + step) % n;
  if (next < 0) {
    next += n;
  }
  return static_cast<std::int32_t>(next);
}

void Data::CopySequentialRow(std::int32_t slot, double* inputs, double* outputs) const {
  const bool selected = MbrDyaSelInputs != nullptr;
  if (inputs != nullptr && MbrNdxInputs > 0) {
    if (selected) {
      for (std::int32_t i = 0; i < MbrNdxSelInputs; ++i) {
        inputs[i] = MbrDyaRtpInputs[slot][MbrDyaSelInputs[i]];
      }
    } else {
      CopyValues(MbrDyaRtpInputs[slot], MbrNdxInputs, inputs);
    }
  }
  if (outputs != nullptr && MbrNdxOutputs > 0) {
    if (selected && MbrDyaSelOutputs != nullptr) {
      for (std::int32_t i = 0; i < MbrNdxSelOutputs; ++i) {
        outputs[i] = MbrDyaRtpOutputs[slot][MbrDyaSelOutputs[i]];
      }
    } else {
      CopyValues(MbrDyaRtpOutputs[slot], MbrNdxOutputs, outputs);
    }
  }
}

void Data::Next(double* inputs, double* outputs, TLabelList** labels) {
  MbrNdxCurrent = SteppedCursor(+1, "Data::Next");
  CopySequentialRow(MbrNdxCurrent, inputs, outputs);
  if (labels != nullptr) {
    // A column selection reads values only; labels come with full rows.
    const bool withLabels = MbrBoolLabels && MbrDyaSelInputs == nullptr;
    *labels = withLabels ? &labelLists_[static_cast<std::size_t>(MbrNdxCurrent)] : nullptr;
  }
}

void Data::Previous(double* inputs, double* outputs) {
  MbrNdxCurrent = SteppedCursor(-1, "Data::Previous");
  CopySequentialRow(MbrNdxCurrent, inputs, outputs);
}

void Data::GetCurrentRow(double* inputs, double* outputs, TLabelList** labels) {
  CheckRow(MbrNdxCurrent, "Data::GetCurrentRow");
  CopySequentialRow(MbrNdxCurrent, inputs, outputs);
  if (labels != nullptr) {
    *labels = MbrBoolLabels ? &labelLists_[static_cast<std::size_t>(MbrNdxCurrent)] : nullptr;
  }
}

// ---- column selection ----

void Data::SetInputSelection(long n, const long* cols) {
  selInputs_ = SelectedColumns(n, cols, MbrNdxInputs, kInvalidInputColumn, "Data::SetInputSelection");
  BindSelectionViews();
}

void Data::GetInputSelection(long* n, long** cols) const {
  NF_ASSERT(n != 0);
  NF_ASSERT(cols != 0);
  *n = MbrNdxSelInputs;
  *cols = nullptr;
  if (MbrNdxSelInputs > 0) {
    *cols = new long[static_cast<std::size_t>(MbrNdxSelInputs)];
    for (std::int32_t i = 0; i < MbrNdxSelInputs; ++i) {
      (*cols)[i] = MbrDyaSelInputs[i];
    }
  }
}

void Data::SetSelection(long nIn, const long* inCols, long nOut, const long* outCols) {
  std::vector<std::int32_t> in = SelectedColumns(nIn, inCols, MbrNdxInputs, kInvalidInputColumn, "Data::SetSelection");
  std::vector<std::int32_t> out =
      SelectedColumns(nOut, outCols, MbrNdxOutputs, kInvalidOutputColumn, "Data::SetSelection");
  selInputs_ = std::move(in);
  selOutputs_ = std::move(out);
  BindSelectionViews();
}
