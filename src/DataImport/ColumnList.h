// ColumnList: which columns of a table an importer takes, written as text.
//
// A column list is a comma-separated list of items: a column number (counted
// from 1), a range of numbers "3-6" (both ends included, ascending), or the
// name of a column as the table's header row gives it. A name is matched
// exactly (case and blanks matter) and is tried first, so a header cell "2"
// means that column, not the second; a name that holds a comma cannot be
// listed (give its number). The empty text lists no columns.
#ifndef NETFORGE_DATAIMPORT_COLUMNLIST_H
#define NETFORGE_DATAIMPORT_COLUMNLIST_H

#include <string>
#include <string_view>
#include <vector>

namespace Netforge {

// The columns of |list|, as indices from 0 in the order listed, for a table
// of |columns| columns whose header names are |names| (empty for a table
// without header). Throws TException (kind "Bad Parameter") naming the item
// for an unknown name, a number outside 1 .. |columns|, a malformed or
// descending range, an empty item, and a column listed twice.
std::vector<long> ResolveColumnList(std::string_view list, const std::vector<std::string>& names, long columns);

// The columns 0 .. |columns|-1 that |taken| does not hold, ascending.
std::vector<long> OtherColumns(const std::vector<long>& taken, long columns);

}  // namespace Netforge

#endif  // NETFORGE_DATAIMPORT_COLUMNLIST_H
