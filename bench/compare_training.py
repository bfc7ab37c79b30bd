#!/usr/bin/env python3
"""Training speed side by side: Netforge's TTrainer against FANN 2.2
(libdoublefann) and PyTorch 1.13 (Debian's python3-torch), per epoch, on
FANN's own example data sets, with sigmoid units, double precision and one
thread, the same topology and algorithm.

    python3 bench/compare_training.py [--build build] [--rounds 3] [--datasets DIR]

FANN's data sets come from Debian's libfann-doc package (examples/datasets
of its documentation folder); when --datasets is not given and they are not
yet in BUILD/fann-doc, the package is fetched with `apt-get download` and
unpacked there with `dpkg-deb -x`. Every program runs once per round,
round-robin; the table shows medians (min-max) of the processor-time
milliseconds per epoch. PyTorch runs under /usr/bin/python3 with
torch.set_num_threads(1) and OPENBLAS_NUM_THREADS=1, OPENBLAS_CORETYPE and
OPENBLAS_L2_SIZE unset for its command alone (OpenBLAS as Debian's
alternatives select it with libopenblas0-pthread installed).
"""

import argparse
import glob
import gzip
import os
import shutil
import subprocess
import sys
import tempfile

from compare import Case, ensure_fann, fmt, median, run
from compare_batch import cpu_name, torch_env

HERE = os.path.dirname(os.path.abspath(__file__))
PEERS = os.path.join(HERE, "peers")
DOC_DATASETS = os.path.join("usr", "share", "doc", "libfann-dev", "examples", "datasets")

# (label, data set, hidden layers, Netforge and FANN algorithm, PyTorch
# algorithm or None, epochs for Netforge and FANN, epochs for PyTorch,
# target against FANN, target against PyTorch)
CASES = [
    ("RPROP diabetes 8-32-2", "diabetes", [32], "rprop", None, 200, 0, 3, 0),
    ("RPROP thyroid 21-32-3", "thyroid", [32], "rprop", "rprop", 200, 200, 3, 2),
    ("RPROP gene 120-32-3", "gene", [32], "rprop", None, 100, 0, 3, 0),
    ("RPROP mushroom 125-32-2", "mushroom", [32], "rprop", "rprop", 100, 100, 3, 2),
    ("Batch mushroom 125-32-2", "mushroom", [32], "batch", None, 100, 0, 3, 0),
    ("Quickprop mushroom 125-32-2", "mushroom", [32], "quickprop", None, 100, 0, 0, 0),
    ("Incremental mushroom 125-32-2 (PyTorch: SGD, batch 1)", "mushroom", [32], "incremental", "sgd", 30, 3, 2, 20),
    ("Adam, batch 32, mushroom 125-32-2", "mushroom", [32], "adam", "adam", 30, 10, 0, 5),
    ("RPROP gene 120-512-512-3", "gene", [512, 512], "rprop", "rprop", 5, 10, 4, 0.5),
]


def datasets_folder(build, given):
    if given:
        return given
    folder = os.path.join(build, "fann-doc", DOC_DATASETS)
    if os.path.exists(os.path.join(folder, "mushroom.train")) or os.path.exists(
            os.path.join(folder, "mushroom.train.gz")):
        return folder
    print("FANN's data sets are missing; fetching libfann-doc", file=sys.stderr)
    download = tempfile.mkdtemp(prefix="netforge-fanndoc-")
    try:
        subprocess.check_call(["apt-get", "download", "libfann-doc"], cwd=download)
        deb = glob.glob(os.path.join(download, "libfann-doc_*.deb"))[0]
        subprocess.check_call(["dpkg-deb", "-x", deb, os.path.join(build, "fann-doc")])
    finally:
        shutil.rmtree(download, ignore_errors=True)
    return folder


def training_file(folder, name, work):
    path = os.path.join(folder, name + ".train")
    if os.path.exists(path):
        return path
    unpacked = os.path.join(work, name + ".train")
    with gzip.open(path + ".gz", "rb") as packed, open(unpacked, "wb") as out:
        shutil.copyfileobj(packed, out)
    return unpacked


def build_fann_train(work):
    out = os.path.join(work, "fann_epochs")
    cc = os.environ.get("CC", "gcc")
    subprocess.check_call([cc, "-O2", "-ffp-contract=off", "fann_epochs.c", "-ldoublefann", "-lm", "-o", out],
                          cwd=PEERS)
    return out


def multiply_adds_per_epoch(path, hidden):
    """The multiply-adds every algorithm does per epoch at the least: each
    row's forward pass and its gradient through every connection (the bias
    neuron feeds every layer above the input), plus the errors passed back
    to the hidden layers."""
    with open(path) as f:
        rows, n_in, n_out = map(int, f.readline().split())
    sizes = [n_in, *hidden, n_out]
    connections = sum((a + 1) * b for a, b in zip(sizes, sizes[1:]))
    passed_back = sum(a * b for a, b in zip(sizes[1:], sizes[2:]))
    return rows * (2 * connections + passed_back)


