#include "DataImport/DataSplit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>

#include "Common/SeededRandom.h"
#include "DataObject/Data.h"
#include "KQmessage/TException.h"

namespace Netforge {

namespace {

[[noreturn]] void Refuse(const char* message) { throw TException(message, "Bad Parameter", "SplitDataSet", nullptr); }

void CheckFractions(const std::vector<double>& fractions) {
  if (fractions.size() < 2) Refuse("a split needs at least two fractions");
  double sum = 0.0;
  for (double fraction : fractions) {
    if (!(fraction >= 0.0 && fraction <= 1.0)) Refuse("every fraction must lie between 0 and 1");
    sum += fraction;
  }
  if (std::fabs(sum - 1.0) > 1e-9) Refuse("the fractions must add up to 1");
}

// A new Data of the stored rows of |data| numbered |ages| (0 for the oldest
// row), in the order given.
std::unique_ptr<Data> CopyRows(const Data& data, const std::vector<std::int32_t>& ages) {
  auto part = std::make_unique<Data>(static_cast<long>(ages.size()), data.MbrNdxInputs, data.MbrNdxOutputs,
                                     data.MbrBoolLabels);
  for (std::int32_t age : ages) {
    const std::int32_t slot = static_cast<std::int32_t>((static_cast<long>(data.MbrNdxFirst) + age) % data.MbrNdxRows);
    part->AppendRow(data.MbrNdxInputs > 0 ? data.MbrDyaRtpInputs[slot] : nullptr,
                    data.MbrNdxOutputs > 0 ? data.MbrDyaRtpOutputs[slot] : nullptr,
                    data.MbrBoolLabels ? &data.MbrDyaLabels[slot] : nullptr);
  }
  return part;
}

}  // namespace

std::vector<long> SplitCounts(long rows, const std::vector<double>& fractions) {
  CheckFractions(fractions);
  std::vector<long> counts(fractions.size());
  std::vector<double> remainders(fractions.size());
  long assigned = 0;
  for (std::size_t i = 0; i < fractions.size(); ++i) {
    const double share = fractions[i] * static_cast<double>(rows);
    counts[i] = std::min(rows - assigned, static_cast<long>(std::floor(share)));
    remainders[i] = share - std::floor(share);
    assigned += counts[i];
  }
  // The rows left by rounding down go to the largest remainders.
  std::vector<std::size_t> order(fractions.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return remainders[a] > remainders[b]; });
  for (std::size_t k = 0; assigned < rows; k = (k + 1) % order.size(), ++assigned) ++counts[order[k]];
  return counts;
}

std::vector<std::unique_ptr<Data>> SplitDataSet(const Data& data, const std::vector<double>& fractions,
                                                std::uint64_t seed) {
  const std::vector<long> counts = SplitCounts(data.MbrNdxDataRows, fractions);
  std::vector<std::int32_t> ages(static_cast<std::size_t>(data.MbrNdxDataRows));
  std::iota(ages.begin(), ages.end(), std::int32_t{0});
  SeededRandom random(seed);
  random.Shuffle(ages.data(), ages.size());

  std::vector<std::unique_ptr<Data>> parts;
  auto next = ages.begin();
  for (long count : counts) {
    std::vector<std::int32_t> chosen(next, next + count);
    next += count;
    std::sort(chosen.begin(), chosen.end());  // back into the source's order
    parts.push_back(CopyRows(data, chosen));
  }
  return parts;
}

}  // namespace Netforge
