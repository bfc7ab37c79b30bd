#include "DataObject/Data.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "KQmessage/TException.h"

namespace {

// Runs |operation| and checks that it throws a TException with |message|,
// the kind "Bad Parameter" and |origin|.
template <typename Operation>
void ExpectBadParameter(Operation operation, const char* message, const char* origin) {
  SCOPED_TRACE(std::string(origin) + ": " + message);
  try {
    operation();
    ADD_FAILURE() << "no TException was thrown";
  } catch (const TException& e) {
    EXPECT_STREQ(e.message, message);
    EXPECT_STREQ(e.kind, "Bad Parameter");
    EXPECT_STREQ(e.origin, origin);
    EXPECT_EQ(e.detail, nullptr);
  }
}

// Appends a row whose inputs are (v, v + 0.1) and whose output is -v.
void AppendTagged(Data& data, double v) {
  const double in[2] = {v, v + 0.1};
  const double out[1] = {-v};
  data.AppendRow(in, out, nullptr);
}

double InputAt(const Data& data, long row) {
  double value = -99.0;
  data.GetInputDatum(row, 0, &value);
  return value;
}

}  // namespace

TEST(Data, NewSetHoldsZerosInEverySlotButNoRows) {
  Data data(3, 2, 1, false);
  EXPECT_EQ(data.MbrNdxRows, 3);
  EXPECT_EQ(data.MbrNdxDataRows, 0);
  EXPECT_EQ(data.MbrNdxInputs, 2);
  EXPECT_EQ(data.MbrNdxOutputs, 1);
  EXPECT_FALSE(data.MbrBoolLabels);
  EXPECT_EQ(data.MbrNdxFirst, 0);
  EXPECT_EQ(data.MbrNdxLast, 0);
  EXPECT_EQ(data.MbrNdxCurrent, 0);
  EXPECT_EQ(data.MbrDyaLabels, nullptr);
  EXPECT_EQ(data.MbrDyaSelInputs, nullptr);
  EXPECT_EQ(data.MbrDyaSelOutputs, nullptr);
  EXPECT_EQ(data.MbrNdxSelInputs, 0);
  for (long row = 0; row < 3; ++row) {
    for (long col = 0; col < 2; ++col) {
      double v = -1.0;
      data.GetInputDatum(row, col, &v);
      EXPECT_EQ(v, 0.0);
      EXPECT_EQ(data.MbrDyaRtpInputs[row][col], 0.0);
    }
    double v = -1.0;
    data.GetOutputDatum(row, 0, &v);
    EXPECT_EQ(v, 0.0);
  }

  // Parts with a count of 0 or less are absent; negative counts read as 0.
  Data noInputs(2, -4, 1, true);
  EXPECT_EQ(noInputs.MbrDyaRtpInputs, nullptr);
  EXPECT_EQ(noInputs.MbrNdxInputs, 0);
  EXPECT_NE(noInputs.MbrDyaRtpOutputs, nullptr);
  EXPECT_NE(noInputs.MbrDyaLabels, nullptr);
  EXPECT_EQ(noInputs.MbrDyaLabels[1].count, 0);
  ExpectBadParameter([&] { double v; noInputs.GetInputDatum(0, 0, &v); }, "Invalid Input Data Column",
                     "Data::GetInputDatum");
}

