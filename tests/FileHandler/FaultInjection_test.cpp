// The file operations of FileTools when the file system works against them:
// places that cannot be written (a missing folder, a regular file used as a
// folder, a folder used as a file), a full disk (/dev/full), and files that
// vanish, change into folders or shrink between two calls of a reader that
// reopens its file on every call. Each must end in its status or a
// FileTools::Error, never in a crash, a hang or a leak.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TMLPNetwork.h"
#include "Support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

using TestSupport::ReadAll;
using TestSupport::TempFolder;
using TestSupport::WriteText;

bool HaveFullDevice() { return fs::exists("/dev/full"); }

// Places no file can be written to, even by root (who ignores permission
// bits): under a missing folder, under a regular file, and a folder itself.
// |folder| must already hold the regular file "plain.txt".
std::vector<std::string> UnwritablePlaces(const TempFolder& folder) {
  return {folder.File("missing/out.file"), folder.File("plain.txt/out.file"), folder.File("")};
}

// A data set of |rows| rows, 2 inputs and 1 expected output; row r holds
// r, r + 0.5 and -r.
std::unique_ptr<Data> Numbered(long rows) {
  auto data = std::make_unique<Data>(rows, 2, 1, false);
  for (long r = 0; r < rows; ++r) {
    const double inputs[] = {static_cast<double>(r), r + 0.5};
    const double output = -static_cast<double>(r);
    data->AppendRow(inputs, &output, nullptr);
  }
  return data;
}

// The outcome of one ReadDataSetRows call: its status, or the message of the
// FileTools::Error it threw ("" when none). Data sets handed out are freed
// either way, as the caller owns them even after an error.
struct RowsOutcome {
  int status = SUCCESS;
  std::string error;
  std::unique_ptr<Data> first;
};

RowsOutcome ReadRows(const std::string& path, long* offset, long rows) {
  FileTools tools;
  Data* first = nullptr;
  Data* second = nullptr;
  RowsOutcome outcome;
  try {
    outcome.status = tools.ReadDataSetRows(path.c_str(), offset, &rows, &first, &second);
  } catch (const FileTools::Error& error) {
    outcome.error = error.message;
    EXPECT_FALSE(error.message.empty());
  }
  outcome.first.reset(first);
  delete second;
  return outcome;
}

}  // namespace

TEST(FileTools, DataSetWritersReportEveryUnwritablePlace) {
  TempFolder folder;
  WriteText(folder.File("plain.txt"), "keep me");
  FileTools tools;
  const std::unique_ptr<Data> data = Numbered(3);
  for (const std::string& place : UnwritablePlaces(folder)) {
    SCOPED_TRACE(place);
    EXPECT_EQ(tools.WriteDataSetHeader(place.c_str(), 2, 1, 0, 0, 3), FILE_WRITE_FAILED);
    EXPECT_EQ(tools.WriteDataSetRows(place.c_str(), data.get(), nullptr, new TKQstructure("options")),
              FILE_WRITE_FAILED);
    EXPECT_EQ(tools.WriteDataSetEnd(place.c_str()), FILE_WRITE_FAILED);
    EXPECT_EQ(tools.WriteDataSet(place.c_str(), data.get(), nullptr, new TKQstructure("options")),
              FILE_WRITE_FAILED);
  }
  EXPECT_EQ(ReadAll(folder.File("plain.txt")), "keep me");
  EXPECT_FALSE(fs::exists(folder.File("missing")));

  // The same writers still work on a good place afterwards.
  const std::string good = folder.File("good.dat");
  EXPECT_EQ(tools.WriteDataSet(good.c_str(), data.get(), nullptr, nullptr), SUCCESS);
  Data* back = nullptr;
  EXPECT_EQ(tools.ReadDataSet(good.c_str(), &back), SUCCESS);
  std::unique_ptr<Data> owned(back);
  ASSERT_NE(owned, nullptr);
  EXPECT_EQ(owned->MbrNdxDataRows, 3);
}

TEST(FileTools, DataSetWritersReportAFullDiskInEveryPass) {
  if (!HaveFullDevice()) GTEST_SKIP() << "no /dev/full";
  FileTools tools;
  // A header is a few lines: the failure shows only when the file is closed.
  EXPECT_EQ(tools.WriteDataSetHeader("/dev/full", 2, 1, 0, 0, 3), FILE_WRITE_FAILED);
  EXPECT_EQ(tools.WriteDataSetHeader("/dev/full", 2, -1, -1, 0, 3), FILE_WRITE_FAILED);
  // Many rows: far more than a stream buffer, so the failure shows while the
  // rows are written, and writing stops without reaching the end.
  const std::unique_ptr<Data> big = Numbered(20000);
  EXPECT_EQ(tools.WriteDataSetRows("/dev/full", big.get(), nullptr, nullptr), FILE_WRITE_FAILED);
  EXPECT_EQ(tools.WriteDataSet("/dev/full", big.get(), big.get(), new TKQstructure("options")), FILE_WRITE_FAILED);
  const std::unique_ptr<Data> small = Numbered(1);
  EXPECT_EQ(tools.WriteDataSet("/dev/full", small.get(), nullptr, nullptr), FILE_WRITE_FAILED);
}

