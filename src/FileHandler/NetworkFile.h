// Network files: the writer's visitor and the layout constants shared by the
// network file operations of FileTools (SaveNetwork and WriteNetwork in
// NetworkFile.cpp, the reader in NetworkReader.cpp). Installed, so that a program
// that includes it for the network file operations finds them.
//
// A network file holds one whole network as text: its type, an information
// block, one Layer block per layer and one ConnectionLayer block per connected
// layer pair. Each block's weights are written either as a dense matrix (rows
// are source neurons, columns target neurons) or, when fewer than 35 % of the
// possible connections exist, as a list of the existing connections.
#ifndef NETFORGE_FILEHANDLER_NETWORKFILE_H
#define NETFORGE_FILEHANDLER_NETWORKFILE_H

#include <iosfwd>

#include "FileHandler/ParseTools.h"
#include "NeuralNets/TBasicNetwork.h"

// Digits after the point of weights in weight lists and of neuron
// parameters; also the significant digits of matrix cells.
inline constexpr int kNetworkFilePrecision = 15;

// Writes one weight-list line per visited connection:
// "[From=f To=t Weight=w Trainable ]", the trainable word ("Trainable" or
// "UnTrainable") only when |freezable|. The stream and the tools belong to
// the caller and must outlive the traversal.
class TIterateObjSaveWeights : public TIterateObj {
 public:
  std::ostream& out;  // the network file being written
  FileTools& tools;   // the FileTools object that writes it
  bool freezable;     // write the trainable word
  int precision;      // digits after the point of the weight

  TIterateObjSaveWeights(std::ostream& out, FileTools& tools, bool freezable,
                         int precision = kNetworkFilePrecision)
      : out(out), tools(tools), freezable(freezable), precision(precision) {}

  void Visit() override;
};

#endif  // NETFORGE_FILEHANDLER_NETWORKFILE_H