TEST(Data, SingleValuesCheckRowBeforeColumn) {
  Data data(3, 2, 1, false);
  data.SetInputDatum(2, 1, 4.5);
  data.SetOutputDatum(1, 0, -2.0);
  double v = 0.0;
  data.GetInputDatum(2, 1, &v);
  EXPECT_EQ(v, 4.5);
  data.GetOutputDatum(1, 0, &v);
  EXPECT_EQ(v, -2.0);

  double out = 7.0;
  for (long row : {3L, -1L, 5000000000L}) {
    ExpectBadParameter([&] { data.GetInputDatum(row, 0, &out); }, "Invalid Data Row", "Data::GetInputDatum");
    ExpectBadParameter([&] { data.SetInputDatum(row, 0, 1.0); }, "Invalid Data Row", "Data::SetInputDatum");
    ExpectBadParameter([&] { data.GetOutputDatum(row, 0, &out); }, "Invalid Data Row", "Data::GetOutputDatum");
    ExpectBadParameter([&] { data.SetOutputDatum(row, 0, 1.0); }, "Invalid Data Row", "Data::SetOutputDatum");
  }
  for (long col : {2L, -1L}) {
    ExpectBadParameter([&] { data.GetInputDatum(0, col, &out); }, "Invalid Input Data Column",
                       "Data::GetInputDatum");
    ExpectBadParameter([&] { data.SetInputDatum(0, col, 1.0); }, "Invalid Input Data Column",
                       "Data::SetInputDatum");
  }
  for (long col : {1L, -1L}) {
    ExpectBadParameter([&] { data.GetOutputDatum(0, col, &out); }, "Invalid Output Data Column",
                       "Data::GetOutputDatum");
    ExpectBadParameter([&] { data.SetOutputDatum(0, col, 1.0); }, "Invalid Output Data Column",
                       "Data::SetOutputDatum");
  }
  // Both wrong: the row is reported.
  ExpectBadParameter([&] { data.GetInputDatum(9, 9, &out); }, "Invalid Data Row", "Data::GetInputDatum");
  // Failed calls change nothing.
  EXPECT_EQ(out, 7.0);
  data.GetInputDatum(2, 1, &v);
  EXPECT_EQ(v, 4.5);
}

TEST(Data, RowOperationsReportAnInvalidRowUnderTheirOwnName) {
  Data data(2, 2, 1, true);
  const double in[2] = {1.0, 2.0};
  const double out1[1] = {3.0};
  double buffer[2] = {0.0, 0.0};
  const long cols[1] = {0};
  TLabelList* list = nullptr;
  ExpectBadParameter([&] { data.SetRow(2, in, out1, nullptr); }, "Invalid Data Row", "Data::SetRow");
  ExpectBadParameter([&] { data.GetInputRow(-1, buffer); }, "Invalid Data Row", "Data::GetInputRow");
  ExpectBadParameter([&] { data.GetInputRow(2, buffer, 1, cols); }, "Invalid Data Row", "Data::GetInputRow");
  ExpectBadParameter([&] { data.GetOutputRow(2, buffer); }, "Invalid Data Row", "Data::GetOutputRow");
  ExpectBadParameter([&] { data.GetOutputRow(-3, buffer, 1, cols); }, "Invalid Data Row", "Data::GetOutputRow");
  ExpectBadParameter([&] { data.GetLabels(2, &list); }, "Invalid Data Row", "Data::GetLabels");
  ExpectBadParameter([&] { data.SetLabels(2, nullptr); }, "Invalid Data Row", "Data::SetLabels");
  ExpectBadParameter([&] { data.ClearLabels(-1); }, "Invalid Data Row", "Data::ClearLabels");
  ExpectBadParameter([&] { data.AppendLabel(7, 1.0, "x"); }, "Invalid Data Row", "Data::AppendLabel");

  long got = 5;
  ExpectBadParameter([&] { data.GetBlock(nullptr, nullptr, 2, 3, &got); }, "Data Block Fault", "Data::GetBlock");
  EXPECT_EQ(got, 0);

  // Columns given by index are checked before anything is copied.
  data.SetRow(0, in, out1, nullptr);
  const long badIn[2] = {1, 2};
  ExpectBadParameter([&] { data.GetInputRow(0, buffer, 2, badIn); }, "Invalid Input Data Column",
                     "Data::GetInputRow");
  const long badOut[1] = {-1};
  ExpectBadParameter([&] { data.GetOutputRow(0, buffer, 1, badOut); }, "Invalid Output Data Column",
                     "Data::GetOutputRow");
  EXPECT_EQ(buffer[0], 0.0);
  EXPECT_EQ(buffer[1], 0.0);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(data.MbrDyaLabels[0].count, 0);
}

