// Data: the library's in-memory data set.
//
// A Data has a fixed number of row slots, chosen at construction. Every slot
// holds MbrNdxInputs input values and MbrNdxOutputs output values and, when
// the set keeps labels, a TLabelList. Rows are added with AppendRow; once
// every slot has been filled each further row overwrites the oldest, so a Data
// keeps the most recent rows like a ring buffer. Rows are read by index
// (single values, whole rows, blocks) or sequentially through a cursor (Next,
// Previous) that can return a chosen subset of the columns.
//
// Ownership: a Data owns all its values, label lists and column selections;
// its destructor releases them. The pointer members below are views of that
// storage, public so that readers and writers of data sets can inspect a set;
// never reassign or free them. Of the counters only the cursor MbrNdxCurrent
// is meant to be set from outside (readers point it at MbrNdxLast and then
// call Next MbrNdxDataRows times to visit the stored rows oldest first).
//
// Bad row or column arguments throw TException with the kind "Bad Parameter"
// and leave the set unchanged. Counts too large to store throw
// std::length_error; allocation failures propagate as std::bad_alloc.
#ifndef NETFORGE_DATAOBJECT_DATA_H
#define NETFORGE_DATAOBJECT_DATA_H

#include <cstdint>
#include <vector>

#include "DataObject/TLabelList.h"

class Data {
 public:
  // Makes |rows| slots with |inputs| input and |outputs| output values each
  // (none for a count of 0 or less; a negative count is stored as 0) and an
  // empty label list per slot when |labels| is set. Every value starts as
  // 0.0; the set holds no rows yet, the cursor is at slot 0 and no column
  // selection is set. A negative |rows| makes a set without slots.
  Data(long rows, long inputs, long outputs, bool labels);
  virtual ~Data();

  Data& operator=(const Data&) = delete;

  // A new Data with the same shape, values, labels, counters, cursor and
  // column selections. The caller owns it (delete).
  Data* Clone() const;

  // Single values. The row is checked before the column.
  void GetInputDatum(long row, long col, double* value) const;
  void GetOutputDatum(long row, long col, double* value) const;
  void SetInputDatum(long row, long col, double value);
  void SetOutputDatum(long row, long col, double value);

  // Writes a whole slot: MbrNdxInputs values from |inputs| and MbrNdxOutputs
  // values from |outputs|; a null array leaves that part as it was. When the
  // set keeps labels the slot's list becomes a copy of |labels| (empty for
  // null); otherwise |labels| is ignored.
  void SetRow(long row, const double* inputs, const double* outputs, const TLabelList* labels);

  // Copies all input values of |row| into |out|.
  void GetInputRow(long row, double* out) const;
  // Copies the input values of the columns cols[0] .. cols[n-1] of |row|, in
  // that order, into out[0] .. out[n-1]. Every column is checked before
  // anything is copied.
  void GetInputRow(long row, double* out, long n, const long* cols) const;
  void GetOutputRow(long row, double* out) const;
  void GetOutputRow(long row, double* out, long n, const long* cols) const;

  // Copies the slots first .. last (last lowered to MbrNdxLast when greater),
  // slot first+k into inRows[k] (all inputs) and outRows[k] (all outputs), and
  // sets *got to the number of slots copied (0 when last < first). A null
  // inRows or outRows skips that part. An invalid |first| sets *got to 0 and
  // throws "Data Block Fault".
  void GetBlock(double** inRows, double** outRows, long first, long last, long* got) const;

  // Adds a row: into the next free slot while there is one, otherwise over
  // the oldest row. Null arrays leave the slot's previous values in place. A
  // set without slots throws "Invalid Data Row" (origin "Data::SetRow").
  void AppendRow(const double* inputs, const double* outputs, const TLabelList* labels);
  // AppendRow(inputs[i], outputs[i], labels ? &labels[i] : null) for i in
  // 0 .. n-1; a null |inputs| or |outputs| array appends null rows.
  void AppendRows(double** inputs, double** outputs, long n, const TLabelList* labels);

  // *list = the row's own list (the Data keeps it), or null when the set
  // keeps no labels.
  void GetLabels(long row, TLabelList** list);
  // The following three throw "No Labels" on a set that keeps no labels.
  // The row's list becomes a copy of |list|; null clears it.
  void SetLabels(long row, const TLabelList* list);
  void ClearLabels(long row);
  // TLabelList::Append(name, value) on the row's list.
  void AppendLabel(long row, double value, const char* name);

