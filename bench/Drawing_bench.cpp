// Drawing a network: the picture description and its SVG text, for a
// 1000-1000-1000 perceptron with a bias (two million connections, drawn
// layer by layer) and for a 10-20-5 one (135 connections, drawn neuron by
// neuron). Items are existing connections. The goal is well under a second
// for the large network; its time is one pass over every weight.
#include <cstdlib>
#include <memory>

#include <benchmark/benchmark.h>

#include "Drawing/NetworkPicture.h"
#include "Drawing/SvgDrawing.h"
#include "NeuralNets/TMLPNetwork.h"

namespace {

void BM_DrawSvg(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int sizes[] = {n, 2 * n, n / 2};
  const int large[] = {1000, 1000, 1000};
  TMLPNetwork network(3, n == 1000 ? large : sizes, true);
  std::srand(1);
  network.Randomize(-0.5, 0.5);
  long connections = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    const Netforge::NetworkPicture picture = Netforge::DescribeNetwork(network, Netforge::PictureOptions{});
    const std::string svg = Netforge::DrawSvg(picture);
    connections = picture.existingConnections;
    bytes = svg.size();
    benchmark::DoNotOptimize(svg.data());
  }
  state.SetItemsProcessed(state.iterations() * connections);
  state.counters["svg_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_DrawSvg)->Arg(10)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