TEST(Data, WholeRowsCopyAllOrChosenColumns) {
  Data data(2, 3, 2, false);
  const double in[3] = {1.0, 2.0, 3.0};
  const double out[2] = {-1.0, -2.0};
  data.SetRow(1, in, out, nullptr);

  double got[3] = {};
  data.GetInputRow(1, got);
  EXPECT_EQ(std::vector<double>(got, got + 3), std::vector<double>({1.0, 2.0, 3.0}));
  const long cols[3] = {2, 0, 2};
  data.GetInputRow(1, got, 3, cols);
  EXPECT_EQ(std::vector<double>(got, got + 3), std::vector<double>({3.0, 1.0, 3.0}));
  double gotOut[2] = {};
  data.GetOutputRow(1, gotOut);
  EXPECT_EQ(std::vector<double>(gotOut, gotOut + 2), std::vector<double>({-1.0, -2.0}));
  const long outCols[1] = {1};
  data.GetOutputRow(1, gotOut, 1, outCols);
  EXPECT_EQ(gotOut[0], -2.0);

  // A null part leaves the slot's values as they were.
  const double in2[3] = {7.0, 8.0, 9.0};
  data.SetRow(1, in2, nullptr, nullptr);
  data.GetOutputRow(1, gotOut);
  EXPECT_EQ(std::vector<double>(gotOut, gotOut + 2), std::vector<double>({-1.0, -2.0}));
  data.SetRow(1, nullptr, in2, nullptr);
  data.GetInputRow(1, got);
  EXPECT_EQ(std::vector<double>(got, got + 3), std::vector<double>({7.0, 8.0, 9.0}));
  data.GetOutputRow(1, gotOut);
  EXPECT_EQ(std::vector<double>(gotOut, gotOut + 2), std::vector<double>({7.0, 8.0}));

  // A slot may be written from another slot of the same set.
  data.SetRow(0, data.MbrDyaRtpInputs[1], nullptr, nullptr);
  data.GetInputRow(0, got);
  EXPECT_EQ(std::vector<double>(got, got + 3), std::vector<double>({7.0, 8.0, 9.0}));
  EXPECT_EQ(data.MbrNdxDataRows, 0);  // SetRow does not append
}

TEST(Data, AppendFillsSlotsThenOverwritesTheOldest) {
  Data data(3, 2, 1, false);
  AppendTagged(data, 1.0);  // A
  EXPECT_EQ(data.MbrNdxDataRows, 1);
  EXPECT_EQ(data.MbrNdxFirst, 0);
  EXPECT_EQ(data.MbrNdxLast, 0);
  AppendTagged(data, 2.0);  // B
  EXPECT_EQ(data.MbrNdxDataRows, 2);
  EXPECT_EQ(data.MbrNdxLast, 1);
  AppendTagged(data, 3.0);  // C
  EXPECT_EQ(data.MbrNdxFirst, 0);
  EXPECT_EQ(data.MbrNdxLast, 2);
  AppendTagged(data, 4.0);  // D
  EXPECT_EQ(data.MbrNdxDataRows, 3);
  EXPECT_EQ(InputAt(data, 0), 4.0);
  EXPECT_EQ(InputAt(data, 1), 2.0);
  EXPECT_EQ(InputAt(data, 2), 3.0);
  EXPECT_EQ(data.MbrNdxFirst, 1);
  EXPECT_EQ(data.MbrNdxLast, 0);

  // From the newest row, Next visits the stored rows oldest first.
  data.MbrNdxCurrent = data.MbrNdxLast;
  double in[2];
  double out[1];
  std::vector<double> seen;
  for (int i = 0; i < 3; ++i) {
    data.Next(in, out, nullptr);
    seen.push_back(in[0]);
    EXPECT_EQ(in[1], in[0] + 0.1);
    EXPECT_EQ(out[0], -in[0]);
  }
  EXPECT_EQ(seen, std::vector<double>({2.0, 3.0, 4.0}));

  // An append with a null part keeps the overwritten row's values there.
  const double only[2] = {5.0, 5.5};
  data.AppendRow(only, nullptr, nullptr);
  EXPECT_EQ(data.MbrNdxLast, 1);
  double kept = 0.0;
  data.GetOutputDatum(1, 0, &kept);
  EXPECT_EQ(kept, -2.0);

  // AppendRows takes n rows (and an optional label list per row).
  Data labelled(2, 1, 0, true);
  double r0[1] = {10.0};
  double r1[1] = {11.0};
  double r2[1] = {12.0};
  double* rows[3] = {r0, r1, r2};
  TLabelList lists[3] = {TLabelList("a", 1.0), TLabelList(), TLabelList("c", 3.0)};
  labelled.AppendRows(rows, nullptr, 3, lists);
  EXPECT_EQ(InputAt(labelled, 0), 12.0);
  EXPECT_EQ(InputAt(labelled, 1), 11.0);
  ASSERT_EQ(labelled.MbrDyaLabels[0].count, 1);
  EXPECT_EQ(labelled.MbrDyaLabels[0].labels[0].name, "c");
  EXPECT_EQ(labelled.MbrDyaLabels[1].count, 0);
}