def make_cases(build, fann, folder, work):
    per_epoch = lambda out: float(out[0])
    nf_train = os.path.join(build, "bench", "nf_train")
    peak = Case("peak", [os.path.join(build, "bench", "nf_peak"), "200"], lambda out: float(out[1]))
    peak.unit_of = lambda out: out[2]
    peak.multiply_adds = []  # per epoch, by case
    cases = [peak]
    for i, (label, data, hidden, alg, torch_alg, epochs, torch_epochs, _, _) in enumerate(CASES):
        path = training_file(folder, data, work)
        peak.multiply_adds.append(multiply_adds_per_epoch(path, hidden))
        shape = [*map(str, hidden)]
        cases.append(Case("nf%d" % i, [nf_train, alg, str(epochs), path, *shape], per_epoch))
        cases[-1].memory_of = lambda out: (int(out[2]), int(out[3]))  # trainer's bytes, weights
        if alg != "adam":
            cases.append(Case("fann%d" % i, [fann, alg, str(epochs), path, *shape], per_epoch))
        if torch_alg:
            cases.append(Case("torch%d" % i, ["/usr/bin/python3", os.path.join(PEERS, "torch_train.py"), torch_alg,
                                              str(torch_epochs), path, *shape], per_epoch))
            cases[-1].env = torch_env(False)
    return cases


def memory(measured):
    """How far the resident memory rose while training, in MB."""
    return "%.1f MB" % (measured[0] / 1e6)


def report(cases, rounds):
    c = {case.key: case for case in cases}
    peak = median(c["peak"].values)
    header = ("Training, ms per epoch", "Netforge", "FANN 2.2", "PyTorch 1.13 (OpenBLAS)", "Compute floor",
              "Ratio", "Target: met", "Trainer's memory")
    print("| " + " | ".join(header) + " |")
    print("|" + "|".join("---" for _ in header) + "|")
    for i, (label, _, _, _, torch_alg, _, _, fann_target, torch_target) in enumerate(CASES):
        nf = median(c["nf%d" % i].values)
        floor = "%.2f" % (1e3 * c["peak"].multiply_adds[i] / peak)
        cells = [label, fmt(c["nf%d" % i].values, 2), "", "", floor, "", "", memory(c["nf%d" % i].memory)]
        ratios, targets = [], []
        if "fann%d" % i in c:
            fann = median(c["fann%d" % i].values)
            cells[2] = fmt(c["fann%d" % i].values, 2)
            ratios.append("%.2f× FANN's speed" % (fann / nf))
            if fann_target:
                wanted = "≥ %g× faster than FANN" % fann_target
                targets.append(wanted + ": " + ("yes" if fann >= fann_target * nf else "no"))
        if torch_alg:
            torch = median(c["torch%d" % i].values)
            cells[3] = fmt(c["torch%d" % i].values, 2)
            ratios.append("%.2f× PyTorch's speed" % (torch / nf))
            if torch_target >= 1:
                wanted = "≥ %g× faster than PyTorch" % torch_target
                targets.append(wanted + ": " + ("yes" if torch >= torch_target * nf else "no"))
            elif torch_target:
                targets.append("within 2× of PyTorch: " + ("yes" if nf <= 2 * torch else "no"))
                targets.append("within 1.5× (moonshot): " + ("yes" if nf <= 1.5 * torch else "no"))
        cells[5] = ", ".join(ratios)
        cells[6] = "; ".join(targets)
        print("| " + " | ".join(cells) + " |")
    print()
    print("CPU: %s. Medians of %d interleaved rounds (min–max in brackets), processor time per epoch."
          % (cpu_name(), rounds))
    grown, weights = c["nf%d" % (len(CASES) - 1)].memory
    print("Trainer's memory: how far the resident memory rose above what it was just before training (network and"
          " data set loaded): gradient, the rule's state, the trainer's copy of the weights at the start of each"
          " epoch and working memory. %s: %d weights, %.1f MB per array of one double per weight, so the rise is"
          " %.1f such arrays." % (CASES[-1][0], weights, weights * 8 / 1e6, grown / (8.0 * weights)))
    print("Compute floor: the forward and gradient multiply-adds of an epoch at %.1f G multiply-adds/s, the peak of"
          " one core with separate multiplies and adds (%s, bench/nf_peak.cpp, median)."
          % (peak / 1e9, c["peak"].unit))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(os.path.dirname(HERE), "build"),
                        help="Netforge Release build folder (default: build/ beside bench/)")
    parser.add_argument("--rounds", type=int, default=3, help="interleaved rounds (default 3)")
    parser.add_argument("--datasets", help="folder of FANN's example data sets (default: fetched into BUILD)")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    for name in ("nf_train", "nf_peak"):
        if not os.access(os.path.join(build, "bench", name), os.X_OK):
            sys.exit("%s not found in %s/bench: build Netforge first (make build)" % (name, build))
    ensure_fann()
    folder = datasets_folder(build, args.datasets)
    work = tempfile.mkdtemp(prefix="netforge-training-")
    try:
        cases = make_cases(build, build_fann_train(work), folder, work)
        for r in range(args.rounds):
            for case in cases:
                _, out, _ = run(case.command, getattr(case, "env", None))
                case.values.append(case.measure(out))
                if hasattr(case, "unit_of"):
                    case.unit = case.unit_of(out)
                if hasattr(case, "memory_of"):
                    case.memory = case.memory_of(out)
            print("round %d of %d done" % (r + 1, args.rounds), file=sys.stderr)
        report(cases, args.rounds)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
