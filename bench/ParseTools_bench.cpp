// Reading network files: the tokenizer (ReadToken, ReadStatement) over
// matrix text as the writer writes it, the number conversion of a cell
// (ParseNumber), and ReadNetwork of a whole file in memory. Items are matrix
// cells (ReadToken: tokens) or weights.
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "Common/NumberText.h"
#include "FileHandler/ParseTools.h"
#include "NeuralNets/TMLPNetwork.h"

namespace {

constexpr int kRows = 200;
constexpr int kColumns = 200;

double RandomWeight() { return (std::rand() % 32767) * (1.0 / 32767) - 0.5; }

// The body of a Matrix block with trainable flags: every cell a weight
// right-aligned in 20 characters, a blank and "T", each row ending in its
// number as a comment.
std::string MatrixText() {
  std::srand(1);
  std::string text;
  char number[Netforge::kNumberBufferSize];
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      const char* end = Netforge::FormatGeneral(number, RandomWeight(), 15);
      const std::size_t length = static_cast<std::size_t>(end - number);
      text.append(length < 20 ? 20 - length : 0, ' ');
      text.append(number, length);
      text.append(" T ");
    }
    text.append(" /* ");
    Netforge::AppendLong(text, r);
    text.append(" */\n");
  }
  return text;
}

void BM_ReadToken(benchmark::State& state) {
  const std::string text = MatrixText();
  FileTools tools;
  std::istringstream in(text);
  std::size_t tokens = 0;
  for (auto _ : state) {
    std::string token = tools.ReadToken(in);
    if (token.empty()) {
      in.clear();
      in.str(text);
      continue;
    }
    benchmark::DoNotOptimize(token.data());
    ++tokens;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(tokens));
}
BENCHMARK(BM_ReadToken);

// One matrix cell per iteration: the weight statement and the flag statement.
void BM_ReadStatementCell(benchmark::State& state) {
  const std::string text = MatrixText();
  FileTools tools;
  std::istringstream in(text);
  int cells = 0;
  for (auto _ : state) {
    if (cells == kRows * kColumns) {
      in.clear();
      in.str(text);
      cells = 0;
    }
    Statement weight = tools.ReadStatement(in, "Matrix", false);
    Statement flag = tools.ReadStatement(in, "Matrix", false);
    benchmark::DoNotOptimize(weight.name.data());
    benchmark::DoNotOptimize(flag.name.data());
    ++cells;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadStatementCell);

void BM_ParseNumber(benchmark::State& state) {
  std::srand(1);
  std::vector<std::string> cells;
  char number[Netforge::kNumberBufferSize];
  for (int i = 0; i < 1024; ++i) cells.emplace_back(number, Netforge::FormatGeneral(number, RandomWeight(), 15));
  FileTools tools;
  std::istringstream in;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tools.ParseNumber(in, cells[i++ & 1023].c_str()));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseNumber);

// A 200-200-200 perceptron with bias, written and read back from memory.
void BM_ReadNetwork(benchmark::State& state) {
  const int sizes[] = {200, 200, 200};
  TMLPNetwork network(3, sizes, true);
  std::srand(1);
  network.Randomize(-0.5, 0.5);
  std::ostringstream out;
  FileTools().WriteNetwork(out, &network, nullptr);
  const std::string text = out.str();
  for (auto _ : state) {
    std::istringstream in(text);
    FileTools tools;
    std::unique_ptr<TBasicNetwork> read(tools.ReadNetwork(in, nullptr));
    benchmark::DoNotOptimize(read.get());
  }
  state.SetItemsProcessed(state.iterations() * network.GetNumWeights(FMaskExists));
}
BENCHMARK(BM_ReadNetwork)->Unit(benchmark::kMillisecond);

}  // namespace
