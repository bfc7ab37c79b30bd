"""PyTorch's training speed, for bench/compare_training.py: trains a
multilayer perceptron with sigmoid units in double precision on one thread
on a FANN training file for EPOCHS epochs and prints the processor-time
milliseconds per epoch (between the ends of the first and the last epoch)
and the last epoch's error (half the summed squared error, as Netforge
trains on).

    /usr/bin/python3 torch_train.py ALGORITHM EPOCHS FILE HIDDEN...

ALGORITHM: rprop (full batch, torch.optim.Rprop with FANN's parameters),
sgd (batch size 1, rows in file order, learning rate 0.7), adam (batch size
32, shuffled, torch.optim.Adam's defaults).
"""

import sys
import time

import torch


def read_fann(path):
    with open(path) as f:
        values = f.read().split()
    rows, n_in, n_out = int(values[0]), int(values[1]), int(values[2])
    data = torch.tensor([float(v) for v in values[3:3 + rows * (n_in + n_out)]], dtype=torch.float64)
    data = data.view(rows, n_in + n_out)
    return data[:, :n_in].contiguous(), data[:, n_in:].contiguous()


def main():
    algorithm, epochs, path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    hidden = [int(h) for h in sys.argv[4:]]
    torch.set_num_threads(1)
    torch.manual_seed(1)
    x, t = read_fann(path)
    sizes = [x.shape[1], *hidden, t.shape[1]]
    layers = []
    for n_in, n_out in zip(sizes, sizes[1:]):
        linear = torch.nn.Linear(n_in, n_out).double()
        torch.nn.init.uniform_(linear.weight, -0.1, 0.1)
        torch.nn.init.uniform_(linear.bias, -0.1, 0.1)
        layers += [linear, torch.nn.Sigmoid()]
    network = torch.nn.Sequential(*layers)
    params = list(network.parameters())
    if algorithm == "rprop":
        optimizer = torch.optim.Rprop(params, lr=0.1, etas=(0.5, 1.2), step_sizes=(0.0, 50.0))
        batches = lambda: [slice(0, x.shape[0])]
    elif algorithm == "sgd":
        optimizer = torch.optim.SGD(params, lr=0.7)
        batches = lambda: [slice(r, r + 1) for r in range(x.shape[0])]
    elif algorithm == "adam":
        optimizer = torch.optim.Adam(params)
        batches = lambda: torch.randperm(x.shape[0]).split(32)
    else:
        sys.exit("unknown algorithm " + algorithm)

    first_end = 0.0
    for epoch in range(1, epochs + 1):
        total = 0.0
        for rows in batches():
            optimizer.zero_grad()
            loss = 0.5 * ((network(x[rows]) - t[rows]) ** 2).sum()
            loss.backward()
            optimizer.step()
            total += loss.item()
        if epoch == 1:
            first_end = time.process_time()
    print("%.6f %.9g" % ((time.process_time() - first_end) * 1e3 / (epochs - 1), total))


if __name__ == "__main__":
    main()
