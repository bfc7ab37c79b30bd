#!/usr/bin/env python3
"""Side-by-side speed and memory comparison of Netforge with FANN and with
floor programs that do only the unavoidable work.

Runs every program round-robin (one run of each per round, N rounds) so that
a change in machine load touches all of them alike, and prints a Markdown
table of medians, min-max ranges and ratios against the targets.

    python3 bench/compare.py [--build build] [--rounds 5]

Needs a Release build of Netforge (make build) and FANN's double-precision
library; libfann-dev is installed from Debian when it is missing. The peer
programs of bench/peers/ are compiled into a temporary folder, where all
files are written as well.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PEERS = os.path.join(HERE, "peers")

S1 = [1000, 1000, 1000]
S2 = [2000, 2000, 2000]
SMALL = [100, 100, 10]


def ensure_fann():
    if os.path.exists("/usr/include/doublefann.h"):
        return
    print("libfann-dev is missing; installing it from Debian", file=sys.stderr)
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    if subprocess.call(["apt-get", "install", "-y", "libfann-dev"], env=env) != 0:
        subprocess.check_call(["apt-get", "update"], env=env)
        subprocess.check_call(["apt-get", "install", "-y", "libfann-dev"], env=env)


def build_peers(work):
    """Compiles the peer programs; returns their paths by name."""
    cxx = os.environ.get("CXX", "g++")
    cc = os.environ.get("CC", "gcc")
    # The same floating-point rules as Netforge: no contraction, no fast-math.
    common = ["-O2", "-ffp-contract=off"]
    jobs = {
        "floor_generate": [cxx, "-std=c++20", *common, "floor_generate.cpp"],
        "plain_recall": [cxx, "-std=c++20", *common, "plain_recall.cpp"],
        "fann_generate": [cc, *common, "fann_generate.c", "-ldoublefann", "-lm"],
        "fann_load": [cc, *common, "fann_load.c", "-ldoublefann", "-lm"],
        "fann_run": [cc, *common, "fann_run.c", "-ldoublefann", "-lm"],
    }
    paths = {}
    for name, command in jobs.items():
        out = os.path.join(work, name)
        subprocess.check_call([*command, "-o", out], cwd=PEERS)
        paths[name] = out
    return paths


def run(command, env=None):
    """Runs |command| (in |env| if given); returns (wall seconds, stdout, peak resident bytes)."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
    # wait4 gives the child's own rusage (ru_maxrss in KiB on Linux).
    out = process.stdout.read()
    err = process.stderr.read()
    _, status, usage = os.wait4(process.pid, 0)
    seconds = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (" ".join(command), process.returncode, err.decode()))
    return seconds, out.decode().split(), usage.ru_maxrss * 1024


def parameter_file(work, name, sizes):
    path = os.path.join(work, name + ".par")
    with open(path, "w") as f:
        f.write("Layers = %d\n" % len(sizes))
        f.write("LayerSize = %s\n" % " ".join(map(str, sizes)))
        f.write("Bias = true\nMinWeight = -0.5\nMaxWeight = 0.5\n")
        f.write("FileName = %s\n" % os.path.join(work, name + ".wgt"))
    return path


class Case:
    """One program run per round; |measure| turns a run into a number."""

    def __init__(self, key, command, measure):
        self.key = key
        self.command = command
        self.measure = measure
        self.values = []
        self.peak = []


def median(values):
    return statistics.median(values)


def cases_for(tools, peers, work, repeats_s1, repeats_small):
    wall = lambda secs, out: secs
    per_weight_ns = lambda secs, out: float(out[0]) / float(out[1]) * 1e9
    gmacs = lambda secs, out: float(out[1]) / 1e9
    cases = []
    for tag, sizes in (("S1", S1), ("S2", S2)):
        par = parameter_file(work, "nf_" + tag, sizes)
        cases.append(Case("gen_nf_" + tag, [tools["Netforge"], par], wall))
        cases.append(Case("gen_fann_" + tag, [peers["fann_generate"], os.path.join(work, "fann_%s.net" % tag),
                                              *map(str, sizes)], wall))
        cases.append(Case("gen_floor_" + tag, [peers["floor_generate"], os.path.join(work, "floor_%s.txt" % tag),
                                               *map(str, sizes)], wall))
    # The files the loads read are those the first round of generation wrote.
    cases.append(Case("load_nf_S1", [tools["nf_load"], os.path.join(work, "nf_S1.wgt")], per_weight_ns))
    cases.append(Case("load_fann_S1", [peers["fann_load"], os.path.join(work, "fann_S1.net")], per_weight_ns))
    for tag, sizes, repeats in (("S1", S1, repeats_s1), ("small", SMALL, repeats_small)):
        args = [str(repeats), *map(str, sizes)]
        cases.append(Case("recall_nf_" + tag, [tools["nf_recall"], *args], gmacs))
        cases.append(Case("recall_fann_" + tag, [peers["fann_run"], *args], gmacs))
        cases.append(Case("recall_plain_" + tag, [peers["plain_recall"], *args], gmacs))
    # 30 % of the connections missing: FANN's own form of such a network is
    # its sparse network, which keeps 70 % of the connections.
    cases.append(Case("recall_nf_S1_prune", [tools["nf_recall"], str(repeats_s1), "--prune", "0.3",
                                             *map(str, S1)], gmacs))
    cases.append(Case("recall_fann_S1_sparse", [peers["fann_run"], str(repeats_s1), "--sparse", "0.7",
                                                *map(str, S1)], gmacs))
    cases.append(Case("recall_plain_S1_prune", [peers["plain_recall"], str(repeats_s1), "--prune", "0.3",
                                                *map(str, S1)], gmacs))
    cases.append(Case("recall_nf_S1_connected", [tools["nf_recall"], str(repeats_s1), "--connected",
                                                 *map(str, S1)], gmacs))
    return cases


