// The layout of a data set file's data block, shared by the data set readers
// (Filer.cpp and DataSetRowReader.cpp). Internal: not installed.
//
// A data set file holds a [DataSet] block: its header counts, then a [Data]
// block of rows. OpenDataBlock reads up to the rows; RowReader reads the rows
// one by one into the two data sets. None of these own the stream or the
// FileTools they are given; both must outlive them.
#ifndef NETFORGE_FILEHANDLER_DATABLOCK_H
#define NETFORGE_FILEHANDLER_DATABLOCK_H

#include <fstream>
#include <iosfwd>
#include <string>
#include <vector>

#include "FileHandler/ParseTools.h"

namespace Netforge::detail {

inline constexpr const char* kHeaderOverstatesRows = "Data set header announces more rows than the file holds";

// What a header announces, with "Labels" turned into a flag and negative
// output counts into 0.
struct Shape {
  long rows = -1;
  long inputs = 0;
  long expected = 0;
  long generated = 0;
  long errors = 0;
  bool labels1 = false;
  bool labels2 = false;

  bool HasFirst() const { return inputs != 0 || expected != 0 || labels1; }
  bool HasSecond() const { return generated != 0 || errors != 0 || labels2; }

  // The fewest bytes one row can take in a file: a number is at least one
  // character, a label list at least "[]".
  unsigned long long MinRowBytes() const {
    return static_cast<unsigned long long>(inputs) + static_cast<unsigned long long>(expected) +
           static_cast<unsigned long long>(generated) + static_cast<unsigned long long>(errors) +
           2ULL * (labels1 ? 1 : 0) + 2ULL * (labels2 ? 1 : 0);
  }
};

// The part of a data set file in front of the rows.
struct DataBlock {
  Shape shape;
  std::string dataSetName;  // block names as written, for the end tags
  std::string dataName;
  std::streamoff start = 0;     // position just after the [Data] tag
  std::streamoff fileSize = 0;
  bool noRows = false;          // the header was acceptable but gave no "Rows"
};

// Whether a file opened for reading can really be read: a folder opens like
// a file on some systems and fails only at the first read, which the
// tokenizer (reading the buffer directly) would meet as an exception.
bool Readable(std::ifstream& in);

// The current read position; at the end of input (eofbit set) the stream is
// cleared first, as tellg refuses to answer otherwise. Fails through |tools|
// when the stream cannot tell.
std::streamoff ReadPosition(FileTools& tools, std::istream& in);

// Reads the data set block tag, the header and the data block tag of |in|,
// from its start. Returns a status other than SUCCESS for an unacceptable
// header (one without "Rows" included); syntax errors are thrown.
int OpenDataBlock(FileTools& tools, std::istream& in, DataBlock& block);

// Refuses |rows| rows with |message| when the bytes from |position| to the
// end of the file cannot hold them, before anything is allocated for them.
void CheckRowsFit(FileTools& tools, std::istream& in, const DataBlock& block, std::streamoff position, long rows,
                  const char* message);

// Turns a place counted from byte |origin| of the file into one counted
// from the top of the file.
void RebaseOnFileStart(std::istream& in, std::streamoff origin, FileTools::Error& error);

// The data sets a shape calls for, made with |rows| slots and stored in the
// out-parameters at once, so that they belong to the caller even when
// reading fails later. A null out-parameter asks for no data set.
void MakeDataSets(const Shape& shape, long rows, Data** first, Data** second);

// Checks that only the end tags of the data block, of the data set block and
// the end of input follow.
void ReadDataBlockEnd(FileTools& tools, std::istream& in, const DataBlock& block);

// Reads row after row of a data block into the two data sets.
//
// A row holds the first set's inputs and expected outputs, then the second
// set's generated outputs and errors. The writer puts each label list in the
// place of the outputs it replaces; files made by hand may also carry the
// label lists after all numbers of the row. Both orders are read: a label
// list is taken early when a "[" (not "[~") stands where it would be written.
class RowReader {
 public:
  // |block| must outlive the reader.
  RowReader(FileTools& tools, std::istream& in, const DataBlock& block)
      : tools_(tools), in_(in), shape_(block.shape), blockdef_(block.dataName) {}

  // Reads one row and appends it as row |row| of |first| and |second|; a
  // null data set is read past but not kept.
  void ReadRow(long row, Data* first, Data* second);

 private:
  void ReadNumbers(std::vector<double>& values);
  // Skips blanks and comments and tells whether a "[" that is not the start
  // of an end tag comes next; that "[" is left in the stream.
  bool LabelListFollows();

  FileTools& tools_;
  std::istream& in_;
  const Shape& shape_;
  const std::string& blockdef_;
  std::vector<double> inputs_, expected_, generated_, errors_;
};

}  // namespace Netforge::detail

#endif  // NETFORGE_FILEHANDLER_DATABLOCK_H
