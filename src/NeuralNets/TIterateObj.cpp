#include "NeuralNets/TIterateObj.h"

#include <cstring>

#include "Common/Assert.h"
#include "NeuralNets/TBasicLayer.h"
#include "NeuralNets/TBasicNetwork.h"

void TIterateObj::Bind(TBasicNetwork* network, int fromLayer, int toLayer) {
  NF_ASSERT(network != NULL);
  NF_ASSERT(fromLayer>=0);
  NF_ASSERT(fromLayer<network->numLayers);
  NF_ASSERT(toLayer>=0);
  NF_ASSERT(toLayer<network->numLayers);
  Bind(network->layers[fromLayer], network->layers[toLayer]);
}

void TIterateObj::Bind(TBasicLayer* fromLayerPtr, TBasicLayer* toLayerPtr) {
  NF_ASSERT(fromLayerPtr != NULL);
  NF_ASSERT(toLayerPtr != NULL);
  this->fromLayerPtr = fromLayerPtr;
  this->toLayerPtr = toLayerPtr;
  fromLayer = fromLayerPtr->layerNum;
  toLayer = toLayerPtr->layerNum;
  fromOutputs = fromLayerPtr->outputs.data();
  toOutputs = toLayerPtr->outputs.data();
  conn = fromLayerPtr->network->priv_conns_index[toLayer][fromLayer];
}

namespace {

// The second (or third) network must offer the same kind of block for the
// pair and layers of the same sizes, or the paired weights would not exist.
void CheckSameSizes(const TIterateObj& first, const TIterateObj& other) {
  NF_ASSERT(first.fromLayerPtr->numNeurons == other.fromLayerPtr->numNeurons);
  NF_ASSERT(first.toLayerPtr->numNeurons == other.toLayerPtr->numNeurons);
}

bool SameType(TBasicConnections* conn1, TBasicConnections* conn2) {
  return std::strcmp(conn1->GetConnectionsNType(), conn2->GetConnectionsNType()) == 0;
}

}  // namespace

TIterateObj2::TIterateObj2(TBasicNetwork* network, TBasicNetwork* network2, int fromLayer, int toLayer, int from,
                           int to) {
  Bind(network, network2, fromLayer, toLayer);
  this->from = from;
  this->to = to;
}

void TIterateObj2::Bind(TBasicNetwork* network, TBasicNetwork* network2, int fromLayer, int toLayer) {
  TIterateObj first;
  TIterateObj second;
  first.Bind(network, fromLayer, toLayer);
  second.Bind(network2, fromLayer, toLayer);
  NF_ASSERT_TEXT(SameType(first.conn, second.conn), "conn1 -> GetConnectionsNType() == conn2 -> GetConnectionsNType()");
  CheckSameSizes(first, second);
  this->fromLayer = fromLayer;
  this->toLayer = toLayer;
  conn = first.conn;
  conn2 = second.conn;
  fromLayerPtr = first.fromLayerPtr;
  toLayerPtr = first.toLayerPtr;
  fromLayerPtr2 = second.fromLayerPtr;
  toLayerPtr2 = second.toLayerPtr;
  fromOutputs = first.fromOutputs;
  toOutputs = first.toOutputs;
  fromOutputs2 = second.fromOutputs;
  toOutputs2 = second.toOutputs;
}

TIterateObj3::TIterateObj3(TBasicNetwork* network, TBasicNetwork* network2, TBasicNetwork* network3, int fromLayer,
                           int toLayer, int from, int to) {
  Bind(network, network2, network3, fromLayer, toLayer);
  this->from = from;
  this->to = to;
}

void TIterateObj3::Bind(TBasicNetwork* network, TBasicNetwork* network2, TBasicNetwork* network3, int fromLayer,
                        int toLayer) {
  TIterateObj first;
  TIterateObj second;
  TIterateObj third;
  first.Bind(network, fromLayer, toLayer);
  second.Bind(network2, fromLayer, toLayer);
  third.Bind(network3, fromLayer, toLayer);
  NF_ASSERT_TEXT(SameType(first.conn, second.conn), "conn1 -> GetConnectionsNType() == conn2 -> GetConnectionsNType()");
  NF_ASSERT_TEXT(SameType(first.conn, third.conn), "conn1 -> GetConnectionsNType() == conn3 -> GetConnectionsNType()");
  CheckSameSizes(first, second);
  CheckSameSizes(first, third);
  this->fromLayer = fromLayer;
  this->toLayer = toLayer;
  conn = first.conn;
  conn2 = second.conn;
  conn3 = third.conn;
  fromLayerPtr = first.fromLayerPtr;
  toLayerPtr = first.toLayerPtr;
  fromLayerPtr2 = second.fromLayerPtr;
  toLayerPtr2 = second.toLayerPtr;
  fromLayerPtr3 = third.fromLayerPtr;
  toLayerPtr3 = third.toLayerPtr;
  fromOutputs = first.fromOutputs;
  toOutputs = first.toOutputs;
  fromOutputs2 = second.fromOutputs;
  toOutputs2 = second.toOutputs;
  fromOutputs3 = third.fromOutputs;
  toOutputs3 = third.toOutputs;
}
