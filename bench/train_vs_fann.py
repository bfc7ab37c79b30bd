#!/usr/bin/python3
"""Netforge's trainer checked from outside against FANN 2.2 (libdoublefann).

    /usr/bin/python3 bench/train_vs_fann.py [--build build] [--seeds 5] [--xor-seeds 100]

Prints four Markdown tables:

1. One epoch from the same weights: batch, incremental and iRPROP- training
   of Netforge and of FANN, the largest difference of the trained weights.
   FANN is set up to compute what Netforge computes: sigmoid steepness 0.5
   (FANN's sigmoid is 1/(1+exp(-2*s*x))), the plain error function
   (FANN_ERRORFUNC_LINEAR), data whose sigmoid outputs stay inside
   (0.01, 0.99) where FANN clips the derivative, and FANN's learning rate,
   which FANN keeps as a float, given to Netforge as that float's value.
2. Quality on FANN's example data sets: 200 epochs of Netforge's iRPROP-
   beside FANN_TRAIN_RPROP with FANN's defaults, both from the same initial
   weights, median test MSE and classification error over the seeds; and
   FANN once more with its plain error function, the one Netforge minimises.
3. Seconds per epoch of those runs, side by side.
4. XOR success rate of every algorithm over many seeds.

Uses the tools of a Release build (Netforge, NetforgeData, NetforgeTrain,
NetforgeEval). FANN's data sets come from Debian's libfann-doc; when they are
not in the cache folder (--datasets, default ~/.cache/netforge-bench) the
script fetches the package with apt-get download and unpacks it there with
dpkg-deb -x. All other files go to a temporary folder.
"""

import argparse
import glob
import gzip
import math
import os
import random
import re
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
PEERS = os.path.join(HERE, "peers")
DATASETS = {"diabetes": 32, "thyroid": 32, "gene": 32, "mushroom": 32}  # name: hidden units
DATASET_SUBDIR = "usr/share/doc/libfann-dev/examples/datasets"


def f32(x):
    """The value of the float nearest to x, as FANN keeps its parameters."""
    return struct.unpack("f", struct.pack("f", x))[0]


# ---- Setting up ----

def fann_datasets(cache):
    """The folder of FANN's example data sets, fetched and unpacked when missing."""
    folder = os.path.join(cache, "libfann-doc", DATASET_SUBDIR)
    if not os.path.exists(os.path.join(folder, "diabetes.train")) and \
            not os.path.exists(os.path.join(folder, "diabetes.train.gz")):
        print("fetching FANN's example data sets (libfann-doc)", file=sys.stderr)
        download = tempfile.mkdtemp()
        os.chmod(download, 0o777)  # apt-get download fetches as the unprivileged user _apt
        os.makedirs(cache, exist_ok=True)
        try:
            subprocess.check_call(["apt-get", "download", "libfann-doc"], cwd=download,
                                  stdout=subprocess.DEVNULL)
            package = glob.glob(os.path.join(download, "libfann-doc_*.deb"))[0]
            subprocess.check_call(["dpkg-deb", "-x", package, os.path.join(cache, "libfann-doc")])
        finally:
            shutil.rmtree(download)
    for packed in glob.glob(os.path.join(folder, "*.gz")):
        plain = packed[:-3]
        if not os.path.exists(plain):
            with gzip.open(packed, "rb") as src, open(plain, "wb") as dst:
                shutil.copyfileobj(src, dst)
    return folder


def build_peer(work):
    out = os.path.join(work, "fann_train")
    subprocess.check_call([os.environ.get("CC", "gcc"), "-O2", "-ffp-contract=off",
                           os.path.join(PEERS, "fann_train.c"), "-ldoublefann", "-lm", "-o", out])
    return out


