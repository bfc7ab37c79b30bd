"""Networks: generation as the tool does it, files and texts, layers, copies."""
import copy
import pickle

import numpy as np
import pytest

import netforge

SETTINGS = [
    # layer sizes, bias, min weight, max weight, seed
    ([2, 3, 1], True, -0.5, 0.5, 1),
    ([4, 8, 2], False, -5.0, 5.0, 0),
    ([3], True, -1.0, 1.0, 17),
    ([5, 4, 3, 2], True, -0.3, 0.7, 4294967295),
    ([1, 1], False, 0.1, 0.2, 123456),
]


@pytest.mark.parametrize("sizes,bias,low,high,seed", SETTINGS)
def test_generate_writes_the_tools_file_byte_for_byte(tmp_path, tool, sizes, bias, low, high, seed):
    parameters = (f"Layers = {len(sizes)}\nLayerSize = {' '.join(map(str, sizes))}\n"
                  f"Bias = {'true' if bias else 'false'}\nMinWeight = {low}\nMaxWeight = {high}\n"
                  f"FileName = tool.wgt\nSeed = {seed}\n")
    result = tool(tmp_path, parameters)
    assert result.returncode == 0, result.stderr
    network = netforge.generate(sizes, bias=bias, min_weight=low, max_weight=high, seed=seed)
    network.save(str(tmp_path / "python.wgt"))
    assert (tmp_path / "python.wgt").read_bytes() == (tmp_path / "tool.wgt").read_bytes()


def test_generate_defaults_are_the_tools(tmp_path, tool):
    assert tool(tmp_path, "Layers = 2\nLayerSize = 3 2\nFileName = tool.wgt\nSeed = 9\n").returncode == 0
    netforge.generate([3, 2], seed=9).save(str(tmp_path / "python.wgt"))
    assert (tmp_path / "python.wgt").read_bytes() == (tmp_path / "tool.wgt").read_bytes()


def test_a_generated_perceptron_describes_its_layers(small_net):
    assert small_net.type == "MLP"
    assert small_net.layer_sizes == [1, 2, 3, 1]
    assert small_net.layer_types == ["Simple", "Input", "Gain", "Gain"]
    assert (small_net.num_layers, small_net.input_layer, small_net.output_layer) == (4, 1, 3)
    assert (small_net.num_inputs, small_net.num_outputs) == (2, 1)
    assert [small_net.activation(k) for k in range(4)] == ["bias", "linear", "sigmoid", "sigmoid"]
    assert small_net.activations(2) == ["sigmoid"] * 3
    np.testing.assert_array_equal(small_net.gains(2), [1.0, 1.0, 1.0])
    assert small_net.num_weights() == 2 * 3 + 3 * 1 + 3 + 1
    weights = small_net.get_weights()
    assert np.all((weights >= -0.5) & (weights < 0.5))
    assert netforge.generate([2, 3, 1], bias=False, seed=1).layer_sizes == [0, 2, 3, 1]


def test_without_a_seed_the_clock_seeds():
    assert netforge.generate([2, 2]).num_weights() == 4


def test_load_save_dumps_loads_keep_the_file(tmp_path, small_net):
    path = tmp_path / "a.wgt"
    small_net.save(str(path))
    loaded = netforge.load(str(path))
    assert loaded.dumps() == path.read_text() == small_net.dumps()
    assert netforge.loads(small_net.dumps()).dumps() == small_net.dumps()
    assert repr(loaded) == "<netforge.Network MLP, layer sizes [1, 2, 3, 1]>"
    small_net.save(tmp_path / "b.wgt")  # any path-like object
    assert netforge.load(tmp_path / "b.wgt").dumps() == small_net.dumps()


def test_activation_functions_and_gains_can_be_changed(small_net):
    small_net.set_activation(2, "tanh-gain")
    small_net.set_gains(2, [0.5, 1.0, 2.0])
    small_net.set_activation(3, "LINEAR")
    assert small_net.activation(2) == "tanh-gain" and small_net.activation(3) == "linear"
    np.testing.assert_array_equal(small_net.gains(2), [0.5, 1.0, 2.0])
    small_net.set_gains(3, 3.0)
    np.testing.assert_array_equal(small_net.gains(3), [3.0])
    reread = netforge.loads(small_net.dumps())
    assert reread.activation(2) == "tanh-gain"
    np.testing.assert_array_equal(reread.gains(2), [0.5, 1.0, 2.0])
    x = np.array([[0.25, -0.75]])
    hidden = np.tanh(np.array([0.5, 1.0, 2.0]) *
                     (small_net.block(1, 2).weights @ x[0] + small_net.block(0, 2).weights[:, 0]))
    expected = small_net.block(2, 3).weights @ hidden + small_net.block(0, 3).weights[:, 0]
    np.testing.assert_allclose(small_net.recall(x)[0], expected, rtol=1e-12)


def test_weight_vectors_read_and_write_in_block_order(small_net):
    expected = np.concatenate([b.weights[b.exists] for b in small_net.blocks()])
    np.testing.assert_array_equal(small_net.get_weights(), expected)
    small_net.block(1, 2).freeze()
    assert small_net.num_weights(trainable_only=True) == small_net.num_weights() - 6
    trainable = small_net.get_weights(trainable_only=True)
    small_net.set_weights(trainable + 1.0, trainable_only=True)
    np.testing.assert_array_equal(small_net.get_weights(trainable_only=True), trainable + 1.0)
    np.testing.assert_array_equal(small_net.block(1, 2).weights.ravel(), expected[4:10])
    small_net.set_weights(np.zeros(small_net.num_weights()))
    assert not small_net.get_weights().any()


def test_copies_are_exact_and_independent(small_net):
    small_net.set_gains(3, 1.0 / 3.0)
    small_net.block(1, 2).prune(0, 1)
    small_net.block(2, 3).freeze()
    for twin in (small_net.copy(), copy.copy(small_net), copy.deepcopy(small_net),
                 pickle.loads(pickle.dumps(small_net))):
        assert twin.dumps() == small_net.dumps()
        np.testing.assert_array_equal(twin.get_weights(), small_net.get_weights())
        np.testing.assert_array_equal(twin.gains(3), small_net.gains(3))
        twin.set_weights(np.zeros(twin.num_weights()))
        assert small_net.get_weights().any()


def test_error_measures_the_outputs_against_a_data_set(small_net):
    x = np.array([[0.0, 1.0], [1.0, 0.0], [0.5, 0.5]])
    y = np.array([[1.0], [0.0], [0.25]])
    outputs = small_net.recall(x)
    rms = small_net.error(netforge.DataSet(x, y))
    assert rms == pytest.approx(np.sqrt(np.mean((outputs - y) ** 2)), rel=1e-12)
    assert small_net.error(netforge.DataSet(x, y), "cross-entropy") > 0
