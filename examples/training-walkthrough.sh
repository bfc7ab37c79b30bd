#!/bin/sh
# The walk-through of docs/training.md: make a network, train it on the XOR
# rows with a weight penalty, prune it, measure it. Run in a folder that
# holds xor.dat, with Netforge, NetforgeTrain and NetforgeEval on the PATH.
set -e

cat > xor.par <<'PARAMETERS'
Layers = 3
LayerSize = 2 6 1
Bias = true
MinWeight = -1
MaxWeight = 1
Seed = 1
FileName = xor-untrained.wgt
PARAMETERS
Netforge xor.par

NetforgeTrain --algorithm irprop- --epochs 500 --validation xor.dat \
  --penalty "(lwf :learningrate 1 :forgettingrate 1e-4)" --prune-below 0.01 \
  --report 100 --history xor-history.csv --plot xor-history.svg \
  xor-untrained.wgt xor.dat xor-trained.wgt

NetforgeEval xor-trained.wgt xor.dat
