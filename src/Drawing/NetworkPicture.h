// NetworkPicture: what a diagram of a network shows, gathered from the
// network once, so that every drawing (SVG, Graphviz DOT) draws the same
// thing and the drawings never touch the network.
//
// A picture comes in one of two views. The neuron view lists every neuron
// and every existing connection with its weight and whether it is frozen
// (not trainable); pruned connections are simply absent. Past a size limit
// the layer view lists only layers and connection blocks, each block with
// its size, density (existing of possible connections) and weight range, so
// that a network of millions of connections still gives a small picture.
// Both views carry the layers, the blocks and the totals of the title line.
//
// A picture owns plain copies of everything it shows; it keeps no pointer
// into the network, which may be destroyed afterwards. Describing a network
// only reads it. Not thread-safe with edits of the same network.
#ifndef NETFORGE_DRAWING_NETWORKPICTURE_H
#define NETFORGE_DRAWING_NETWORKPICTURE_H

#include <string>
#include <vector>

class TBasicNetwork;

namespace Netforge {

enum class PictureView {
  kAuto,     // neurons when within the limits of PictureOptions, else layers
  kNeurons,  // every neuron and connection, whatever the size
  kLayers,   // one box per layer and one band per block
};

struct PictureOptions {
  PictureView view = PictureView::kAuto;
  // The automatic view draws neurons only while the network has at most this
  // many existing connections and this many neurons; beyond that a drawing
  // of single lines and circles is no longer readable.
  long maxConnections = 2000;
  long maxNeurons = 400;
  // A second title line, usually the network file's name; may be empty.
  std::string caption;
};

struct PictureLayer {
  int number = 0;        // the layer's number in the network
  std::string type;      // "Simple", "Input", "Gain"
  int neurons = 0;
  // The function most neurons of the layer share (more than half of them);
  // empty when no function does, and then every neuron is labelled.
  std::string function;
  bool input = false;
  bool output = false;
  bool bias = false;     // every neuron has the "bias" function (a bias layer)
  // Whether drawings show the layer: it has neurons or takes part in a block.
  // (An MLP without a bias keeps an empty layer 0, which is left out.)
  bool drawn = false;
};

struct PictureNeuron {
  int layer = 0;  // layer number
  int index = 0;  // position in the layer
  // The neuron's function when it differs from its layer's, else empty.
  std::string function;
};

struct PictureConnection {
  int fromLayer = 0;
  int fromNeuron = 0;
  int toLayer = 0;
  int toNeuron = 0;
  double weight = 0.0;
  bool frozen = false;  // exists but is not trainable
};

struct PictureBlock {
  int fromLayer = 0;
  int toLayer = 0;
  std::string type;     // "Pruneable", "FullyConnected"
  int sources = 0;      // neurons of the source layer
  int targets = 0;      // neurons of the target layer
  long existing = 0;    // connections that exist
  long possible = 0;    // source neurons times target neurons
  long frozen = 0;      // existing connections that are not trainable
  // The smallest and largest weight of the existing connections (both 0
  // without any). NaN weights take no part; infinite ones do.
  double minWeight = 0.0;
  double maxWeight = 0.0;
};

struct NetworkPicture {
  std::string networkType;  // "Basic", "MLP", "Connected"
  std::string caption;
  bool neuronView = false;  // neurons and connections listed
  std::vector<PictureLayer> layers;   // every layer, in layer order
  std::vector<PictureBlock> blocks;   // connected pairs, source layer outer
  std::vector<PictureNeuron> neurons;          // neuron view only
  std::vector<PictureConnection> connections;  // neuron view only
  long neuronCount = 0;
  long existingConnections = 0;
  long possibleConnections = 0;
  long frozenConnections = 0;
  // The largest finite weight magnitude among existing connections (0 when
  // there is none); drawings scale line widths and colours by it.
  double largestMagnitude = 0.0;
};

// Gathers the picture of |network|, whose layers must all be installed.
NetworkPicture DescribeNetwork(TBasicNetwork& network, const PictureOptions& options);

// "MLP network: 4 layers, 6 neurons, 9 of 9 possible connections, 0 frozen",
// the title line every drawing shows.
std::string TitleLine(const NetworkPicture& picture);

// The three lines of a layer's heading: "Layer 2", "Gain, 5 neurons", and
// its role and function ("hidden, sigmoid", "input, linear", "bias",
// "output, mixed functions").
std::string LayerHeading(const PictureLayer& layer);
std::string LayerKind(const PictureLayer& layer);
std::string LayerRole(const PictureLayer& layer);

// |n| in decimal digits, in groups of three apart by a space from 10 000 on
// ("2 002 000"), as every drawing writes counts.
std::string Count(long n);

// The lines describing a block in the layer view: "layer 1 to 2: 1000 x
// 1000", "1000000 of 1000000 (100 %)", "weights -0.5 to 0.5" (when any
// exist) and "12 frozen" (when any are).
std::vector<std::string> BlockSummary(const PictureBlock& block);

}  // namespace Netforge

#endif  // NETFORGE_DRAWING_NETWORKPICTURE_H
