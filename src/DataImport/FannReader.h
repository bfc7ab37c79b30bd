// FannReader: imports a training-data file in FANN's format into a Data.
//
// FANN (the Fast Artificial Neural Network library) stores training data as
// plain numbers separated by blanks and line ends: first the number of rows,
// of inputs and of outputs, then for every row its input values followed by
// its output values -- by custom the counts on the first line and the inputs
// and the outputs of each row on a line each:
//
//     4 2 1
//     0 0
//     0
//     0 1
//     1
//     ...
//
// Like FANN, the reader does not insist on that line layout: any blanks and
// line ends separate the numbers. Unlike FANN it checks everything: the
// counts must be whole numbers (rows at least 1, inputs at least 1, outputs
// at least 0), every value a decimal number (DecimalNumber.h), and the file
// must hold exactly as many values as the counts announce. Memory is taken
// only for values really read, so a file whose counts lie costs nothing.
//
// Errors are thrown as FileTools::Error with the line and column (from 1, in
// bytes) of the offending word, or of the end of the input for a file that
// ends early.
#ifndef NETFORGE_DATAIMPORT_FANNREADER_H
#define NETFORGE_DATAIMPORT_FANNREADER_H

#include <iosfwd>
#include <memory>
#include <string>

class Data;

namespace Netforge {

// Reads FANN training data from |in| to its end: a Data of one slot per row,
// all filled, with the rows' inputs and outputs in file order, no labels.
std::unique_ptr<Data> ReadFannData(std::istream& in);

// The same for the file at |path|; a file that cannot be opened or read is a
// FileTools::Error without a place (line and column 0).
std::unique_ptr<Data> ReadFannDataFile(const std::string& path);

}  // namespace Netforge

#endif  // NETFORGE_DATAIMPORT_FANNREADER_H
