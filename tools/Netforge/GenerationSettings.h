// GenerationSettings: what one run of the Netforge tool is asked to build.
//
// A plain value filled by the parameter file reader (ParameterFile.h) and,
// once validated, handed to the generation run (GenerationRun.h). It owns its
// size list and file name; nothing in it refers to the parameter file.
#ifndef NETFORGE_TOOL_GENERATIONSETTINGS_H
#define NETFORGE_TOOL_GENERATIONSETTINGS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct GenerationSettings {
  int layers = 0;               // "Layers"; 0 means that no layer count was given
  std::vector<int> layerSizes;  // "LayerSize", one size per layer; empty when not given
  bool bias = false;            // "Bias": a bias neuron is wanted
  float minWeight = -5.0f;      // "MinWeight": lower end of the initial weights
  float maxWeight = 5.0f;       // "MaxWeight": upper end of the initial weights
  std::string fileName = "new.wgt";  // "FileName": the network file to write
  // "Seed": the value the random generator is seeded with, so that one
  // parameter file always gives the same network file; without it the run
  // seeds with the clock.
  std::optional<std::uint32_t> seed;
};

#endif  // NETFORGE_TOOL_GENERATIONSETTINGS_H