TEST(FileTools, SaveNetworkUnderAPlainFileFailsToOpen) {
  TempFolder folder;
  WriteText(folder.File("plain.txt"), "keep me");
  const int sizes[] = {2, 3, 1};
  TMLPNetwork network(3, sizes, true);
  FileTools tools;
  for (const std::string& place : UnwritablePlaces(folder)) {
    SCOPED_TRACE(place);
    try {
      tools.SaveNetwork(place.c_str(), &network, new TKQstructure("status"));
      ADD_FAILURE() << "no error";
    } catch (const FileTools::Error& error) {
      EXPECT_EQ(error.message, "Error on File Open");
    }
  }
  EXPECT_EQ(ReadAll(folder.File("plain.txt")), "keep me");
  // The network is whole after the failures: it is saved and read back.
  const std::string good = folder.File("net.wgt");
  tools.SaveNetwork(good.c_str(), &network, nullptr);
  std::unique_ptr<TBasicNetwork> back(tools.LoadNetwork(good.c_str(), nullptr));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->numLayers, network.numLayers);
}

TEST(FileTools, LoadNetworkOfAMissingOrUnreadableFile) {
  TempFolder folder;
  WriteText(folder.File("plain.txt"), "not a network");
  fs::create_symlink(folder.File("gone.wgt"), folder.File("dangling.wgt"));
  FileTools tools;
  auto messageOf = [&](const std::string& path) -> std::string {
    try {
      std::unique_ptr<TBasicNetwork> network(tools.LoadNetwork(path.c_str(), new TKQstructure("status")));
    } catch (const FileTools::Error& error) {
      return error.message;
    }
    return "(no error)";
  };
  EXPECT_EQ(messageOf(folder.File("missing.wgt")), "Error on File Open");
  EXPECT_EQ(messageOf(folder.File("plain.txt/net.wgt")), "Error on File Open");
  EXPECT_EQ(messageOf(folder.File("dangling.wgt")), "Error on File Open");  // its file vanished
  EXPECT_EQ(messageOf(folder.File("")), "Error on File Read");              // a folder
  EXPECT_EQ(messageOf("/dev/null"), "[NEURALNETWORK] expected");            // empty
}

TEST(FileTools, DataSetReadersOfAMissingOrUnreadableFile) {
  TempFolder folder;
  WriteText(folder.File("plain.txt"), "not a data set");
  fs::create_symlink(folder.File("gone.dat"), folder.File("dangling.dat"));
  FileTools tools;
  for (const std::string& path : {folder.File("missing.dat"), folder.File("plain.txt/x.dat"),
                                  folder.File("dangling.dat"), folder.File("")}) {
    SCOPED_TRACE(path);
    Data* first = nullptr;
    EXPECT_EQ(tools.ReadDataSet(path.c_str(), &first), FILE_OPEN_FAILED);
    EXPECT_EQ(first, nullptr);
    long offset = 0;
    const RowsOutcome rows = ReadRows(path, &offset, 1);
    EXPECT_EQ(rows.status, FILE_OPEN_FAILED);
    EXPECT_EQ(rows.error, "");
    EXPECT_EQ(offset, 0);
  }
}