class Tools:
    def __init__(self, build, work):
        self.work = work
        self.generate = os.path.join(build, "tools/Netforge/Netforge")
        self.data = os.path.join(build, "tools/NetforgeData/NetforgeData")
        self.train = os.path.join(build, "tools/NetforgeTrain/NetforgeTrain")
        self.eval = os.path.join(build, "tools/NetforgeEval/NetforgeEval")
        self.exact = os.path.join(build, "bench/nf_train_weights")
        for tool in (self.generate, self.data, self.train, self.eval, self.exact):
            if not os.access(tool, os.X_OK):
                sys.exit(f"{tool} is missing: build the tools first (make build)")
        self.fann = build_peer(work)

    def path(self, name):
        return os.path.join(self.work, name)

    def new_network(self, sizes, low, high, seed, name):
        par = self.path(name + ".par")
        wgt = self.path(name + ".wgt")
        with open(par, "w") as f:
            f.write(f"Layers = {len(sizes)}\nLayerSize = {' '.join(map(str, sizes))}\nBias = true\n"
                    f"MinWeight = {low}\nMaxWeight = {high}\nFileName = {wgt}\nSeed = {seed}\n")
        subprocess.check_call([self.generate, par])
        return wgt

    def import_fann(self, fann_file, name):
        out = self.path(name + ".dat")
        subprocess.check_call([self.data, "import-fann", fann_file, out])
        return out

    def netforge_train(self, network, data, options, name):
        """Trains; returns the trained network file and the seconds of the epochs."""
        out = self.path(name + ".trained.wgt")
        history = self.path(name + ".history.csv")
        subprocess.check_call([self.train, "--report", "0", "--history", history, *options, network, data, out],
                              stderr=subprocess.DEVNULL)
        with open(history) as f:
            last = f.read().strip().splitlines()[-1]
        return out, float(last.split(",")[3])

    def netforge_exact(self, network, data, algorithm, rate, step, increase, epochs=1):
        """Training with the library itself: every weight with 17 digits."""
        out = subprocess.check_output([self.exact, network, data, str(epochs), algorithm, rate, step, increase],
                                      text=True)
        weights = {}
        for line in out.splitlines():
            a, b, c, d, w = line.split()
            weights[(int(a), int(b), int(c), int(d))] = float(w)
        return weights

    def netforge_outputs(self, network, data):
        result = self.path("eval-result.dat")
        subprocess.check_call([self.eval, network, data, result], stdout=subprocess.DEVNULL)
        return read_data_set(result)

    def fann_train(self, algorithm, error, epochs, rate, sizes, weights, train, test=None):
        """Trains FANN from |weights| (FANN keys); returns weights, outputs, seconds."""
        given = self.path("fann.weights")
        trained = self.path("fann.trained")
        write_fann_weights(given, weights)
        args = [self.fann, algorithm, error, str(epochs), rate, ",".join(map(str, sizes)), given, train, trained]
        outputs_file = self.path("fann.outputs")
        if test:
            args += [test, outputs_file]
        out = subprocess.check_output(args, text=True)
        outputs = None
        if test:
            with open(outputs_file) as f:
                outputs = [[float(v) for v in line.split()] for line in f if line.strip()]
        return read_fann_weights(trained), outputs, float(out.split()[1])


# ---- Files ----

def read_network_weights(path):
    """The weights of a network file: {(from layer, from neuron, to layer, to neuron): weight}."""
    with open(path) as f:
        text = re.sub(r"/\*.*?\*/", " ", f.read(), flags=re.S)
    weights = {}
    for block in re.finditer(r"\[ConnectionLayer\](.*?)\[~ConnectionLayer\]", text, re.S | re.I):
        body = block.group(1)
        source = int(re.search(r"\[LayerFrom\s*=\s*(\d+)\]", body, re.I).group(1))
        target = int(re.search(r"\[LayerTo\s*=\s*(\d+)\]", body, re.I).group(1))
        matrix = re.search(r"\[Matrix[^\]]*\](.*?)\[~Matrix\]", body, re.S | re.I).group(1)
        rows = [line.split() for line in matrix.splitlines() if line.strip()]
        for i, row in enumerate(rows):
            for j, value in enumerate(row[0::2]):  # each weight is followed by its trainable flag
                weights[(source, i, target, j)] = float(value)
    return weights


def to_fann_keys(weights, sizes):
    """Netforge layers (0 bias, 1 input, ...) to FANN's (0 input, ...; bias = index size of the layer below)."""
    keyed = {}
    for (source, i, target, j), w in weights.items():
        if source == 0:
            keyed[(target - 2, sizes[target - 2], target - 1, j)] = w
        else:
            keyed[(source - 1, i, target - 1, j)] = w
    return keyed


def write_fann_weights(path, keyed):
    with open(path, "w") as f:
        for key, w in keyed.items():
            f.write("%d %d %d %d %s\n" % (*key, repr(w)))


def read_fann_weights(path):
    keyed = {}
    with open(path) as f:
        for line in f:
            a, b, c, d, w = line.split()
            keyed[(int(a), int(b), int(c), int(d))] = float(w)
    return keyed


def read_data_set(path):
    """The rows of a data set file as (header counts, rows of numbers)."""
    with open(path) as f:
        text = f.read()
    counts = {k.lower(): v for k, v in re.findall(r"\[(\w+)\s*=\s*(\w+)\]", text.split("[Data]")[0])}
    body = text.split("[Data]")[1].split("[~Data]")[0]
    return counts, [[float(v) for v in line.split()] for line in body.splitlines() if line.strip()]