TEST(Data, CursorWrapsOverTheStoredRows) {
  Data data(10, 2, 1, false);
  for (int i = 0; i < 4; ++i) {
    AppendTagged(data, i);
  }
  double in[2];
  data.MbrNdxCurrent = 3;
  data.Next(in, nullptr, nullptr);
  EXPECT_EQ(data.MbrNdxCurrent, 0);
  EXPECT_EQ(in[0], 0.0);
  data.Previous(in, nullptr);
  EXPECT_EQ(data.MbrNdxCurrent, 3);
  EXPECT_EQ(in[0], 3.0);
  data.Previous(nullptr, nullptr);
  EXPECT_EQ(data.MbrNdxCurrent, 2);

  double current[2] = {};
  double out[1] = {};
  data.GetCurrentRow(current, out, nullptr);
  EXPECT_EQ(current[0], 2.0);
  EXPECT_EQ(out[0], -2.0);
  EXPECT_EQ(data.MbrNdxCurrent, 2);

  // A cursor set out of range from outside still lands on a stored row.
  data.MbrNdxCurrent = -7;
  data.Next(in, nullptr, nullptr);
  EXPECT_EQ(data.MbrNdxCurrent, 2);
  data.MbrNdxCurrent = 2147483647;
  data.Next(in, nullptr, nullptr);
  EXPECT_EQ(data.MbrNdxCurrent, 0);
  data.MbrNdxCurrent = 12;
  ExpectBadParameter([&] { data.GetCurrentRow(in, nullptr, nullptr); }, "Invalid Data Row", "Data::GetCurrentRow");

  // Before any append the cursor cycles over every slot.
  Data empty(3, 1, 0, false);
  empty.Next(nullptr, nullptr, nullptr);
  empty.Next(nullptr, nullptr, nullptr);
  EXPECT_EQ(empty.MbrNdxCurrent, 2);
  empty.Next(nullptr, nullptr, nullptr);
  EXPECT_EQ(empty.MbrNdxCurrent, 0);
}

TEST(Data, SetWithoutSlotsRefusesCursorAndAppends) {
  Data none(0, 2, 1, true);
  Data negative(-5, 2, 1, false);
  EXPECT_EQ(negative.MbrNdxRows, 0);
  for (Data* data : {&none, &negative}) {
    double in[2];
    TLabelList* list = nullptr;
    ExpectBadParameter([&] { data->Next(in, nullptr, &list); }, "Invalid Data Row", "Data::Next");
    ExpectBadParameter([&] { data->Previous(in, nullptr); }, "Invalid Data Row", "Data::Previous");
    ExpectBadParameter([&] { data->GetCurrentRow(in, nullptr, nullptr); }, "Invalid Data Row",
                       "Data::GetCurrentRow");
    ExpectBadParameter([&] { data->AppendRow(nullptr, nullptr, nullptr); }, "Invalid Data Row", "Data::SetRow");
    EXPECT_EQ(data->MbrNdxCurrent, 0);
    EXPECT_EQ(data->MbrNdxDataRows, 0);
    EXPECT_EQ(data->MbrNdxFirst, 0);
    EXPECT_EQ(data->MbrNdxLast, 0);
  }
}

