"""Misuse from Python raises exceptions; none may reach a consistency check
(which would end the interpreter)."""
import numpy as np
import pytest

import netforge

GENERATE_MISUSE = [
    (dict(layer_sizes=[]), ValueError, "at least one layer"),
    (dict(layer_sizes=[2, 0, 1]), ValueError, "positive"),
    (dict(layer_sizes=[-3]), ValueError, "positive"),
    (dict(layer_sizes=[2**31]), ValueError, "positive"),
    (dict(layer_sizes=[1] * 4097), ValueError, "more than 4096 layers"),
    (dict(layer_sizes=[70000, 70000]), ValueError, "more than 2147483647 weights"),
    (dict(layer_sizes=[2, 1], min_weight=1.0, max_weight=1.0), ValueError, "greater than min_weight"),
    (dict(layer_sizes=[2, 1], min_weight=0.1, max_weight=0.1 + 1e-12), ValueError, "greater than min_weight"),
    (dict(layer_sizes=[2, 1], max_weight=float("nan")), ValueError, "finite"),
    (dict(layer_sizes=[2, 1], min_weight=-1e39), ValueError, "finite"),
    (dict(layer_sizes=[2, 1], seed=-1), ValueError, "seed"),
    (dict(layer_sizes=[2, 1], seed=2**32), ValueError, "seed"),
    (dict(layer_sizes="abc"), TypeError, ""),
    (dict(layer_sizes=[2.5, 1]), TypeError, ""),
]


@pytest.mark.parametrize("arguments,error,text", GENERATE_MISUSE)
def test_generate_checks_its_arguments(arguments, error, text):
    with pytest.raises(error, match=text):
        netforge.generate(**arguments)


NETWORK_MISUSE = [
    (lambda n: n.activation(4), IndexError, "layer 4 is not a layer"),
    (lambda n: n.activations(-1), IndexError, "not a layer"),
    (lambda n: n.set_activation(2, "softmax"), ValueError, "unknown activation function"),
    (lambda n: n.set_activation(0, "sigmoid-gain"), ValueError, "needs a Gain layer"),
    (lambda n: n.set_activation(1, "tanh-gain"), ValueError, "needs a Gain layer"),
    (lambda n: n.gains(1), ValueError, "not a Gain layer"),
    (lambda n: n.set_gains(2, [1.0, 2.0]), ValueError, "one per neuron"),
    (lambda n: n.set_gains(9, 1.0), IndexError, "not a layer"),
    (lambda n: n.set_weights(np.zeros(3)), ValueError, "vector of 13"),
    (lambda n: n.set_weights(np.zeros((13, 1))), ValueError, "vector of 13"),
    (lambda n: n.error(netforge.DataSet(np.zeros((1, 2)), np.zeros((1, 2)))), netforge.NetforgeError,
     "Data set outputs do not match the output layer"),
    (lambda n: n.error(netforge.DataSet(np.zeros((1, 2)), np.zeros((1, 1))), "mse"), ValueError, "measure"),
    (lambda n: n.save("/nonexistent-folder/x.wgt"), OSError, ""),
    (lambda n: restore((b"", np.zeros(1), np.zeros(1))), netforge.FileFormatError, ""),
    (lambda n: restore((n.dumps().encode(), np.zeros(1), np.zeros(1))), ValueError, "state"),
    (lambda n: restore((n.dumps().encode(),)), ValueError, "state"),
]


def restore(state):
    """Unpickles a network from |state|, as pickle.loads does."""
    network = netforge.Network.__new__(netforge.Network)
    network.__setstate__(state)
    return network


@pytest.mark.parametrize("misuse,error,text", NETWORK_MISUSE)
def test_network_misuse_is_refused(small_net, misuse, error, text):
    with pytest.raises(error, match=text):
        misuse(small_net)


NETWORK_TEXTS = [
    # text, message, line, column
    ("[NeuralNetwork]\n[NetworkType = MLP]\n[NetworkInformation]\n[NumberOfLayers = -2]\n[~NetworkInformation]\n",
     "Must specify number of layers", None, None),
    ("[NeuralNetwork]\n  [Bogus = 1]\n", None, 2, 3),
    ("[FormatVersion = 1.0]\n[NeuralNetwork\n", None, None, None),
    ("", None, None, None),
]


@pytest.mark.parametrize("text,message,line,column", NETWORK_TEXTS)
def test_bad_network_files_raise_file_format_errors(tmp_path, text, message, line, column):
    path = tmp_path / "bad.wgt"
    path.write_text(text)
    for read, file in ((lambda: netforge.load(str(path)), str(path)), (lambda: netforge.loads(text), None)):
        with pytest.raises(netforge.FileFormatError) as caught:
            read()
        error = caught.value
        assert error.file == file and error.message
        assert message is None or error.message == message
        assert line is None or (error.line, error.column) == (line, column)


def test_a_network_file_that_cannot_be_opened_is_an_os_error(tmp_path):
    with pytest.raises(FileNotFoundError):
        netforge.load(str(tmp_path / "missing.wgt"))
    with pytest.raises((OSError, netforge.FileFormatError)):
        netforge.load(str(tmp_path))


def test_networks_are_only_made_by_the_module():
    with pytest.raises(TypeError):
        netforge.Network()
