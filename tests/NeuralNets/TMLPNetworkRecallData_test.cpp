// Running data sets through a multilayer perceptron: RecallData,
// RecallOutputOnly and ComputeError.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "KQmessage/TException.h"
#include "NeuralNets/TErrorObj.h"
#include "NeuralNets/TMLPNetwork.h"

namespace {

// A 2-2-1 network with a bias whose weights solve XOR: hidden neuron 0 acts
// as OR, hidden neuron 1 as AND, the output as "OR and not AND".
// Block order: (0->2) b_h0 b_h1, (0->3) b_o, (1->2) target by target, (2->3).
constexpr double kWeights[] = {-3.0, -9.0, -4.0, 6.0, 6.0, 6.0, 6.0, 8.0, -8.0};

std::unique_ptr<TMLPNetwork> XorNetwork() {
  const int sizes[] = {2, 2, 1};
  auto network = std::make_unique<TMLPNetwork>(3, sizes, true);
  EXPECT_EQ(network->SetWeights(kWeights, 1), 9);
  return network;
}

double Sigmoid(double net) { return 1.0 / (1.0 + std::exp(-net)); }

// The network's output worked out by hand from the weights above.
double XorOutput(double x0, double x1) {
  const double h0 = Sigmoid(-3.0 + 6.0 * x0 + 6.0 * x1);
  const double h1 = Sigmoid(-9.0 + 6.0 * x0 + 6.0 * x1);
  return Sigmoid(-4.0 + 8.0 * h0 - 8.0 * h1);
}

// A set of |slots| slots holding |stored| rows (k, k+1 -> k/10), k = 0, 1, ...
std::unique_ptr<Data> Counting(long slots, long stored) {
  auto data = std::make_unique<Data>(slots, 2, 1, false);
  for (long k = 0; k < stored; ++k) {
    const double in[] = {static_cast<double>(k), static_cast<double>(k + 1)};
    const double out[] = {k / 10.0};
    data->AppendRow(in, out, nullptr);
  }
  return data;
}

std::unique_ptr<Data> ReadXor() {
  FileTools tools;
  Data* data = nullptr;
  const std::string path = std::string(NETFORGE_SOURCE_DIR) + "/examples/xor.dat";
  EXPECT_EQ(tools.ReadDataSet(path.c_str(), &data), SUCCESS);
  return std::unique_ptr<Data>(data);
}

}  // namespace

TEST(TMLPNetwork, RecallAndErrorOfTheXorDataSetFile) {
  std::unique_ptr<TMLPNetwork> network = XorNetwork();
  std::unique_ptr<Data> xorSet = ReadXor();
  ASSERT_NE(xorSet, nullptr);

  double squares = 0.0;
  double entropy = 0.0;
  for (int row = 0; row < 4; ++row) {
    const double t = xorSet->MbrDyaRtpOutputs[row][0];
    const double y = XorOutput(row / 2, row % 2);
    squares += (t - y) * (t - y);
    entropy += -t * std::log(y) - (1.0 - t) * std::log(1.0 - y);
  }
  ASSERT_LT(squares, 0.1);  // the weights do solve XOR

  TErrorRMSObj rms(1);
  EXPECT_NEAR(network->ComputeError(xorSet.get(), &rms), std::sqrt(squares / 1.0 / 4.0), 1e-12);
  EXPECT_EQ(rms.GetNumPatterns(), 4);
  TErrorCrossEntropyObj crossEntropy(1);
  EXPECT_NEAR(network->ComputeError(xorSet.get(), &crossEntropy), entropy, 1e-12);

  std::unique_ptr<Data> recalled(network->RecallData(xorSet.get()));
  ASSERT_EQ(recalled->MbrNdxRows, 4);
  EXPECT_EQ(recalled->MbrNdxDataRows, 4);
  EXPECT_EQ(recalled->MbrNdxInputs, 2);
  EXPECT_EQ(recalled->MbrNdxOutputs, 1);
  EXPECT_FALSE(recalled->MbrBoolLabels);
  for (int row = 0; row < 4; ++row) {
    EXPECT_EQ(recalled->MbrDyaRtpInputs[row][0], row / 2);
    EXPECT_EQ(recalled->MbrDyaRtpInputs[row][1], row % 2);
    EXPECT_NEAR(recalled->MbrDyaRtpOutputs[row][0], XorOutput(row / 2, row % 2), 1e-12);
  }

  Data* outputs = nullptr;
  network->RecallOutputOnly(xorSet.get(), &outputs);
  std::unique_ptr<Data> owned(outputs);
  ASSERT_NE(owned, nullptr);
  EXPECT_EQ(owned->MbrNdxInputs, 0);
  EXPECT_EQ(owned->MbrDyaRtpInputs, nullptr);
  for (int row = 0; row < 4; ++row) {
    EXPECT_NEAR(owned->MbrDyaRtpOutputs[row][0], XorOutput(row / 2, row % 2), 1e-12);
  }
}

