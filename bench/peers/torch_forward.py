"""PyTorch's forward pass of a multilayer perceptron with sigmoid units, in
double precision on one thread, for bench/compare_batch.py: ROWS random
input rows in one tensor, PASSES forward calls under torch.no_grad().
Prints the seconds of processor time, the multiply-adds per second (biases
counted as weights, as Netforge counts them) and the BLAS library loaded.

    /usr/bin/python3 torch_forward.py ROWS PASSES SIZE...
"""

import sys
import time

import torch


def loaded_blas():
    with open("/proc/self/maps") as maps:
        names = {line.split()[-1] for line in maps if "blas" in line}
    return ",".join(sorted(names)) or "none"


def main():
    rows, passes = int(sys.argv[1]), int(sys.argv[2])
    sizes = [int(s) for s in sys.argv[3:]]
    torch.set_num_threads(1)
    torch.manual_seed(1)
    layers = []
    for n_in, n_out in zip(sizes, sizes[1:]):
        layers += [torch.nn.Linear(n_in, n_out), torch.nn.Sigmoid()]
    network = torch.nn.Sequential(*layers).double()
    x = torch.rand(rows, sizes[0], dtype=torch.float64) - 0.5
    with torch.no_grad():
        network(x)  # the first call sets up what later calls reuse
        start = time.process_time()
        for _ in range(passes):
            y = network(x)
        seconds = time.process_time() - start
    weights = sum((n_in + 1) * n_out for n_in, n_out in zip(sizes, sizes[1:]))
    print("%.6f %.0f %s %g" % (seconds, weights * rows * passes / seconds, loaded_blas(), float(y.sum())))


if __name__ == "__main__":
    main()
