#include "DataImport/ColumnList.h"

#include <algorithm>
#include <cstddef>

#include "Common/NumberText.h"
#include "KQmessage/TException.h"

namespace Netforge {

namespace {

[[noreturn]] void Refuse(const std::string& message) {
  throw TException(message.c_str(), "Bad Parameter", "ResolveColumnList", nullptr);
}

// The column that |text| (part of |item|) numbers, from 1 to |columns|, as
// an index from 0; refuses anything else.
long ColumnNumber(std::string_view text, std::string_view item, long columns) {
  const bool allDigits =
      !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!allDigits) Refuse("column list: \"" + std::string(item) + "\" is neither a column name nor a column number");
  const std::string digits(text);
  long number = 0;
  if (ScanLong(digits.c_str(), number, 1, columns) != ScanResult::kOk) {
    Refuse("column list: there is no column " + digits + " (the table has " + std::to_string(columns) +
           " columns)");
  }
  return number - 1;
}

// The columns of one item, appended to |out|.
void AddItem(std::string_view item, const std::vector<std::string>& names, long columns, std::vector<long>& out) {
  if (item.empty()) Refuse("column list: empty item");
  const auto named = std::find(names.begin(), names.end(), item);
  if (named != names.end()) {
    out.push_back(static_cast<long>(named - names.begin()));
    return;
  }
  const std::size_t dash = item.find('-');
  if (dash == std::string_view::npos) {
    out.push_back(ColumnNumber(item, item, columns));
    return;
  }
  const long first = ColumnNumber(item.substr(0, dash), item, columns);
  const long last = ColumnNumber(item.substr(dash + 1), item, columns);
  if (last < first) Refuse("column list: the range \"" + std::string(item) + "\" goes down");
  for (long column = first; column <= last; ++column) out.push_back(column);
}

}  // namespace

std::vector<long> ResolveColumnList(std::string_view list, const std::vector<std::string>& names, long columns) {
  std::vector<long> result;
  if (list.empty()) return result;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = list.find(',', start);
    AddItem(list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start), names,
            columns, result);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  std::vector<long> sorted = result;
  std::sort(sorted.begin(), sorted.end());
  const auto twice = std::adjacent_find(sorted.begin(), sorted.end());
  if (twice != sorted.end()) Refuse("column list: column " + std::to_string(*twice + 1) + " is listed twice");
  return result;
}

std::vector<long> OtherColumns(const std::vector<long>& taken, long columns) {
  std::vector<bool> isTaken(static_cast<std::size_t>(columns), false);
  for (long column : taken) isTaken[static_cast<std::size_t>(column)] = true;
  std::vector<long> others;
  for (long column = 0; column < columns; ++column) {
    if (!isTaken[static_cast<std::size_t>(column)]) others.push_back(column);
  }
  return others;
}

}  // namespace Netforge