// A reader that reopens its file on each call meets whatever the file has
// become since the last one.
TEST(FileTools, ReadDataSetRowsOnAFileThatVanishesBetweenCalls) {
  TempFolder folder;
  const std::string path = folder.File("rows.dat");
  FileTools tools;
  const std::unique_ptr<Data> data = Numbered(6);
  ASSERT_EQ(tools.WriteDataSet(path.c_str(), data.get(), nullptr, nullptr), SUCCESS);

  long offset = 0;
  RowsOutcome part = ReadRows(path, &offset, 2);
  ASSERT_EQ(part.status, SUCCESS);
  ASSERT_EQ(part.error, "");
  const long after = offset;
  ASSERT_GT(after, 0);

  // Deleted: the next call cannot open it and leaves the offset alone.
  fs::remove(path);
  part = ReadRows(path, &offset, 2);
  EXPECT_EQ(part.status, FILE_OPEN_FAILED);
  EXPECT_EQ(part.first, nullptr);
  EXPECT_EQ(offset, after);

  // A folder in its place.
  fs::create_directory(path);
  part = ReadRows(path, &offset, 2);
  EXPECT_EQ(part.status, FILE_OPEN_FAILED);
  EXPECT_EQ(offset, after);
  fs::remove(path);

  // Written again: reading goes on where it stopped.
  ASSERT_EQ(tools.WriteDataSet(path.c_str(), data.get(), nullptr, nullptr), SUCCESS);
  part = ReadRows(path, &offset, 2);
  ASSERT_EQ(part.status, SUCCESS);
  ASSERT_NE(part.first, nullptr);
  EXPECT_EQ(part.first->MbrDyaRtpInputs[0][0], 2.0);
  EXPECT_EQ(part.first->MbrDyaRtpOutputs[1][0], -3.0);

  // Replaced by a set of another shape: the offset now points into rows of
  // another width; the call reads them as such or fails cleanly.
  const std::unique_ptr<Data> narrow = std::make_unique<Data>(1, 1, 0, false);
  const double one = 1.0;
  narrow->AppendRow(&one, nullptr, nullptr);
  ASSERT_EQ(tools.WriteDataSet(path.c_str(), narrow.get(), nullptr, nullptr), SUCCESS);
  const long before = offset;
  part = ReadRows(path, &offset, 2);
  EXPECT_TRUE(part.status != SUCCESS || !part.error.empty());
  EXPECT_EQ(offset, before);
}

TEST(FileTools, ReadDataSetRowsOnAFileTruncatedBetweenCalls) {
  TempFolder folder;
  const std::string master = folder.File("master.dat");
  const std::string path = folder.File("rows.dat");
  FileTools tools;
  const std::unique_ptr<Data> data = Numbered(5);
  ASSERT_EQ(tools.WriteDataSet(master.c_str(), data.get(), nullptr, nullptr), SUCCESS);
  const std::string text = ReadAll(master);

  // Where the third and fourth rows end in the file, read from the whole file.
  long offset = 0;
  ASSERT_EQ(ReadRows(master, &offset, 2).status, SUCCESS);
  const long afterTwo = offset;
  long probe = afterTwo;
  ASSERT_EQ(ReadRows(master, &probe, 2).status, SUCCESS);
  const long dataStart = static_cast<long>(text.find("[Data]") + 6);
  const std::size_t neededEnd = static_cast<std::size_t>(dataStart + probe);

  // The file cut at every length while a reader stands after row two: the
  // next call reads rows three and four whole, or refuses them.
  int refused = 0;
  for (std::size_t length = 0; length <= text.size(); ++length) {
    SCOPED_TRACE(length);
    WriteText(path, text);
    offset = 0;
    ASSERT_EQ(ReadRows(path, &offset, 2).status, SUCCESS);
    ASSERT_EQ(offset, afterTwo);
    fs::resize_file(path, length);
    const RowsOutcome next = ReadRows(path, &offset, 2);
    if (next.status == SUCCESS && next.error.empty()) {
      // Possible only when the cut left both rows in the file.
      EXPECT_GE(length, neededEnd - 1);
      ASSERT_NE(next.first, nullptr);
      EXPECT_EQ(next.first->MbrDyaRtpInputs[0][0], 2.0);
      EXPECT_EQ(next.first->MbrDyaRtpInputs[1][1], 3.5);
      EXPECT_EQ(next.first->MbrDyaRtpOutputs[1][0], -3.0);
      // After the blank that follows row four, or at the end of the file.
      EXPECT_EQ(offset, std::min(probe, static_cast<long>(length) - dataStart));
    } else {
      ++refused;
      EXPECT_EQ(offset, afterTwo);  // a failed call leaves the offset alone
    }
  }
  EXPECT_GT(refused, static_cast<int>(neededEnd) - 2);

  // The typical failures, by name.
  WriteText(path, text);
  fs::resize_file(path, 0);
  offset = afterTwo;
  EXPECT_EQ(ReadRows(path, &offset, 2).error, "[DATASET] expected");
  WriteText(path, text.substr(0, static_cast<std::size_t>(dataStart + afterTwo)));
  EXPECT_EQ(ReadRows(path, &offset, 2).error, "More rows requested than the data set file holds");
  WriteText(path, text.substr(0, static_cast<std::size_t>(dataStart + afterTwo - 3)));
  EXPECT_EQ(ReadRows(path, &offset, 2).error, "Offset lies outside the data block");
}