TEST(Data, GetBlockCopiesUpToTheNewestRow) {
  Data data(10, 2, 1, false);
  for (int i = 0; i < 5; ++i) {
    AppendTagged(data, 10.0 + i);
  }
  std::vector<std::vector<double>> in(10, std::vector<double>(2, -1.0));
  std::vector<std::vector<double>> out(10, std::vector<double>(1, -1.0));
  std::vector<double*> inRows;
  std::vector<double*> outRows;
  for (int i = 0; i < 10; ++i) {
    inRows.push_back(in[i].data());
    outRows.push_back(out[i].data());
  }
  long got = -1;
  data.GetBlock(inRows.data(), outRows.data(), 1, 99, &got);
  EXPECT_EQ(got, 4);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(in[k][0], 11.0 + k);
    EXPECT_EQ(out[k][0], -(11.0 + k));
  }
  EXPECT_EQ(in[4][0], -1.0);

  data.GetBlock(inRows.data(), nullptr, 2, 2, &got);
  EXPECT_EQ(got, 1);
  EXPECT_EQ(in[0][0], 12.0);
  data.GetBlock(inRows.data(), outRows.data(), 3, 1, &got);
  EXPECT_EQ(got, 0);
  // First valid but past the newest row: nothing to copy.
  data.GetBlock(inRows.data(), outRows.data(), 7, 9, &got);
  EXPECT_EQ(got, 0);
  ExpectBadParameter([&] { data.GetBlock(inRows.data(), outRows.data(), -1, 3, &got); }, "Data Block Fault",
                     "Data::GetBlock");
  EXPECT_EQ(got, 0);
}

TEST(Data, LabelsAppendSetAndClearPerRow) {
  Data data(3, 1, 0, true);
  data.AppendLabel(0, 0.5, "cat");
  data.AppendLabel(0, 0.5, "cat");
  TLabelList* list = nullptr;
  data.GetLabels(0, &list);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count, 1);
  EXPECT_EQ(list->labels[0].name, "cat");
  EXPECT_DOUBLE_EQ(list->labels[0].value, 1.0);
  data.AppendLabel(0, 2.0, "Cat");
  EXPECT_EQ(list->count, 2);  // the set hands out its own list

  // SetLabels keeps a copy; the source may change or go away.
  auto source = std::make_unique<TLabelList>("dog", 0.25);
  data.SetLabels(1, source.get());
  source->Append("dog", 1.0);
  source.reset();
  TLabelList* second = nullptr;
  data.GetLabels(1, &second);
  ASSERT_EQ(second->count, 1);
  EXPECT_DOUBLE_EQ(second->labels[0].value, 0.25);

  // A row's own list given back to the same row stays intact.
  data.SetLabels(0, list);
  EXPECT_EQ(list->count, 2);
  data.SetLabels(1, nullptr);
  EXPECT_EQ(second->count, 0);
  data.ClearLabels(0);
  EXPECT_EQ(list->count, 0);
  EXPECT_EQ(list->labels, nullptr);

  // SetRow and AppendRow set the labels (null clears).
  const TLabelList bird("bird", 1.0);
  data.SetRow(2, nullptr, nullptr, &bird);
  EXPECT_EQ(data.MbrDyaLabels[2].count, 1);
  data.SetRow(2, nullptr, nullptr, nullptr);
  EXPECT_EQ(data.MbrDyaLabels[2].count, 0);

  // A set without labels answers null and refuses to change labels.
  Data plain(2, 1, 0, false);
  TLabelList* none = &data.MbrDyaLabels[0];
  plain.GetLabels(1, &none);
  EXPECT_EQ(none, nullptr);
  ExpectBadParameter([&] { plain.SetLabels(0, &bird); }, "No Labels", "Data::SetLabels");
  ExpectBadParameter([&] { plain.ClearLabels(1); }, "No Labels", "Data::ClearLabels");
  ExpectBadParameter([&] { plain.AppendLabel(0, 1.0, "x"); }, "No Labels", "Data::AppendLabel");
  // The row is still checked first.
  ExpectBadParameter([&] { plain.AppendLabel(2, 1.0, "x"); }, "Invalid Data Row", "Data::AppendLabel");
  plain.SetRow(0, nullptr, nullptr, &bird);  // labels are simply not kept
  EXPECT_EQ(plain.MbrDyaLabels, nullptr);
}

