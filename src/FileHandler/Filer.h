// Data set files: the status codes of the FileTools data set operations.
//
// A data set file holds, row by row, up to two data sets of equal length in
// the bracketed block syntax of FileTools: a [DataSet] block of header counts
// and a [Data] block of row lines. The first data set keeps inputs and
// expected outputs (or a label list per row instead of expected outputs); the
// second keeps generated outputs (or labels) and error values, as a network's
// recall and evaluation produce them.
//
// The operations themselves are members of FileTools (declared in
// ParseTools.h, defined in Filer.cpp). Each opens and closes its own file;
// the Data objects they hand out belong to the caller, and an options
// structure given to them is deleted on entry. Syntax errors are thrown as
// FileTools::Error; everything else is reported with the codes below.
//
// Reading guards memory: before a reader allocates the rows a header (or a
// caller) announces, the bytes left in the file must be able to hold them,
// counting at least one byte per number and two per label list ("[]"). Every
// valid file meets that bound, so it only refuses files whose counts lie.
#ifndef NETFORGE_FILEHANDLER_FILER_H
#define NETFORGE_FILEHANDLER_FILER_H

#include "FileHandler/ParseTools.h"

// Done.
inline constexpr int SUCCESS = 0;
// The file to read cannot be opened.
inline constexpr int FILE_OPEN_FAILED = -81;
// The header is not acceptable (an unknown, repeated or misplaced keyword, an
// unclosed bracket, no "Rows", a negative "Rows" or "Error"), or the file
// holds a second data set that the caller cannot take.
inline constexpr int FORMAT_ERROR = -82;
// Writer: no data set given, or the two data sets differ in their number of
// row slots.
inline constexpr int INVALID_DATA_SET = -83;
// Writer: the file cannot be created, opened for appending or written (a
// missing folder, a full disk); what was written before may remain.
inline constexpr int FILE_WRITE_FAILED = -84;

#endif  // NETFORGE_FILEHANDLER_FILER_H
