// Floor for "generate and write": draws one rand() per weight and formats the
// matrix cells of a fully connected layered network (15 significant digits,
// right-aligned in 20 characters, trainable flag) with std::to_chars into a
// buffer, then writes the bytes. Nothing else: no network, no file syntax.
// Usage: floor_generate OUT SIZE...
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  std::vector<int> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 1;
  std::string line;
  for (std::size_t layer = 1; layer < sizes.size(); ++layer) {
    const int n_from = sizes[layer - 1];
    const int n_to = sizes[layer];
    // Draw in storage order (row per target), write row per source.
    std::vector<double> weights(static_cast<std::size_t>(n_from) * n_to);
    for (double& w : weights) {
      const unsigned k = static_cast<unsigned>(std::rand()) % 32767u;
      w = static_cast<double>(k * (1.0L / 32767) * (0.5L - -0.5L) + -0.5L);
    }
    for (int r = 0; r < n_from; ++r) {
      line.clear();
      for (int c = 0; c < n_to; ++c) {
        char cell[64];
        char* end = std::to_chars(cell, cell + sizeof cell, weights[static_cast<std::size_t>(c) * n_from + r],
                                  std::chars_format::general, 15).ptr;
        const std::size_t len = static_cast<std::size_t>(end - cell);
        if (len < 20) line.append(20 - len, ' ');
        line.append(cell, len);
        line.append(" T ");
      }
      line.append(" /* ");
      line.append(std::to_string(r));
      line.append(" */\n");
      std::fwrite(line.data(), 1, line.size(), out);
    }
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