TEST(Data, SequentialReadingWithLabelsAndColumnSelections) {
  Data data(2, 3, 2, true);
  const double in0[3] = {1.0, 2.0, 3.0};
  const double out0[2] = {-1.0, -2.0};
  const TLabelList cat("cat", 1.0);
  data.AppendRow(in0, out0, &cat);
  const double in1[3] = {4.0, 5.0, 6.0};
  const double out1[2] = {-4.0, -5.0};
  data.AppendRow(in1, out1, nullptr);

  // Without a selection Next returns whole rows and the row's labels.
  data.MbrNdxCurrent = data.MbrNdxLast;
  double in[3] = {};
  double out[2] = {};
  TLabelList* labels = nullptr;
  data.Next(in, out, &labels);
  EXPECT_EQ(labels, &data.MbrDyaLabels[0]);
  EXPECT_EQ(std::vector<double>(in, in + 3), std::vector<double>({1.0, 2.0, 3.0}));

  // With an input selection: those inputs in that order, all outputs, no labels.
  const long sel[2] = {2, 0};
  data.SetInputSelection(2, sel);
  EXPECT_EQ(data.MbrNdxSelInputs, 2);
  data.MbrNdxCurrent = 1;
  in[2] = 99.0;
  data.Next(in, out, &labels);
  EXPECT_EQ(in[0], 3.0);
  EXPECT_EQ(in[1], 1.0);
  EXPECT_EQ(in[2], 99.0);
  EXPECT_EQ(std::vector<double>(out, out + 2), std::vector<double>({-1.0, -2.0}));
  EXPECT_EQ(labels, nullptr);
  // GetCurrentRow gives the labels even then.
  data.GetCurrentRow(in, out, &labels);
  EXPECT_EQ(labels, &data.MbrDyaLabels[0]);

  long n = 0;
  long* cols = nullptr;
  data.GetInputSelection(&n, &cols);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(cols[0], 2);
  EXPECT_EQ(cols[1], 0);
  cols[0] = 1;  // the caller's own copy
  delete[] cols;
  EXPECT_EQ(data.MbrDyaSelInputs[0], 2);

  // An output selection applies together with the input selection.
  const long inSel[1] = {1};
  const long outSel[1] = {1};
  data.SetSelection(1, inSel, 1, outSel);
  data.Previous(in, out);
  EXPECT_EQ(data.MbrNdxCurrent, 1);
  EXPECT_EQ(in[0], 5.0);
  EXPECT_EQ(out[0], -5.0);
  data.SetSelection(0, nullptr, 1, outSel);  // outputs alone select nothing
  EXPECT_EQ(data.MbrDyaSelInputs, nullptr);
  data.Next(in, out, nullptr);
  EXPECT_EQ(std::vector<double>(in, in + 3), std::vector<double>({1.0, 2.0, 3.0}));
  EXPECT_EQ(std::vector<double>(out, out + 2), std::vector<double>({-1.0, -2.0}));

  // Invalid columns are refused and the old selection stays.
  data.SetInputSelection(2, sel);
  const long bad[2] = {0, 3};
  ExpectBadParameter([&] { data.SetInputSelection(2, bad); }, "Invalid Input Data Column",
                     "Data::SetInputSelection");
  ExpectBadParameter([&] { data.SetSelection(1, inSel, 2, bad); }, "Invalid Output Data Column",
                     "Data::SetSelection");
  ExpectBadParameter([&] { data.SetSelection(2, bad, 1, outSel); }, "Invalid Input Data Column",
                     "Data::SetSelection");
  EXPECT_EQ(data.MbrNdxSelInputs, 2);
  EXPECT_EQ(data.MbrDyaSelInputs[0], 2);
  EXPECT_EQ(data.MbrNdxSelOutputs, 1);

  // A selection of no columns means all columns again.
  data.SetInputSelection(0, nullptr);
  data.GetInputSelection(&n, &cols);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(cols, nullptr);
}

