#!/bin/sh
# The walk-through of docs/training.md: from a CSV table to a trained,
# pruned and measured network. Run in a folder that holds circle.csv, with
# NetforgeData, Netforge, NetforgeTrain and NetforgeEval on the PATH.
set -e

# 1. The table (x, y, and whether the point lies inside a circle) becomes a
#    data set file, dealt out into training, validation and test rows.
NetforgeData import-csv --outputs inside circle.csv circle.dat
NetforgeData split --fractions 0.6,0.2,0.2 --seed 1 circle.dat train.dat valid.dat test.dat

# 2. An untrained network: 2 inputs, 10 hidden sigmoid neurons, 1 output.
cat > circle.par <<'PARAMETERS'
Layers = 3
LayerSize = 2 10 1
Bias = true
MinWeight = -1
MaxWeight = 1
Seed = 1
FileName = circle-untrained.wgt
PARAMETERS
Netforge circle.par

# 3. Training with a weight penalty and early stopping, then pruning.
NetforgeTrain --epochs 1000 --validation valid.dat --patience 200 \
  --penalty "(lwf :learningrate 1 :forgettingrate 1e-2)" --prune-below 0.05 \
  --report 200 --history circle-history.csv --plot circle-history.svg \
  circle-untrained.wgt train.dat circle-trained.wgt

# 4. The trained network on rows it has never seen.
NetforgeEval circle-trained.wgt test.dat
