// Storage helpers shared by the weight-carrying connection blocks.
//
// A block stores its matrix row by row: one row per target neuron, each row
// the values from source neurons 0 .. nFrom-1, with a table of row pointers.
// When a neuron is inserted or removed the matrix changes from an old shape
// to a new one; these helpers map positions between the two shapes. Only one
// neuron index changes per operation; a block that connects a layer with
// itself changes in both dimensions at the same index.
//
// Internal to the blocks' implementation files.
#ifndef NETFORGE_NEURALNETS_BLOCKSTORAGE_H
#define NETFORGE_NEURALNETS_BLOCKSTORAGE_H

#include <cstddef>
#include <vector>

namespace BlockStorage {

// The old position that new position |i| of one dimension comes from, or -1
// for the position opened at |node|.
inline int OldIndex(int i, int node, int oldCount, int newCount) {
  if (newCount > oldCount) return i < node ? i : (i == node ? -1 : i - 1);
  if (newCount < oldCount) return i < node ? i : i + 1;
  return i;
}

// Marks the whole 2 MiB pages within [data, data + bytes) for transparent
// huge pages; does nothing for small areas or where that is not offered.
void AdviseHugePages(void* data, std::size_t bytes);

inline std::size_t Cells(int nFrom, int nTo) {
  return static_cast<std::size_t>(nFrom) * static_cast<std::size_t>(nTo);
}

// Drops the row and/or column at |node|. Every value moves to a position at
// or before its old one, so one forward pass compacts the data in place;
// shrinking a vector never reallocates, so this cannot fail.
template <class T>
void ShrinkInPlace(std::vector<T>& data, int oldFrom, int oldTo, int newFrom, int newTo, int node) {
  std::size_t dst = 0;
  for (int t = 0; t < newTo; ++t) {
    const std::size_t oldRow = static_cast<std::size_t>(OldIndex(t, node, oldTo, newTo)) * oldFrom;
    for (int f = 0; f < newFrom; ++f) data[dst++] = data[oldRow + OldIndex(f, node, oldFrom, newFrom)];
  }
  data.resize(dst);
}

// A copy of |data| in the grown shape, with |fill| in every opened position.
template <class T>
std::vector<T> GrowCopy(const std::vector<T>& data, int oldFrom, int oldTo, int newFrom, int newTo, int node, T fill) {
  std::vector<T> grown(Cells(newFrom, newTo), fill);
  std::size_t dst = 0;
  for (int t = 0; t < newTo; ++t) {
    const int ot = OldIndex(t, node, oldTo, newTo);
    for (int f = 0; f < newFrom; ++f, ++dst) {
      const int of = OldIndex(f, node, oldFrom, newFrom);
      if (ot >= 0 && of >= 0) grown[dst] = data[static_cast<std::size_t>(ot) * oldFrom + of];
    }
  }
  return grown;
}

// Gives |data| |count| values of |fill|. The matrix of a large block is
// asked for in huge pages where the system offers them on request (Linux):
// filling it then takes one page fault per 2 MiB instead of one per 4 KiB,
// which is most of the time it takes to set up the blocks of a large network.
template <class T>
void FillMatrix(std::vector<T>& data, std::size_t count, T fill) {
  data.clear();
  data.reserve(count);  // allocated, not yet touched
  AdviseHugePages(data.data(), count * sizeof(T));
  data.assign(count, fill);
}

// Points rows[t] at row t of |data|; |rows| must already hold nTo entries.
template <class T>
void PointRows(std::vector<T*>& rows, std::vector<T>& data, int nFrom) {
  for (std::size_t t = 0; t < rows.size(); ++t) rows[t] = data.data() + t * static_cast<std::size_t>(nFrom);
}

// Visits the positions opened by a growth from (oldFrom, oldTo) to
// (newFrom, newTo) at |node| in the order their random weights are drawn:
// first the new column, target by target, then the new row, source by source
// (skipping the cell the column already covered).
template <class Fn>
void ForOpenedCells(int oldFrom, int oldTo, int newFrom, int newTo, int node, Fn fn) {
  const bool newColumn = newFrom > oldFrom;
  if (newColumn) {
    for (int t = 0; t < newTo; ++t) fn(static_cast<std::size_t>(t) * newFrom + node);
  }
  if (newTo > oldTo) {
    for (int f = 0; f < newFrom; ++f) {
      if (newColumn && f == node) continue;
      fn(static_cast<std::size_t>(node) * newFrom + f);
    }
  }
}

}  // namespace BlockStorage

#endif  // NETFORGE_NEURALNETS_BLOCKSTORAGE_H
