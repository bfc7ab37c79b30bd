#include "GenerationRun.h"

int RunGeneration(const GenerationSettings& /*settings*/) {
  // Hand-over point: building, randomising and saving the network go here once the network model and writer exist.
  return 0;
}
