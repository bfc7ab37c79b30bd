#!/usr/bin/env python3
"""Recall of whole arrays from Python against the same recall from C++ and
against PyTorch's forward pass of the same network.

For each network (1000-1000-1000 and 100-100-10 with a bias, 10^4 rows) it
times, round-robin so that a change of machine load touches all alike:
  - C++:     recall_rows (tests/python/recall_rows.cpp), timed inside the
             process: TBasicNetwork::RecallBatch of all rows (the recall that
             Python's recall uses), and Recall row by row;
  - Python:  netforge.Network.recall(x) on the same network file and rows;
  - PyTorch: a torch.nn.Sequential of Linear+Sigmoid layers with the same
             weights, float64, torch.set_num_threads(1), in its own process
             with OPENBLAS_CORETYPE and OPENBLAS_L2_SIZE unset and
             OPENBLAS_NUM_THREADS=1 (Debian's OpenBLAS).
It prints medians, min-max ranges and the ratios as a Markdown table.

Usage: /usr/bin/python3 bench/python_recall.py [--build DIR] [--rounds N]
(build first: cmake --build build --target netforge_python recall_rows)
"""
import argparse
import os
import pathlib
import platform
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

ROWS = 10_000
NETWORKS = [[1000, 1000, 1000], [100, 100, 10]]


def cpu_name():
    for line in subprocess.run(["lscpu"], capture_output=True, text=True).stdout.splitlines():
        if line.startswith("Model name:"):
            return line.split(":", 1)[1].strip()
    return platform.processor()


def torch_worker(network_file, x_file, rows):
    """Runs in its own process: one timed forward pass; prints seconds, the
    largest difference from netforge's outputs and OpenBLAS's kernel."""
    import ctypes
    import torch
    import netforge

    torch.set_num_threads(1)
    network = netforge.load(network_file)
    x = np.fromfile(x_file).reshape(rows, network.num_inputs)
    layers = []
    for k in range(network.input_layer + 1, network.num_layers):
        block = network.block(k - 1, k)
        linear = torch.nn.Linear(block.shape[1], block.shape[0], dtype=torch.float64)
        with torch.no_grad():
            linear.weight.copy_(torch.from_numpy(block.weights))
            linear.bias.copy_(torch.from_numpy(network.block(0, k).weights[:, 0]))
        layers += [linear, torch.nn.Sigmoid()]
    model = torch.nn.Sequential(*layers)
    tensor = torch.from_numpy(x)
    with torch.no_grad():
        model(tensor[:10])
        start = time.perf_counter()
        y = model(tensor)
        seconds = time.perf_counter() - start
    difference = float(np.max(np.abs(y.numpy() - network.recall(x))))
    openblas = ctypes.CDLL("libopenblas.so.0")
    openblas.openblas_get_corename.restype = ctypes.c_char_p
    print(seconds, difference, openblas.openblas_get_corename().decode())


def run_torch(script, network_file, x_file, rows):
    environment = dict(os.environ)
    environment.pop("OPENBLAS_CORETYPE", None)
    environment.pop("OPENBLAS_L2_SIZE", None)
    environment["OPENBLAS_NUM_THREADS"] = "1"
    output = subprocess.run([sys.executable, script, "--torch-worker", network_file, x_file, str(rows)],
                            env=environment, capture_output=True, text=True, check=True).stdout.split()
    return float(output[0]), float(output[1]), output[2]


def run_cpp(program, network_file, x_file, rows, y_file, batch):
    output = subprocess.run([program] + (["--batch"] if batch else []) + [network_file, x_file, str(rows), y_file],
                            capture_output=True, text=True, check=True).stdout
    return float(output.split()[0])


def summary(values):
    return f"{statistics.median(values):.3f} ({min(values):.3f}–{max(values):.3f})"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--torch-worker", nargs=3)
    arguments = parser.parse_args()
    if arguments.torch_worker:
        torch_worker(arguments.torch_worker[0], arguments.torch_worker[1], int(arguments.torch_worker[2]))
        return
    build = pathlib.Path(arguments.build).resolve()
    sys.path.insert(0, str(build / "python"))
    os.environ["PYTHONPATH"] = str(build / "python") + os.pathsep + os.environ.get("PYTHONPATH", "")
    import netforge

    load_before = os.getloadavg()
    program = str(build / "python" / "recall_rows")
    script = str(pathlib.Path(__file__).resolve())
    rng = np.random.default_rng(1)
    rows = []
    with tempfile.TemporaryDirectory() as folder:
        cases = []
        for sizes in NETWORKS:
            name = "-".join(map(str, sizes))
            network_file = f"{folder}/{name}.wgt"
            netforge.generate(sizes, bias=True, min_weight=-0.1, max_weight=0.1, seed=1).save(network_file)
            network = netforge.load(network_file)
            x = rng.uniform(-1.0, 1.0, size=(ROWS, sizes[0]))
            x.tofile(f"{folder}/{name}.x")
            cases.append(dict(name=name, network=network, x=x, file=network_file, x_file=f"{folder}/{name}.x",
                              cpp=[], rows=[], python=[], torch=[]))
        for _ in range(arguments.rounds):
            for case in cases:
                y_file = f"{folder}/{case['name']}.y"
                case["rows"].append(run_cpp(program, case["file"], case["x_file"], ROWS, y_file + "r", False))
                case["cpp"].append(run_cpp(program, case["file"], case["x_file"], ROWS, y_file, True))
                start = time.perf_counter()
                y = case["network"].recall(case["x"])
                case["python"].append(time.perf_counter() - start)
                case["identical"] = (y.tobytes() == open(y_file, "rb").read() == open(y_file + "r", "rb").read())
                seconds, difference, kernel = run_torch(script, case["file"], case["x_file"], ROWS)
                case["torch"].append(seconds)
                case["difference"], case["kernel"] = difference, kernel
        print(f"CPU: {cpu_name()}; {ROWS} rows; medians of {arguments.rounds} interleaved rounds, seconds "
              f"(min–max); OpenBLAS kernel of the PyTorch runs: {cases[0]['kernel']}\n")
        print("| Network | C++ Recall row by row | C++ RecallBatch | Python recall(x) | Python / C++ batch | "
              "PyTorch 1.13 float64 | PyTorch / Python | identical bits | max abs difference to PyTorch |")
        print("|---|---|---|---|---|---|---|---|---|")
        for case in cases:
            cpp, python, torch = (statistics.median(case[k]) for k in ("cpp", "python", "torch"))
            print(f"| {case['name']} | {summary(case['rows'])} | {summary(case['cpp'])} | {summary(case['python'])} | "
                  f"{python / cpp:.3f} | {summary(case['torch'])} | {torch / python:.3f} | {case['identical']} | "
                  f"{case['difference']:.1e} |")
        print(f"\nLoad average before: {load_before}; after: {os.getloadavg()}")


if __name__ == "__main__":
    main()
