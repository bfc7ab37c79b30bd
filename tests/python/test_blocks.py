"""Blocks: weights and flags as arrays, pruning, adding, freezing."""
import numpy as np
import pytest

import netforge


def test_arrays_are_shaped_targets_by_sources(small_net):
    block = small_net.block(1, 2)
    assert (block.source, block.target, block.kind, block.shape) == (1, 2, "Pruneable", (3, 2))
    assert block.weights.shape == block.exists.shape == block.trainable.shape == (3, 2)
    assert block.weights.dtype == np.float64 and block.exists.dtype == np.bool_
    assert block.exists.all() and block.trainable.all()
    assert [(b.source, b.target) for b in small_net.blocks()] == [(0, 2), (0, 3), (1, 2), (2, 3)]
    assert repr(block) == "<netforge.Block 1 -> 2, Pruneable, shape (3, 2)>"


def test_written_weights_reach_the_file_and_recall(small_net):
    block = small_net.block(1, 2)
    weights = np.arange(6.0).reshape(3, 2) / 8
    block.weights = weights
    np.testing.assert_array_equal(block.weights, weights)
    np.testing.assert_array_equal(netforge.loads(small_net.dumps()).block(1, 2).weights, weights)
    # Target 2 is fed by sources 0 and 1 with weights[2, 0] and weights[2, 1].
    small_net.block(2, 3).weights = np.array([[0.0, 0.0, 1.0]])
    small_net.block(0, 2).weights = np.zeros((3, 1))
    small_net.block(0, 3).weights = np.zeros((1, 1))
    small_net.set_activation(2, "linear")
    small_net.set_activation(3, "linear")
    np.testing.assert_array_equal(small_net.recall([[1.0, 10.0]]), [[weights[2, 0] + 10.0 * weights[2, 1]]])


def test_pruned_connections_refuse_weights_but_take_back_their_zero(small_net):
    block = small_net.block(1, 2)
    block.prune(1, 0)
    weights, exists = block.weights, block.exists
    assert weights[1, 0] == 0.0 and not exists[1, 0] and not block.trainable[1, 0]
    assert exists.sum() == 5 and small_net.num_weights() == 12
    block.weights = weights * 2  # the pruned entry stays 0.0: accepted
    np.testing.assert_array_equal(block.weights, weights * 2)
    refused = weights.copy()
    refused[0, 0] = 9.0
    refused[1, 0] = 1.0
    with pytest.raises(ValueError, match=r"pruned connection \(target 1, source 0\)"):
        block.weights = refused
    np.testing.assert_array_equal(block.weights, weights * 2)  # nothing written


def test_add_creates_a_trainable_connection(small_net):
    block = small_net.block(2, 3)
    block.prune(0, 2)
    block.add(0, 2, weight=0.125)
    assert block.weights[0, 2] == 0.125 and block.exists[0, 2] and block.trainable[0, 2]
    with pytest.raises(ValueError, match="exists already"):
        block.add(0, 2)


def test_exists_array_prunes_and_adds(small_net):
    block = small_net.block(1, 2)
    before = block.weights
    pattern = np.array([[True, False], [False, True], [True, True]])
    block.exists = pattern
    np.testing.assert_array_equal(block.exists, pattern)
    np.testing.assert_array_equal(block.weights, np.where(pattern, before, 0.0))
    block.exists = np.ones((3, 2), dtype=bool)
    np.testing.assert_array_equal(block.weights, np.where(pattern, before, 0.0))  # added at 0.0
    assert "Pruneable" in netforge.loads(small_net.dumps()).dumps()


def test_freezing_blocks_and_single_connections(small_net):
    block = small_net.block(1, 2)
    block.freeze()
    assert not block.trainable.any() and block.exists.all()
    block.unfreeze()
    assert block.trainable.all()
    flags = np.array([[True, False], [True, True], [False, True]])
    block.trainable = flags
    np.testing.assert_array_equal(block.trainable, flags)
    np.testing.assert_array_equal(netforge.loads(small_net.dumps()).block(1, 2).trainable, flags)
    block.prune(0, 0)
    with pytest.raises(ValueError, match="cannot be trainable"):
        block.trainable = np.ones((3, 2), dtype=bool)
    small_net.freeze()
    assert small_net.num_weights(trainable_only=True) == 0
    small_net.unfreeze()
    assert small_net.num_weights(trainable_only=True) == small_net.num_weights() == 12
    assert not small_net.block(1, 2).exists[0, 0]  # unfreezing adds nothing


def test_a_block_keeps_its_network_alive():
    block = netforge.generate([2, 2], seed=3).block(1, 2)
    assert block.weights.shape == (2, 2)


@pytest.mark.parametrize("misuse,error", [
    (lambda n: n.block(1, 2).prune(3, 0), IndexError),
    (lambda n: n.block(1, 2).prune(0, -1), IndexError),
    (lambda n: n.block(1, 2).add(0, 2), IndexError),
    (lambda n: setattr(n.block(1, 2), "weights", np.zeros((2, 3))), ValueError),
    (lambda n: setattr(n.block(1, 2), "weights", np.zeros(6)), ValueError),
    (lambda n: setattr(n.block(1, 2), "exists", np.ones((3, 3), dtype=bool)), ValueError),
    (lambda n: setattr(n.block(1, 2), "trainable", [[True]]), ValueError),
    (lambda n: setattr(n.block(1, 2), "weights", [["a", "b"]] * 3), TypeError),
    (lambda n: n.block(2, 1), ValueError),
    (lambda n: n.block(1, 3), ValueError),
    (lambda n: n.block(0, 4), IndexError),
    (lambda n: n.block(-1, 2), IndexError),
])
def test_block_misuse_is_refused(small_net, misuse, error):
    before = small_net.dumps()
    with pytest.raises(error):
        misuse(small_net)
    assert small_net.dumps() == before
