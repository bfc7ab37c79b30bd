#include "DataImport/DataSplit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "DataObject/TLabelList.h"
#include "ImportTestSupport.h"
#include "KQmessage/TException.h"

namespace {

using ImportTest::InputsOf;
using ImportTest::OutputsOf;
using Netforge::SplitCounts;
using Netforge::SplitDataSet;

std::string LabelName(long k) {
  std::string name = "k";
  name += std::to_string(k);
  return name;
}

// |rows| rows: input k, output -k, and a label "k<k>".
std::unique_ptr<Data> Numbered(long rows, long slots, bool labels) {
  auto data = std::make_unique<Data>(slots, 1, 1, labels);
  for (long k = 0; k < rows; ++k) {
    const double in = static_cast<double>(k), out = -in;
    const TLabelList list(LabelName(k).c_str(), 1.0);
    data->AppendRow(&in, &out, labels ? &list : nullptr);
  }
  return data;
}

std::vector<double> FirstInputs(const Data& data) {
  std::vector<double> values;
  for (const auto& row : InputsOf(data)) values.push_back(row[0]);
  return values;
}

TEST(DataSplit, CountsAddUpAndStayWithinOneRowOfTheirShare) {
  EXPECT_EQ(SplitCounts(10, {0.7, 0.15, 0.15}), (std::vector<long>{7, 2, 1}));
  EXPECT_EQ(SplitCounts(100, {0.7, 0.15, 0.15}), (std::vector<long>{70, 15, 15}));
  EXPECT_EQ(SplitCounts(3, {0.5, 0.5}), (std::vector<long>{2, 1}));
  EXPECT_EQ(SplitCounts(1, {0.0, 1.0}), (std::vector<long>{0, 1}));
  EXPECT_EQ(SplitCounts(0, {0.5, 0.5}), (std::vector<long>{0, 0}));
  EXPECT_EQ(SplitCounts(7, {1.0 / 3, 1.0 / 3, 1.0 / 3}), (std::vector<long>{3, 2, 2}));
}

TEST(DataSplit, RefusesFractionsThatDoNotMakeASplit) {
  for (const std::vector<double>& fractions : std::vector<std::vector<double>>{
           {1.0}, {0.5, 0.6}, {0.5, 0.4}, {-0.1, 1.1}, {0.5, 0.5 + 1e-8}, {std::nan(""), 1.0}}) {
    EXPECT_THROW(SplitCounts(10, fractions), TException);
  }
}

TEST(DataSplit, DealsEveryRowOutOnceKeepingOrderAndLabels) {
  const auto data = Numbered(50, 50, true);
  const auto parts = SplitDataSet(*data, {0.6, 0.2, 0.2}, 7);
  ASSERT_EQ(parts.size(), 3u);
  std::vector<double> all;
  for (const auto& part : parts) {
    const std::vector<double> inputs = FirstInputs(*part);
    EXPECT_TRUE(std::is_sorted(inputs.begin(), inputs.end()));
    for (long row = 0; row < part->MbrNdxDataRows; ++row) {
      EXPECT_EQ(part->MbrDyaRtpOutputs[row][0], -inputs[static_cast<std::size_t>(row)]);
      TLabelList* labels = nullptr;
      part->GetLabels(row, &labels);
      ASSERT_EQ(labels->count, 1);
      EXPECT_EQ(std::string(labels->labels[0].name), LabelName(static_cast<long>(inputs[static_cast<std::size_t>(row)])));
    }
    all.insert(all.end(), inputs.begin(), inputs.end());
  }
  EXPECT_EQ(parts[0]->MbrNdxDataRows, 30);
  EXPECT_EQ(parts[1]->MbrNdxDataRows, 10);
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all, FirstInputs(*data));
}

TEST(DataSplit, OneSeedGivesOneSplitAndOthersAnother) {
  const auto data = Numbered(40, 40, false);
  const auto first = SplitDataSet(*data, {0.5, 0.5}, 42);
  const auto again = SplitDataSet(*data, {0.5, 0.5}, 42);
  const auto other = SplitDataSet(*data, {0.5, 0.5}, 43);
  EXPECT_EQ(FirstInputs(*first[0]), FirstInputs(*again[0]));
  EXPECT_NE(FirstInputs(*first[0]), FirstInputs(*other[0]));
  // The split of a seed is fixed for good: files split today are split the
  // same way by every later version and on every machine.
  EXPECT_EQ(FirstInputs(*SplitDataSet(*Numbered(6, 6, false), {0.5, 0.5}, 1)[0]),
            (std::vector<double>{0, 1, 3}));
}

TEST(DataSplit, TakesTheStoredRowsOfAWrappedSetOldestFirst) {
  const auto data = Numbered(7, 4, false);  // keeps rows 3, 4, 5, 6
  const auto parts = SplitDataSet(*data, {0.0, 1.0}, 5);
  EXPECT_EQ(parts[0]->MbrNdxRows, 0);
  EXPECT_EQ(FirstInputs(*parts[1]), (std::vector<double>{3, 4, 5, 6}));
}

}  // namespace
