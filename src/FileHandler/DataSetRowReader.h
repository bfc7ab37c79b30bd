// DataSetRowReader: reads the rows of a data set file run by run, so that a
// program can go through a data set larger than memory (an evaluation, a
// training epoch) holding only one run of rows at a time.
//
// Open reads the header up to the [Data] tag and tells the data sets' shape;
// each ReadRows call then reads the next run of rows into new Data objects.
// The run that reaches the last row also checks that only the end tags
// follow, so a file read to its end has been checked as a whole, just as
// FileTools::ReadDataSet checks it.
//
// The reader keeps the file open from Open to its destruction and reads it
// front to back once, so every FileTools::Error it throws carries the exact
// line and column in the file, counted from its top.
//
// Errors:
//   - Open returns FILE_OPEN_FAILED (Filer.h) for a file that cannot be
//     opened or read, and FORMAT_ERROR for a header that is not acceptable
//     (an unknown, repeated or misplaced count, or no "Rows").
//   - Syntax and content errors of the file are thrown as FileTools::Error,
//     with the messages of FileTools::ReadDataSet (among them "Data set header
//     announces more rows than the file holds", for a header whose "Rows" the
//     rest of the file cannot hold, refused before memory is taken for them).
//   - std::bad_alloc and std::length_error pass through.
// After an error the reader is spent: only its destructor and the accessors
// may be called (ReadRows after a failed Open or a failed ReadRows stops the
// program in a consistency check).
//
// Ownership: the Data objects a run hands out belong to the caller, even
// when ReadRows throws after making them. The reader owns its file.
// Not thread-safe; one reader reads one file. Readers of different files are
// independent.
#ifndef NETFORGE_FILEHANDLER_DATASETROWREADER_H
#define NETFORGE_FILEHANDLER_DATASETROWREADER_H

#include <memory>

class Data;

class DataSetRowReader {
 public:
  DataSetRowReader();
  ~DataSetRowReader();
  DataSetRowReader(const DataSetRowReader&) = delete;
  DataSetRowReader& operator=(const DataSetRowReader&) = delete;

  // Opens |filename| and reads its header. Returns SUCCESS or a status code
  // of Filer.h; throws FileTools::Error for a syntax error in the header.
  // Call once, before anything else but the destructor.
  int Open(const char* filename);

  // After Open returned FORMAT_ERROR: whether the header was acceptable
  // but for giving no "Rows", so that a program can say what is missing.
  bool MissingRows() const;

  // The header's counts, valid after a successful Open. ExpectedOutputs and
  // GeneratedOutputs are 0 for a data set that keeps label lists instead.
  long Rows() const;
  long Inputs() const;
  long ExpectedOutputs() const;
  long GeneratedOutputs() const;
  long Errors() const;
  // Whether the first (second) data set keeps a label list per row.
  bool FirstLabels() const;
  bool SecondLabels() const;
  // Whether the file holds a first (second) data set: any of its counts
  // not 0, or label lists.
  bool HasFirst() const;
  bool HasSecond() const;

  // The rows not read yet.
  long RowsLeft() const;

  // Reads the next min(|maxRows|, RowsLeft()) rows (|maxRows| >= 0) and
  // returns how many. Into *first and *second it stores new data sets of that
  // many rows (nullptr for a data set the file does not hold); a null
  // |first| or |second| reads those values past without keeping them.
  // Once RowsLeft() is 0 it checks the end of the file (the call that reads
  // the last row does so; with no rows, the first call).
  long ReadRows(long maxRows, Data** first, Data** second);

 private:
  struct State;
  const State& Opened() const;

  std::unique_ptr<State> state_;
};

#endif  // NETFORGE_FILEHANDLER_DATASETROWREADER_H
