// Hostile files: a few hundred bytes whose counts ask for gigabytes, or
// whose nesting would exhaust a recursive reader's stack. Each must be
// rejected with its reader's own error, and without taking the memory it
// asks for: every case runs in a forked child whose address space is held to
// a little more than the test program already uses, so an attempt to
// allocate what the counts announce ends in std::bad_alloc and fails the
// case. (Under AddressSanitizer or Valgrind, which reserve address space of
// their own, the cases run in the child without the limit.)
//
// docs/resource-bounds.md states the rules these cases hold the readers to.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TBasicNetwork.h"
#include "Support/TestFiles.h"

namespace {

using TestSupport::RunProgram;
using TestSupport::RunResult;
using TestSupport::TempFolder;
using TestSupport::UnderAddressSanitizer;
using TestSupport::UnderValgrind;
using TestSupport::WriteText;

// The address space this process has mapped, in bytes; 0 if unknown.
unsigned long long MappedBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, 7, "VmSize:") == 0) return std::strtoull(line.c_str() + 7, nullptr, 10) * 1024ULL;
  }
  return 0;
}

// Room given to a case beyond what the program has mapped: the network
// reader's fixed allowance of 128 MiB for a short file, and some to spare.
constexpr unsigned long long kRoom = 160ULL << 20;

// Runs |action| in a forked child under the address space limit and returns
// what it returned; an escaping exception, a crash or a limit hit comes back
// as a text that names it.
std::string Bounded(const std::function<std::string()>& action) {
  std::fflush(nullptr);
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return "(no pipe)";
  const pid_t child = fork();
  if (child < 0) return "(no fork)";
  if (child == 0) {
    close(pipeEnds[0]);
    std::string result;
    const unsigned long long mapped = MappedBytes();
    if (!UnderAddressSanitizer() && !UnderValgrind() && mapped > 0) {
      const rlimit limit{mapped + kRoom, mapped + kRoom};
      if (setrlimit(RLIMIT_AS, &limit) != 0) result = "(no limit) ";
    }
    try {
      result += action();
    } catch (const std::bad_alloc&) {
      result += "std::bad_alloc";
    } catch (const std::exception& error) {
      result += std::string("std::exception: ") + error.what();
    } catch (...) {
      result += "unknown exception";
    }
    const ssize_t written = write(pipeEnds[1], result.data(), result.size());
    _exit(written == static_cast<ssize_t>(result.size()) ? 0 : 3);
  }
  close(pipeEnds[1]);
  std::string result;
  char buffer[4096];
  ssize_t got;
  while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0) result.append(buffer, static_cast<std::size_t>(got));
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFSIGNALED(status)) return "(killed by signal " + std::to_string(WTERMSIG(status)) + ")";
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "(child failed) " + result;
  return result;
}

// The network reader on |text|: its error message, or "read" when it accepts.
std::string NetworkOutcome(const std::string& text) {
  return Bounded([&] {
    std::istringstream in(text);
    FileTools tools;
    try {
      std::unique_ptr<TBasicNetwork> network(tools.ReadNetwork(in, nullptr));
    } catch (const FileTools::Error& error) {
      return error.message;
    }
    return std::string("read");
  });
}

// ReadDataSet (or, with |rows| >= 0, ReadDataSetRows from offset 0) on a
// file holding |text|: the error message or the status.
std::string DataSetOutcome(const std::string& text, long rows = -1) {
  char path[] = "/tmp/netforge-hostile-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return "(no file)";
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  const std::string outcome = !written ? "(not written)" : Bounded([&] {
    FileTools tools;
    Data* first = nullptr;
    Data* second = nullptr;
    std::string result;
    try {
      long offset = 0;
      const int status = rows < 0 ? tools.ReadDataSet(path, &first, &second, nullptr)
                                  : tools.ReadDataSetRows(path, &offset, &rows, &first, &second);
      result = "status " + std::to_string(status);
    } catch (const FileTools::Error& error) {
      result = error.message;
    }
    delete first;
    delete second;
    return result;
  });
  std::remove(path);
  return outcome;
}

const char* const kNetworkHead =
    "[NeuralNetwork]\n[NetworkType = Basic]\n[NetworkInformation]\n"
    "[NumberOfLayers = 2]\n[InputLayer = 0]\n[OutputLayer = 1]\n[~NetworkInformation]\n";

std::string Layer(int k, const std::string& type, const std::string& neurons) {
  return "[Layer = " + std::to_string(k) + "]\n[LayerType = " + type + "]\n[NumberOfNeurons = " + neurons +
         "]\n[All ActivationFunction=linear ]\n[~Layer]\n";
}

const char* const kDataEnd = "[~Data]\n[~DataSet]\n";

}  // namespace