TEST(Data, CloneIsADeepIndependentCopy) {
  Data source(4, 2, 1, true);
  for (int i = 0; i < 5; ++i) {
    AppendTagged(source, i);
  }
  source.AppendLabel(1, 0.5, "cat");
  source.MbrNdxCurrent = 2;
  std::unique_ptr<Data> plainClone(source.Clone());
  const long sel[1] = {1};
  const long outSel[1] = {0};
  source.SetSelection(1, sel, 1, outSel);
  std::unique_ptr<Data> clone(source.Clone());

  EXPECT_EQ(clone->MbrNdxRows, 4);
  EXPECT_EQ(clone->MbrNdxDataRows, 4);
  EXPECT_EQ(clone->MbrNdxFirst, source.MbrNdxFirst);
  EXPECT_EQ(clone->MbrNdxLast, source.MbrNdxLast);
  EXPECT_EQ(clone->MbrNdxCurrent, 2);
  EXPECT_TRUE(clone->MbrBoolLabels);
  EXPECT_NE(clone->MbrDyaRtpInputs, source.MbrDyaRtpInputs);
  EXPECT_NE(clone->MbrDyaRtpInputs[0], source.MbrDyaRtpInputs[0]);
  EXPECT_NE(clone->MbrDyaSelInputs, source.MbrDyaSelInputs);
  EXPECT_EQ(clone->MbrNdxSelInputs, 1);
  EXPECT_EQ(clone->MbrNdxSelOutputs, 1);
  EXPECT_EQ(plainClone->MbrDyaSelInputs, nullptr);
  EXPECT_EQ(plainClone->MbrDyaSelOutputs, nullptr);

  // Changing the source touches neither clone.
  source.SetInputDatum(0, 0, 100.0);
  source.AppendLabel(1, 1.0, "dog");
  source.SetInputSelection(0, nullptr);
  EXPECT_EQ(InputAt(*clone, 0), 4.0);
  ASSERT_EQ(clone->MbrDyaLabels[1].count, 1);
  EXPECT_EQ(clone->MbrDyaLabels[1].labels[0].name, "cat");
  EXPECT_EQ(clone->MbrNdxSelInputs, 1);
  clone->AppendLabel(2, 1.0, "bird");
  EXPECT_EQ(source.MbrDyaLabels[2].count, 0);

  // A clone without selections reads the same rows with Next as its source.
  source.SetInputDatum(0, 0, 4.0);
  source.MbrNdxCurrent = 2;
  for (int i = 0; i < 6; ++i) {
    double a[2];
    double b[2];
    double oa[1];
    double ob[1];
    source.Next(a, oa, nullptr);
    plainClone->Next(b, ob, nullptr);
    EXPECT_EQ(a[0], b[0]);
    EXPECT_EQ(a[1], b[1]);
    EXPECT_EQ(oa[0], ob[0]);
  }
  // The selection travelled with the clone.
  double selected[1];
  double selectedOut[1];
  clone->GetCurrentRow(selected, selectedOut, nullptr);
  EXPECT_EQ(selected[0], InputAt(*clone, 2) + 0.1);
}

TEST(Data, CountsTooLargeFailCleanly) {
  EXPECT_THROW(Data(2000000000L, 2000000000L, 1, false), std::length_error);
  EXPECT_THROW(Data(2000000000L, 0, 2000000000L, true), std::length_error);
  EXPECT_THROW(Data(3000000000L, 0, 0, false), std::length_error);
  EXPECT_THROW(Data(1, 3000000000L, 0, false), std::length_error);
  EXPECT_THROW(Data(1, 0, 3000000000L, false), std::length_error);
}