def fmt(values, digits):
    return "%.*f (%.*f–%.*f)" % (digits, median(values), digits, min(values), digits, max(values))


def report(cases, rounds, load_before, load_after):
    c = {case.key: case for case in cases}
    m = lambda key: median(c[key].values)
    weights = {"S1": 2 * 1000 * 1000 + 2000, "S2": 2 * 2000 * 2000 + 4000}
    rows = []
    for tag in ("S1", "S2"):
        nf, fann, floor = m("gen_nf_" + tag), m("gen_fann_" + tag), m("gen_floor_" + tag)
        rows.append(("Generate + write %s (s)" % tag, fmt(c["gen_nf_" + tag].values, 3),
                     fmt(c["gen_fann_" + tag].values, 3), fmt(c["gen_floor_" + tag].values, 3) + " floor",
                     "%.2f× floor, %.2f× faster than FANN" % (nf / floor, fann / nf),
                     "≤ 1.3× floor, ≥ 2.5× faster than FANN",
                     "yes" if nf <= 1.3 * floor and fann >= 2.5 * nf else "no"))
    nf, fann = m("load_nf_S1"), m("load_fann_S1")
    rows.append(("Load S1 (ns per weight)", fmt(c["load_nf_S1"].values, 1), fmt(c["load_fann_S1"].values, 1), "",
                 "%.2f× faster than FANN" % (fann / nf), "≥ 3× faster than FANN", "yes" if fann >= 3 * nf else "no"))
    for tag, label in (("S1", "S1"), ("small", "100-100-10")):
        nf, fann, plain = m("recall_nf_" + tag), m("recall_fann_" + tag), m("recall_plain_" + tag)
        target = "≥ 2× FANN" if tag == "S1" else ""
        met = ("yes" if nf >= 2 * fann else "no") if tag == "S1" else ""
        rows.append(("Recall %s, pruneable, all present (G MAC/s)" % label, fmt(c["recall_nf_" + tag].values, 2),
                     fmt(c["recall_fann_" + tag].values, 2), fmt(c["recall_plain_" + tag].values, 2) + " plain",
                     "%.2f× FANN, %.2f× plain" % (nf / fann, nf / plain), target, met))
    fann = m("recall_fann_S1")
    nf, sparse, plain = m("recall_nf_S1_prune"), m("recall_fann_S1_sparse"), m("recall_plain_S1_prune")
    rows.append(("Recall S1, pruneable, 30 % missing (G MAC/s of existing connections)",
                 fmt(c["recall_nf_S1_prune"].values, 2), fmt(c["recall_fann_S1_sparse"].values, 2) + " sparse",
                 fmt(c["recall_plain_S1_prune"].values, 2) + " plain",
                 "%.2f× FANN sparse, %.2f× FANN all present, %.2f× plain" % (nf / sparse, nf / fann, nf / plain),
                 "≥ 2× FANN sparse", "yes" if nf >= 2 * sparse else "no"))
    nf = m("recall_nf_S1_connected")
    rows.append(("Recall S1, fully connected (G MAC/s)", fmt(c["recall_nf_S1_connected"].values, 2), "", "",
                 "%.2f× FANN" % (nf / fann), "≥ 2× FANN", "yes" if nf >= 2 * fann else "no"))
    for tag in ("S1", "S2"):
        peak = max(c["gen_nf_" + tag].peak) / 1e6
        limit = (1.2 * 9 * weights[tag] + 10e6) / 1e6
        rows.append(("Peak memory of the tool, %s (MB)" % tag, "%.1f" % peak, "", "",
                     "limit %.1f" % limit, "≤ 1.2 × 9 B/weight + 10 MB", "yes" if peak <= limit else "no"))

    header = ("Measurement", "Netforge", "FANN 2.2", "Floor / plain loop", "Ratio", "Target", "Met")
    print("| " + " | ".join(header) + " |")
    print("|" + "|".join("---" for _ in header) + "|")
    for row in rows:
        print("| " + " | ".join(row) + " |")
    print()
    print("Medians of %d interleaved rounds (min–max in brackets). Load average before: %s; after: %s."
          % (rounds, " ".join("%.2f" % x for x in load_before), " ".join("%.2f" % x for x in load_after)))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(os.path.dirname(HERE), "build"),
                        help="Netforge Release build folder (default: build/ beside bench/)")
    parser.add_argument("--rounds", type=int, default=5, help="interleaved rounds (default 5)")
    parser.add_argument("--repeats", type=int, default=300, help="recalls per run on S1 (default 300)")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = parser.parse_args()

    build = os.path.abspath(args.build)
    tools = {
        "Netforge": os.path.join(build, "tools", "Netforge", "Netforge"),
        "nf_load": os.path.join(build, "bench", "nf_load"),
        "nf_recall": os.path.join(build, "bench", "nf_recall"),
    }
    for path in tools.values():
        if not os.access(path, os.X_OK):
            sys.exit("%s not found: build Netforge first (make build)" % path)
    ensure_fann()

    work = tempfile.mkdtemp(prefix="netforge-compare-")
    try:
        peers = build_peers(work)
        cases = cases_for(tools, peers, work, args.repeats, args.repeats * 200)
        load_before = os.getloadavg()
        for r in range(args.rounds):
            for case in cases:
                seconds, out, peak = run(case.command)
                case.values.append(case.measure(seconds, out))
                case.peak.append(peak)
            print("round %d of %d done" % (r + 1, args.rounds), file=sys.stderr)
        load_after = os.getloadavg()
        report(cases, args.rounds, load_before, load_after)
    finally:
        if args.keep:
            print("files kept in " + work, file=sys.stderr)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