def write_fann_data(path, rows, inputs):
    with open(path, "w") as f:
        f.write(f"{len(rows)} {inputs} {len(rows[0]) - inputs}\n")
        for row in rows:
            f.write(" ".join(repr(v) for v in row[:inputs]) + "\n")
            f.write(" ".join(repr(v) for v in row[inputs:]) + "\n")


def read_fann_targets(path):
    with open(path) as f:
        words = f.read().split()
    rows, inputs, outputs = (int(w) for w in words[:3])
    values = [float(w) for w in words[3:]]
    width = inputs + outputs
    return [values[r * width + inputs:(r + 1) * width] for r in range(rows)]


# ---- Measures ----

def mse(outputs, targets):
    total = sum((y - t) ** 2 for out, tar in zip(outputs, targets) for y, t in zip(out, tar))
    return total / (len(targets) * len(targets[0]))


def classification_error(outputs, targets):
    wrong = sum(1 for out, tar in zip(outputs, targets) if out.index(max(out)) != tar.index(max(tar)))
    return wrong / len(targets)


def logistic(x):
    return 1.0 / (1.0 + math.exp(-x))


def activation_range(keyed, sizes, rows):
    """Lowest and highest sigmoid output of all hidden and output units over |rows|."""
    low, high = 1.0, 0.0
    for row in rows:
        values = row[:sizes[0]]
        for layer in range(1, len(sizes)):
            nxt = []
            for j in range(sizes[layer]):
                net = keyed[(layer - 1, sizes[layer - 1], layer, j)]
                net += sum(keyed[(layer - 1, i, layer, j)] * values[i] for i in range(sizes[layer - 1]))
                nxt.append(logistic(net))
            values = nxt
            low, high = min(low, *values), max(high, *values)
    return low, high


# ---- 1. One epoch from the same weights ----

def equivalence(tools, seed):
    sizes = [4, 6, 3]
    rows_count = 64  # a power of two: FANN's float learning_rate / num_data stays exact
    rnd = random.Random(seed)
    rows = [[rnd.uniform(-1, 1) for _ in range(sizes[0])] + [rnd.uniform(0.1, 0.9) for _ in range(sizes[-1])]
            for _ in range(rows_count)]
    fann_file = tools.path("equiv.fann")
    write_fann_data(fann_file, rows, sizes[0])
    data = tools.import_fann(fann_file, "equiv")
    network = tools.new_network(sizes, -0.3, 0.3, seed, "equiv")
    start = to_fann_keys(read_network_weights(network), sizes)
    low, high = activation_range(start, sizes, rows)

    rate = repr(f32(0.7))  # FANN's learning rate 0.7 as the float FANN keeps
    # FANN keeps its RPROP parameters as floats: 0.1f and 1.2f.
    fann_step, fann_increase = repr(f32(0.1)), repr(f32(1.2))
    cases = [
        ("batch", "batch", "batch", ("0.1", "1.2"), ["--algorithm", "batch", "--learning-rate", rate]),
        ("incremental", "incremental", "incremental", ("0.1", "1.2"),
         ["--algorithm", "incremental", "--no-shuffle", "--learning-rate", rate]),
        ("iRPROP- (defaults)", "rprop", "irprop-", ("0.1", "1.2"), ["--algorithm", "irprop-"]),
        ("iRPROP- (FANN's floats 0.1f, 1.2f)", "rprop", "irprop-", (fann_step, fann_increase),
         ["--algorithm", "irprop-", "--rprop-initial-step", fann_step, "--rprop-increase", fann_increase]),
    ]
    print(f"Network 4-6-3 (sigmoid), {rows_count} rows, one epoch; unit outputs before training in "
          f"[{low:.3f}, {high:.3f}]. The library's weights in full; NetforgeTrain's file keeps 15 digits.\n")
    print("| Algorithm | Weights | Bit-identical | Largest difference | Largest relative difference | "
          "NetforgeTrain file: 15-digit texts unlike FANN's |")
    print("|---|---:|---:|---:|---:|---:|")
    for label, fann_algorithm, algorithm, step, options in cases:
        theirs, _, _ = tools.fann_train(fann_algorithm, "linear", 1, "default", sizes, start, fann_file)
        ours = to_fann_keys(tools.netforge_exact(network, data, algorithm, rate, *step), sizes)
        trained, _ = tools.netforge_train(network, data, ["--epochs", "1", *options], "equiv-" + algorithm)
        file_weights = to_fann_keys(read_network_weights(trained), sizes)
        diffs = [abs(ours[k] - theirs[k]) for k in theirs]
        relative = [abs(ours[k] - theirs[k]) / abs(theirs[k]) for k in theirs if theirs[k] != 0]
        same = sum(1 for k in theirs if ours[k] == theirs[k])
        texts = sum(1 for k in theirs if "%.15g" % file_weights[k] != "%.15g" % theirs[k])
        print(f"| {label} | {len(theirs)} | {same} | {max(diffs):.3g} | {max(relative):.3g} | {texts} |")
    print()

    # From the second epoch on FANN 2.2's RPROP leaves iRPROP-: after a sign
    # change it sets the slope to 0 and then, in the "else" branch meant for
    # positive slopes, adds the shrunken step to the weight instead of
    # leaving it. Counted here: every weight is either equal or apart by
    # exactly that step.
    shrunken = f32(0.1) * f32(1.2) * 0.5
    theirs, _, _ = tools.fann_train("rprop", "linear", 2, "default", sizes, start, fann_file)
    ours = to_fann_keys(tools.netforge_exact(network, data, "irprop-", rate, fann_step, fann_increase, 2), sizes)
    equal = sum(1 for k in theirs if ours[k] == theirs[k])
    moved = sum(1 for k in theirs if theirs[k] - ours[k] == shrunken or
                abs(theirs[k] - ours[k] - shrunken) <= 1e-15)
    print(f"iRPROP- over two epochs (0.1f, 1.2f): {equal} of {len(theirs)} weights bit-identical; "
          f"FANN's are larger by its shrunken step {shrunken:.17g} (within 1e-15) on {moved}, "
          f"the weights whose gradient changed sign.\n")


