// DataSplit: divides a data set into parts -- training, validation and test
// sets -- by fractions, at random but reproducibly.
//
// The rows are dealt out by a shuffle with the library's own generator
// (Common/SeededRandom.h), so one seed gives the same parts on every machine.
// Each part keeps its rows in the order they had in the source, with their
// label lists.
#ifndef NETFORGE_DATAIMPORT_DATASPLIT_H
#define NETFORGE_DATAIMPORT_DATASPLIT_H

#include <cstdint>
#include <memory>
#include <vector>

class Data;

namespace Netforge {

// The number of rows of each part when |rows| rows are split by |fractions|:
// the largest-remainder rounding of fraction x rows, so the counts add up to
// |rows| exactly and each lies within one row of its share (a tie goes to
// the earlier part). Throws TException (kind "Bad Parameter") unless there
// are at least two fractions, each finite and in [0, 1], summing to 1 within
// 1e-9.
std::vector<long> SplitCounts(long rows, const std::vector<double>& fractions);

// Splits the rows that |data| stores (MbrNdxDataRows of them, oldest first)
// into one new Data per fraction, with the counts of SplitCounts: the rows
// are shuffled with a SeededRandom of |seed|, the first counts[0] of the
// shuffled rows go to part 0, the next counts[1] to part 1, and so on. A
// part of no rows is a Data without slots. The caller owns the parts; |data|
// is not changed.
std::vector<std::unique_ptr<Data>> SplitDataSet(const Data& data, const std::vector<double>& fractions,
                                                std::uint64_t seed);

}  // namespace Netforge

#endif  // NETFORGE_DATAIMPORT_DATASPLIT_H