TEST(TMLPNetwork, DataSetOperationsTakeSlotsOrStoredRowsWrappingAround) {
  std::unique_ptr<TMLPNetwork> network = XorNetwork();
  std::unique_ptr<Data> partial = Counting(10, 4);

  // Only the stored rows, oldest first, without inputs.
  Data* outputs = nullptr;
  network->RecallOutputOnly(partial.get(), &outputs);
  std::unique_ptr<Data> owned(outputs);
  ASSERT_EQ(owned->MbrNdxRows, 4);
  EXPECT_EQ(owned->MbrNdxDataRows, 4);
  EXPECT_EQ(owned->MbrNdxInputs, 0);
  EXPECT_EQ(owned->MbrNdxOutputs, 1);
  for (int row = 0; row < 4; ++row) {
    EXPECT_NEAR(owned->MbrDyaRtpOutputs[row][0], XorOutput(row, row + 1), 1e-12);
  }

  // One row per slot: the four stored rows again and again from the oldest.
  partial->MbrNdxCurrent = 2;  // wherever the cursor stood, reading restarts
  std::unique_ptr<Data> recalled(network->RecallData(partial.get()));
  ASSERT_EQ(recalled->MbrNdxRows, 10);
  for (int row = 0; row < 10; ++row) {
    EXPECT_EQ(recalled->MbrDyaRtpInputs[row][0], row % 4) << row;
    EXPECT_NEAR(recalled->MbrDyaRtpOutputs[row][0], XorOutput(row % 4, row % 4 + 1), 1e-12);
  }

  TErrorRMSObj rms(1);
  network->ComputeError(partial.get(), &rms);
  EXPECT_EQ(rms.GetNumPatterns(), 10);
  double squares = 0.0;
  for (int row = 0; row < 10; ++row) {
    const double difference = (row % 4) / 10.0 - XorOutput(row % 4, row % 4 + 1);
    squares += difference * difference;
  }
  EXPECT_NEAR(rms.GetSum(), squares, 1e-12);

  // A set that has wrapped starts at its oldest row, not at slot 0.
  std::unique_ptr<Data> wrapped = Counting(3, 5);  // holds rows 2, 3, 4
  recalled.reset(network->RecallData(wrapped.get()));
  for (int row = 0; row < 3; ++row) EXPECT_EQ(recalled->MbrDyaRtpInputs[row][0], row + 2);

  // An input selection picks the columns the network gets.
  auto wide = std::make_unique<Data>(1, 3, 1, false);
  const double in[] = {7.0, 0.0, 1.0}, out[] = {1.0};
  wide->AppendRow(in, out, nullptr);
  const long columns[] = {2, 1};
  wide->SetInputSelection(2, columns);
  recalled.reset(network->RecallData(wide.get()));
  EXPECT_EQ(recalled->MbrDyaRtpInputs[0][0], 1.0);
  EXPECT_NEAR(recalled->MbrDyaRtpOutputs[0][0], XorOutput(1.0, 0.0), 1e-12);
}