# ---- 2 and 3. Quality and speed on FANN's data sets ----

def quality(tools, folder, seeds):
    results = {}
    for name, hidden in DATASETS.items():
        train_fann = os.path.join(folder, name + ".train")
        test_fann = os.path.join(folder, name + ".test")
        train = tools.import_fann(train_fann, name + "-train")
        test = tools.import_fann(test_fann, name + "-test")
        targets = read_fann_targets(test_fann)
        counts, _ = read_data_set(train)
        sizes = [int(counts["inputs"]), hidden, int(counts["expectedoutputs"])]
        runs = {"netforge": [], "fann": [], "fann-linear": []}
        for seed in range(1, seeds + 1):
            network = tools.new_network(sizes, -0.1, 0.1, seed, f"{name}-{seed}")
            start = to_fann_keys(read_network_weights(network), sizes)
            # Interleaved: one run of each per seed, so load changes touch both alike.
            trained, seconds = tools.netforge_train(
                network, train, ["--algorithm", "irprop-", "--epochs", "200", "--seed", str(seed)], name)
            _, rows = tools.netforge_outputs(trained, test)
            outputs = [row[sizes[0] + sizes[2]:sizes[0] + 2 * sizes[2]] for row in rows]
            runs["netforge"].append((mse(outputs, targets), classification_error(outputs, targets), seconds / 200))
            _, outputs, seconds = tools.fann_train("rprop", "tanh", 200, "default", sizes, start, train_fann,
                                                   test_fann)
            runs["fann"].append((mse(outputs, targets), classification_error(outputs, targets), seconds / 200))
            # The same with FANN's plain error function, the one Netforge minimises.
            _, outputs, seconds = tools.fann_train("rprop", "linear", 200, "default", sizes, start, train_fann,
                                                   test_fann)
            runs["fann-linear"].append((mse(outputs, targets), classification_error(outputs, targets), seconds / 200))
        results[name] = (sizes, runs)

    print(f"200 epochs, sigmoid units, median over {seeds} seeds; both start from the same weights, "
          "drawn from [-0.1, 0.1).\n")
    print("| Data set | Network | Netforge test MSE | FANN test MSE | MSE ratio | "
          "Netforge class. error | FANN class. error | FANN (LINEAR) test MSE | FANN (LINEAR) class. error |")
    print("|---|---|---:|---:|---:|---:|---:|---:|---:|")
    for name, (sizes, runs) in results.items():
        ours, theirs, linear = ([statistics.median(r[k] for r in runs[key]) for k in range(3)]
                                for key in ("netforge", "fann", "fann-linear"))
        print(f"| {name} | {'-'.join(map(str, sizes))} | {ours[0]:.4g} | {theirs[0]:.4g} | "
              f"{ours[0] / theirs[0]:.3f} | {100 * ours[1]:.2f} % | {100 * theirs[1]:.2f} % | "
              f"{linear[0]:.4g} | {100 * linear[1]:.2f} % |")
    print()
    print("Seconds per epoch (median of the same runs):\n")
    print("| Data set | Training rows | Netforge iRPROP- | FANN RPROP | Netforge / FANN |")
    print("|---|---:|---:|---:|---:|")
    for name, (sizes, runs) in results.items():
        ours = statistics.median(r[2] for r in runs["netforge"])
        theirs = statistics.median(r[2] for r in runs["fann"])
        rows = int(read_data_set(tools.path(name + "-train.dat"))[0]["rows"])
        print(f"| {name} | {rows} | {ours * 1e3:.3f} ms | {theirs * 1e3:.3f} ms | {ours / theirs:.2f} |")
    print()


