#!/usr/bin/env python3
"""Batch recall side by side: Netforge's RecallBatch against Recall row by
row, against the memory-bandwidth bound of one-row recall and against
PyTorch's forward pass, on 10^4 rows through 1000-1000-1000 and 100-100-10
perceptrons with bias and sigmoid units, double precision, one thread.

    python3 bench/compare_batch.py [--build build] [--rounds 5]

Runs every program round-robin (one run of each per round) and prints a
Markdown table of medians with min-max ranges. Times are the processor time
of each process, so that waiting for a core on a shared machine does not
count. PyTorch (Debian's python3-torch) runs under /usr/bin/python3 with
torch.set_num_threads(1) and OPENBLAS_NUM_THREADS=1, OPENBLAS_CORETYPE and
OPENBLAS_L2_SIZE unset for its command alone, with the BLAS that Debian's
alternatives select (OpenBLAS once libopenblas0-pthread is installed);
--reference-blas adds a run on Debian's reference BLAS.
"""

import argparse
import os
import sys

from compare import Case, fmt, median, run

HERE = os.path.dirname(os.path.abspath(__file__))
PEERS = os.path.join(HERE, "peers")
ROWS = 10000
NETWORKS = {"S1": [1000, 1000, 1000], "small": [100, 100, 10]}
PASSES = {"S1": 1, "small": 20}
REFERENCE_BLAS = "/usr/lib/x86_64-linux-gnu/blas"


def weights(sizes):
    return sum((a + 1) * b for a, b in zip(sizes, sizes[1:]))


def cpu_name():
    model, flags = "unknown processor", set()
    with open("/proc/cpuinfo") as info:
        for line in info:
            key, _, value = line.partition(":")
            if key.strip() == "model name":
                model = value.strip()
            elif key.strip() == "flags":
                flags = set(value.split())
    units = [u for u, f in (("AVX2", "avx2"), ("AVX-512", "avx512f")) if f in flags]
    return "%s (%s), %d cores" % (model, ", ".join(units) or "SSE2", os.cpu_count())


def torch_env(reference):
    env = dict(os.environ, OPENBLAS_NUM_THREADS="1")
    env.pop("OPENBLAS_CORETYPE", None)
    env.pop("OPENBLAS_L2_SIZE", None)
    if reference:
        env["LD_LIBRARY_PATH"] = REFERENCE_BLAS
    return env


def cases_for(build, reference):
    gmacs = lambda out: float(out[1]) / 1e9
    nf_batch = os.path.join(build, "bench", "nf_batch")
    cases = []
    for tag, sizes in NETWORKS.items():
        args = [str(ROWS), str(PASSES[tag]), *map(str, sizes)]
        cases.append(Case("batch_" + tag, [nf_batch, "batch", *args], gmacs))
        cases.append(Case("rows_" + tag, [nf_batch, "rows", *args], gmacs))
        torch = ["/usr/bin/python3", os.path.join(PEERS, "torch_forward.py"), *args]
        cases.append(Case("torch_" + tag, torch, gmacs))
        cases[-1].env = torch_env(False)
        if reference:
            cases.append(Case("torchref_" + tag, torch, gmacs))
            cases[-1].env = torch_env(True)
    # The weights and flag bytes of S1's pruneable blocks: 9 bytes a connection.
    megabytes = weights(NETWORKS["S1"]) * 9 / 1e6
    cases.append(Case("bandwidth", [os.path.join(build, "bench", "nf_bandwidth"), "%.3f" % megabytes, "20"],
                      lambda out: float(out[1]) / 1e9))
    # What batch recall is bound by: multiplies and adds, each its own instruction.
    cases.append(Case("peak", [os.path.join(build, "bench", "nf_peak"), "200"], lambda out: float(out[1]) / 1e9))
    return cases


def report(cases, rounds, checksums_equal, blas):
    c = {case.key: case for case in cases}
    m = lambda key: median(c[key].values)
    bound = m("bandwidth") / 9
    rows = [("Read bandwidth, %.1f MB (GB/s)" % (weights(NETWORKS["S1"]) * 9 / 1e6), fmt(c["bandwidth"].values, 1),
             "", "bound of one-row recall of S1: %.2f G MAC/s (9 bytes per connection)" % bound, "", ""),
            ("Compute peak, separate multiplies and adds (G MAC/s)", fmt(c["peak"].values, 1), "", "",
             "bound of batch recall", "")]
    for tag, label in (("S1", "1000-1000-1000"), ("small", "100-100-10")):
        batch, one, torch = m("batch_" + tag), m("rows_" + tag), m("torch_" + tag)
        ratio = "%.2f× row by row, %.2f× PyTorch" % (batch / one, batch / torch)
        if tag == "S1":
            ratio += "; %.2f× and %.2f× the bandwidth bound; batch at %.2f× the compute peak" % (
                batch / bound, one / bound, batch / m("peak"))
            target = "≥ 2× row by row, ≥ 0.5× PyTorch"
            met = batch >= 2 * one and batch >= 0.5 * torch
        else:
            target = "≥ 1× row by row, > PyTorch"
            met = batch >= one and batch > torch
        rows.append(("%s, %d rows (G MAC/s)" % (label, ROWS), fmt(c["batch_" + tag].values, 2),
                     fmt(c["rows_" + tag].values, 2), fmt(c["torch_" + tag].values, 2), ratio,
                     target + ": " + ("yes" if met else "no")))
        if "torchref_" + tag in c:
            rows.append(("%s, PyTorch on the reference BLAS (G MAC/s)" % label, "", "",
                         fmt(c["torchref_" + tag].values, 2), "%.2f×" % (batch / m("torchref_" + tag)), ""))
    header = ("Measurement", "RecallBatch", "Recall row by row", "PyTorch 1.13 forward", "Ratio", "Target: met")
    print("| " + " | ".join(header) + " |")
    print("|" + "|".join("---" for _ in header) + "|")
    for row in rows:
        print("| " + " | ".join(row) + " |")
    print()
    print("CPU: %s. PyTorch's BLAS: %s. Medians of %d interleaved rounds (min–max in brackets), processor time."
          % (cpu_name(), blas, rounds))
    print("RecallBatch and Recall row by row gave %s outputs in every round."
          % ("the same" if checksums_equal else "DIFFERENT"))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(os.path.dirname(HERE), "build"),
                        help="Netforge Release build folder (default: build/ beside bench/)")
    parser.add_argument("--rounds", type=int, default=5, help="interleaved rounds (default 5)")
    parser.add_argument("--reference-blas", action="store_true", help="also run PyTorch on the reference BLAS")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    for name in ("nf_batch", "nf_bandwidth", "nf_peak"):
        if not os.access(os.path.join(build, "bench", name), os.X_OK):
            sys.exit("%s not found in %s/bench: build Netforge first (make build)" % (name, build))

    cases = cases_for(build, args.reference_blas)
    checksums_equal, blas = True, "?"
    for r in range(args.rounds):
        sums = {}
        for case in cases:
            seconds, out, _ = run(case.command, getattr(case, "env", None))
            case.values.append(case.measure(out))
            if case.key.startswith(("batch_", "rows_")):
                sums.setdefault(case.key.split("_", 1)[1], set()).add(out[2])
            if case.key.startswith("torch_"):
                blas = "OpenBLAS" if "openblas" in out[2] else out[2]
        checksums_equal &= all(len(s) == 1 for s in sums.values())
        print("round %d of %d done" % (r + 1, args.rounds), file=sys.stderr)
    report(cases, args.rounds, checksums_equal, blas)


if __name__ == "__main__":
    main()