TEST(FileTools, HostileNetworkFilesAreRefusedWithinTheirMemory) {
  // The limit itself works: a child that allocates gigabytes is stopped.
  if (!UnderAddressSanitizer() && !UnderValgrind()) {
    EXPECT_EQ(Bounded([] {
                // Called through a volatile pointer, so that the compiler
                // cannot leave the allocation out.
                void* (*volatile allocate)(std::size_t) = ::operator new;
                void* huge = allocate(std::size_t{4} << 30);
                ::operator delete(huge);
                return std::string("allocated");
              }),
              "std::bad_alloc");
  }
  EXPECT_EQ(Bounded([] { return std::string("ok"); }), "ok");

  const std::string tooManyLayers =
      "[NeuralNetwork]\n[NetworkType = Basic]\n[NetworkInformation]\n[NumberOfLayers = 2000000000]\n"
      "[InputLayer = 0]\n[OutputLayer = 1]\n[~NetworkInformation]\n" + Layer(0, "Input", "1") + "[~NeuralNetwork]\n";
  EXPECT_LT(tooManyLayers.size(), 400u);
  EXPECT_EQ(NetworkOutcome(tooManyLayers), "More layers than Layer blocks can follow: 2000000000");

  const std::string tooManyNeurons =
      kNetworkHead + Layer(0, "Input", "2000000000") + Layer(1, "Simple", "1") + "[~NeuralNetwork]\n";
  EXPECT_EQ(NetworkOutcome(tooManyNeurons), "Network too large for the size of its file");

  // A weight list of one entry in a block of 10^10 possible connections.
  const std::string hugeBlock = kNetworkHead + Layer(0, "Input", "100000") + Layer(1, "Simple", "100000") +
                                "[ConnectionLayer]\n[LayerFrom = 0]\n[LayerTo = 1]\n[ConnectionType = Pruneable]\n"
                                "[WeightList]\n[From=99999 To=99999 Weight=1 ]\n[~WeightList]\n[~ConnectionLayer]\n"
                                "[~NeuralNetwork]\n";
  EXPECT_LT(hugeBlock.size(), 600u);
  EXPECT_EQ(NetworkOutcome(hugeBlock), "Network too large for the size of its file");
  // Layers of ten thousand neurons each: within the layer allowance alone,
  // not with their block of 10^8 connections.
  std::string wideBlock = hugeBlock;
  for (std::size_t at; (at = wideBlock.find("100000")) != std::string::npos;) wideBlock.replace(at, 6, "10000");
  for (std::size_t at; (at = wideBlock.find("99999")) != std::string::npos;) wideBlock.replace(at, 5, "9999");
  EXPECT_EQ(NetworkOutcome(wideBlock), "Network too large for the size of its file");

  // A million nested comments, never closed, then closed: counted, not
  // recursed, and held in no memory of their own.
  std::string nested;
  for (int i = 0; i < 1000000; ++i) nested += "/*";
  EXPECT_EQ(NetworkOutcome(nested), "Unexpected end of file during comment");
  for (int i = 0; i < 1000000; ++i) nested += " */";
  EXPECT_EQ(NetworkOutcome(nested), "[NEURALNETWORK] expected");
  // A word of more than a mebibyte.
  EXPECT_EQ(NetworkOutcome(std::string((std::size_t{1} << 20) + 1, 'w')), "Word longer than 1048576 characters");
}

TEST(FileTools, HostileDataSetFilesAreRefusedWithinTheirMemory) {
  const char* const kTooMany = "Data set header announces more rows than the file holds";
  EXPECT_EQ(DataSetOutcome(std::string("[DataSet][Rows = 2000000000][Inputs = 1][Data] 1 ") + kDataEnd), kTooMany);
  EXPECT_EQ(DataSetOutcome(std::string("[DataSet][Rows = 1][Inputs = 2000000000][Data] 1 ") + kDataEnd), kTooMany);
  EXPECT_EQ(DataSetOutcome(std::string("[DataSet][Rows = 2000000][Inputs = 1000][ExpectedOutputs = 1000]"
                                       "[GeneratedOutputs = 1000][Error = 1000][Data] 1 ") +
                           kDataEnd),
            kTooMany);
  EXPECT_EQ(DataSetOutcome(std::string("[DataSet][Rows = 2000000000][ExpectedOutputs = Labels][Data] [] ") +
                           kDataEnd),
            kTooMany);
  // A caller asking for more rows than the file holds.
  EXPECT_EQ(DataSetOutcome(std::string("[DataSet][Rows = 1][Inputs = 1][Data] 1 ") + kDataEnd, 2000000000),
            "More rows requested than the data set file holds");
  // A label list of a million nested comments inside a row.
  std::string nested = "[DataSet][Rows = 1][ExpectedOutputs = Labels][Data] [";
  for (int i = 0; i < 1000000; ++i) nested += "/*";
  EXPECT_EQ(DataSetOutcome(nested), "Unexpected end of file during comment");
}

TEST(FileTools, HostileMessagesAreRefusedWithinTheirMemory) {
  // Structured messages nest by parentheses; the parser stops at its depth
  // limit instead of recursing as deep as the text goes.
  EXPECT_EQ(Bounded([] {
              std::string text;  // (a :b (a :b ... a million levels deep, never closed
              for (int i = 0; i < 1000000; ++i) text += "(a :b ";
              const char* cursor = text.c_str();
              try {
                std::unique_ptr<TKQstructure> parsed(Parse(cursor));
              } catch (const TKQstructure::Error& error) {
                const std::unique_ptr<TKQstructure> structure(error.structure);
                return TextForm(structure.get());
              }
              return std::string("parsed");
            }),
            "(error :type parse-error :reason too-deep :position " + std::to_string(6 * kMaxParseDepth) + ")");
}

TEST(FileTools, HostileParameterFileEndsTheToolWithinItsMemory) {
  // The tool in a shell with a small address space: an absurd layer count
  // costs nothing before it is found unsupported by the size list.
  const TempFolder folder;
  WriteText(folder.File("hostile.par"), "Layers = 2000000000\nLayerSize = 1 2 3\n");
  const std::string limit = UnderAddressSanitizer() || UnderValgrind() ? "" : "ulimit -v 131072";
  const RunResult result = RunProgram(folder.Path(), NETFORGE_TOOL_PATH, {"hostile.par"}, limit);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "LayerSize must list 2000000000 sizes\n");
  EXPECT_EQ(result.out, "");
}
