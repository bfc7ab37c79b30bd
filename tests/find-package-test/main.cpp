// Uses an installed Netforge the way another program would: builds a small
// network, writes it, reads it back and recalls it.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "Common/StrCase.h"
#include "FileHandler/ParseTools.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TMLPNetwork.h"

int main() {
  if (Netforge::strcasecmp("Layers", "LAYERS") != 0) return 1;
  const int sizes[] = {2, 3, 1};
  TMLPNetwork network(3, sizes, true);
  std::srand(7);
  network.Randomize(-0.5, 0.5);

  FileTools tools;
  std::stringstream file;
  tools.WriteNetwork(file, &network, nullptr);
  std::unique_ptr<TBasicNetwork> loaded(tools.ReadNetwork(file, nullptr));

  const double input[] = {0.25, -1.0};
  double expected = 0.0;
  double actual = 0.0;
  network.Recall(input, &expected);
  loaded->Recall(input, &actual);
  if (loaded->GetNumWeights(1) != 13 || std::abs(expected - actual) > 1e-12) return 1;
  std::puts("netforge consumer ok");
  return 0;
}