  // Moves the cursor one stored row forward, wrapping from the newest to the
  // oldest, and copies that row: all columns, or the selected ones when an
  // input selection is set. Null |inputs| or |outputs| skip that part. When
  // |labels| is not null it receives the row's list as GetLabels gives it,
  // or null when an input selection is set. Throws "Invalid Data Row" on a
  // set without slots.
  virtual void Next(double* inputs, double* outputs, TLabelList** labels);
  // Moves the cursor one stored row back and copies that row as Next does,
  // without labels.
  void Previous(double* inputs, double* outputs);
  // Copies the row at the cursor as Next does, without moving it; |labels|
  // (when not null) receives the row's list whether or not a selection is
  // set. Throws "Invalid Data Row" when the cursor is not a valid row.
  void GetCurrentRow(double* inputs, double* outputs, TLabelList** labels);

  // Replaces the input selection by a copy of cols[0] .. cols[n-1]; n <= 0
  // removes it (all columns are read again). Throws "Invalid Input Data
  // Column" for a column outside 0 .. MbrNdxInputs-1 and keeps the old one.
  void SetInputSelection(long n, const long* cols);
  // *n = number of selected input columns; *cols = a copy made with new[]
  // that the caller owns (delete[]), or null when no selection is set.
  void GetInputSelection(long* n, long** cols) const;
  // Sets both selections as SetInputSelection does; the output selection is
  // used only together with an input selection. Nothing changes when any
  // column is invalid.
  void SetSelection(long nIn, const long* inCols, long nOut, const long* outCols);

  // Views of the storage, in the documented field order.
  double** MbrDyaRtpInputs = nullptr;   // row pointers, null without inputs
  double** MbrDyaRtpOutputs = nullptr;  // row pointers, null without outputs
  TLabelList* MbrDyaLabels = nullptr;   // one list per slot, null without labels
  std::int32_t MbrNdxRows = 0;          // number of slots (capacity)
  std::int32_t MbrNdxDataRows = 0;      // rows appended so far, at most MbrNdxRows
  std::int32_t MbrNdxInputs = 0;        // input values per row
  std::int32_t MbrNdxOutputs = 0;       // output values per row
  bool MbrBoolLabels = false;           // whether rows carry label lists
  std::int32_t MbrNdxFirst = 0;         // slot of the oldest stored row
  std::int32_t MbrNdxLast = 0;          // slot of the newest stored row
  std::int32_t MbrNdxCurrent = 0;       // the cursor
  std::int32_t MbrNdxSelInputs = 0;     // entries in MbrDyaSelInputs
  std::int32_t* MbrDyaSelInputs = nullptr;   // selected input columns, null for all
  std::int32_t MbrNdxSelOutputs = 0;    // entries in MbrDyaSelOutputs
  std::int32_t* MbrDyaSelOutputs = nullptr;  // selected output columns, null for all

 private:
  // Deep copy for Clone; the views are rebound to the new storage.
  Data(const Data& other);

  // Point the public views at the storage (all of them, or the selections).
  void BindViews();
  void BindSelectionViews();
  void CheckRow(long row, const char* origin) const;
  // Throws "Invalid Data Row" from |origin| on a set without slots, else
  // returns the cursor moved by |step| (+1 or -1) cyclically over the
  // stored rows (or all slots while none is stored).
  std::int32_t SteppedCursor(int step, const char* origin) const;
  // The row's own list, after checking the row and that labels are kept.
  TLabelList& LabelListOf(long row, const char* origin);
  // Copies |slot| to the caller as sequential reading does (selection aware).
  void CopySequentialRow(std::int32_t slot, double* inputs, double* outputs) const;

  std::vector<double> inputValues_;   // MbrNdxRows x MbrNdxInputs, row-major
  std::vector<double> outputValues_;  // MbrNdxRows x MbrNdxOutputs, row-major
  std::vector<double*> inputRows_;
  std::vector<double*> outputRows_;
  std::vector<TLabelList> labelLists_;
  std::vector<std::int32_t> selInputs_;
  std::vector<std::int32_t> selOutputs_;
};

#endif  // NETFORGE_DATAOBJECT_DATA_H