# ---- 4. XOR ----

XOR_ROWS = [[0, 0, 0], [0, 1, 1], [1, 0, 1], [1, 1, 0]]
NETFORGE_ALGORITHMS = ["incremental", "batch", "irprop-", "irprop+", "quickprop", "adam"]
FANN_ALGORITHMS = {"incremental": "incremental", "batch": "batch", "irprop-": "rprop", "quickprop": "quickprop"}


def xor(tools, seeds, epochs, goal):
    fann_file = tools.path("xor.fann")
    write_fann_data(fann_file, [[float(v) for v in row] for row in XOR_ROWS], 2)
    data = tools.import_fann(fann_file, "xor")
    targets = [row[2:] for row in XOR_ROWS]
    columns = ["netforge", "fann-tanh", "fann-linear"]
    wins = {a: dict.fromkeys(columns, 0) for a in NETFORGE_ALGORITHMS}
    for seed in range(1, seeds + 1):
        network = tools.new_network([2, 2, 1], -1.0, 1.0, seed, "xor")
        start = to_fann_keys(read_network_weights(network), [2, 2, 1])
        for algorithm in NETFORGE_ALGORITHMS:
            trained, _ = tools.netforge_train(
                network, data, ["--algorithm", algorithm, "--epochs", str(epochs), "--seed", str(seed)], "xor")
            _, rows = tools.netforge_outputs(trained, data)
            wins[algorithm]["netforge"] += mse([row[3:4] for row in rows], targets) <= goal
            if algorithm not in FANN_ALGORITHMS:
                continue
            for error in ("tanh", "linear"):
                _, outputs, _ = tools.fann_train(FANN_ALGORITHMS[algorithm], error, epochs, "default", [2, 2, 1],
                                                 start, fann_file, fann_file)
                wins[algorithm]["fann-" + error] += mse(outputs, targets) <= goal
    print(f"XOR, network 2-2-1 (sigmoid), initial weights from [-1, 1), {epochs} epochs, default settings "
          f"(Netforge shuffles for incremental and Adam); success: MSE <= {goal} on the four rows after the "
          f"last epoch; {seeds} seeds, FANN from the same weights.\n")
    print("| Algorithm | Netforge | FANN (its default error function, TANH) | FANN (LINEAR error function) |")
    print("|---|---:|---:|---:|")
    for algorithm in NETFORGE_ALGORITHMS:
        cells = [f"{wins[algorithm][c]} / {seeds}" if c == "netforge" or algorithm in FANN_ALGORITHMS else "-"
                 for c in columns]
        print(f"| {algorithm} | {' | '.join(cells)} |")
    print()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    parser.add_argument("--datasets", default=os.path.expanduser("~/.cache/netforge-bench"),
                        help="cache folder of FANN's example data sets")
    parser.add_argument("--seeds", type=int, default=5)
    parser.add_argument("--xor-seeds", type=int, default=100)
    parser.add_argument("--xor-epochs", default="1000,10000", help="comma-separated epoch budgets")
    parser.add_argument("--only", choices=["equivalence", "quality", "xor"])
    args = parser.parse_args()

    folder = fann_datasets(args.datasets) if args.only in (None, "quality") else None
    work = tempfile.mkdtemp(prefix="netforge-train-vs-fann-")
    try:
        tools = Tools(os.path.abspath(args.build), work)
        if args.only in (None, "equivalence"):
            print("## One epoch from the same weights\n")
            equivalence(tools, 1)
        if args.only in (None, "quality"):
            print("## Quality and speed on FANN's data sets\n")
            quality(tools, folder, args.seeds)
        if args.only in (None, "xor"):
            print("## XOR success rate\n")
            for epochs in args.xor_epochs.split(","):
                xor(tools, args.xor_seeds, int(epochs), 0.01)
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
