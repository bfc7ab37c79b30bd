"""Shared fixtures of the netforge module's tests.

CTest runs these with PYTHONPATH pointing at the built module and with the
paths of the Netforge tool (NETFORGE_TOOL) and of the plain C++ recall
(NETFORGE_RECALL_ROWS) in the environment.
"""
import os
import subprocess

import numpy as np
import pytest

import netforge


def _program(variable):
    path = os.environ.get(variable)
    if not path:
        pytest.skip(f"{variable} is not set (run the suite through ctest)")
    return path


@pytest.fixture
def tool():
    """Runs the Netforge tool on a parameter file text in a folder."""
    path = _program("NETFORGE_TOOL")

    def run(folder, parameter_text):
        parameter_file = folder / "net.par"
        parameter_file.write_text(parameter_text)
        return subprocess.run([path, str(parameter_file)], cwd=folder, capture_output=True, text=True)

    return run


@pytest.fixture
def cpp_recall():
    """Recalls rows with the library's Recall in a C++ program that loads the
    network file; returns the outputs (rows, outputs)."""
    path = _program("NETFORGE_RECALL_ROWS")

    def run(folder, network_file, x):
        network = netforge.load(str(network_file))
        x = np.ascontiguousarray(x, dtype=np.float64)
        x.tofile(folder / "x.f64")
        subprocess.run([path, str(network_file), str(folder / "x.f64"), str(x.shape[0]), str(folder / "y.f64")],
                       check=True, capture_output=True)
        return np.fromfile(folder / "y.f64", dtype=np.float64).reshape(x.shape[0], network.num_outputs)

    return run


@pytest.fixture
def small_net():
    """A 2-3-1 perceptron with a bias neuron and a fixed seed."""
    return netforge.generate([2, 3, 1], bias=True, min_weight=-0.5, max_weight=0.5, seed=7)