TEST(TMLPNetwork, ComputeErrorAccumulatesWithoutReset) {
  std::unique_ptr<TMLPNetwork> network = XorNetwork();
  std::unique_ptr<Data> xorSet = ReadXor();
  TErrorRMSObj rms(1);
  const double once = network->ComputeError(xorSet.get(), &rms);
  const double sum = rms.GetSum();
  EXPECT_NEAR(network->ComputeError(xorSet.get(), &rms), once, 1e-12);  // a mean over both passes
  EXPECT_EQ(rms.GetNumPatterns(), 8);
  EXPECT_NEAR(rms.GetSum(), 2.0 * sum, 1e-12);

  TErrorCrossEntropyObj crossEntropy(1);
  const double first = network->ComputeError(xorSet.get(), &crossEntropy);
  EXPECT_NEAR(network->ComputeError(xorSet.get(), &crossEntropy), 2.0 * first, 1e-12);
  crossEntropy.Reset();
  EXPECT_NEAR(network->ComputeError(xorSet.get(), &crossEntropy), first, 1e-12);
}

TEST(TMLPNetwork, DataSetOperationsRejectNullAndMismatchedArguments) {
  std::unique_ptr<TMLPNetwork> network = XorNetwork();
  Data* untouched = reinterpret_cast<Data*>(network.get());
  try {
    network->RecallOutputOnly(nullptr, &untouched);
    FAIL() << "no exception";
  } catch (const TException& e) {
    EXPECT_STREQ(e.message, "Null data pointer");
    EXPECT_STREQ(e.kind, "Null Pointer Parameter");
    EXPECT_STREQ(e.origin, "TBriarNet::RecallOutputOnly");
    EXPECT_EQ(e.detail, nullptr);
  }
  EXPECT_EQ(untouched, reinterpret_cast<Data*>(network.get()));  // nothing made

  // Rows of another width would overrun the network's work vectors.
  auto expectBadParameter = [](const auto& action, const char* message, const char* origin) {
    try {
      action();
      ADD_FAILURE() << "no exception for " << message;
    } catch (const TException& e) {
      EXPECT_STREQ(e.message, message);
      EXPECT_STREQ(e.kind, "Bad Parameter");
      EXPECT_STREQ(e.origin, origin);
    }
  };
  Data threeInputs(2, 3, 1, false);
  Data twoOutputs(2, 2, 2, false);
  Data labelled(2, 2, 0, true);
  TErrorRMSObj one(1);
  TErrorRMSObj two(2);
  Data* out = nullptr;
  expectBadParameter([&] { delete network->RecallData(&threeInputs); },
                     "Data set inputs do not match the input layer", "TMLPNetwork::RecallData");
  expectBadParameter([&] { network->RecallOutputOnly(&threeInputs, &out); },
                     "Data set inputs do not match the input layer", "TBriarNet::RecallOutputOnly");
  EXPECT_EQ(out, nullptr);
  expectBadParameter([&] { network->ComputeError(&threeInputs, &one); },
                     "Data set inputs do not match the input layer", "TMLPNetwork::ComputeError");
  expectBadParameter([&] { network->ComputeError(&twoOutputs, &one); },
                     "Data set outputs do not match the output layer", "TMLPNetwork::ComputeError");
  expectBadParameter([&] { network->ComputeError(&labelled, &one); },
                     "Data set outputs do not match the output layer", "TMLPNetwork::ComputeError");
  std::unique_ptr<Data> xorSet = ReadXor();
  expectBadParameter([&] { network->ComputeError(xorSet.get(), &two); },
                     "Error object does not match the output layer", "TMLPNetwork::ComputeError");
  EXPECT_EQ(two.GetNumPatterns(), 0);
  // Outputs are not needed for a recall.
  std::unique_ptr<Data> recalled(network->RecallData(&labelled));
  EXPECT_EQ(recalled->MbrNdxRows, 2);
}

TEST(TMLPNetworkDeathTest, DataSetOperationsCheckTheirPointers) {
  std::unique_ptr<TMLPNetwork> network = XorNetwork();
  TErrorRMSObj rms(1);
  Data data(1, 2, 1, false);
  EXPECT_DEATH(network->RecallData(nullptr), "Assertion failed: in != nil");
  EXPECT_DEATH(network->ComputeError(nullptr, &rms), "Assertion failed: in != nil");
  EXPECT_DEATH(network->ComputeError(&data, nullptr), "Assertion failed: err != nil");
}
