"""recall(): whole arrays through the library's Recall, bit for bit."""
import threading
import time
import tracemalloc

import numpy as np
import pytest

import netforge


def random_rows(rows, columns, seed=5):
    return np.random.default_rng(seed).uniform(-2.0, 2.0, size=(rows, columns))


@pytest.mark.parametrize("sizes,bias", [([2, 3, 1], True), ([7, 16, 9, 4], True), ([5, 5], False)])
def test_recall_gives_the_bits_of_the_library_row_by_row(tmp_path, cpp_recall, sizes, bias):
    network = netforge.generate(sizes, bias=bias, min_weight=-1.5, max_weight=1.5, seed=11)
    network.block(1, 2).prune(0, 1)
    network.save(str(tmp_path / "net.wgt"))
    # Both sides read the same file, whose weights keep 15 digits.
    network = netforge.load(str(tmp_path / "net.wgt"))
    x = random_rows(257, sizes[0])
    y = network.recall(x)
    assert y.shape == (257, sizes[-1]) and y.dtype == np.float64
    expected = cpp_recall(tmp_path, tmp_path / "net.wgt", x)
    assert y.tobytes() == expected.tobytes()


def test_every_layout_and_type_gives_the_same_outputs(small_net):
    x = random_rows(40, 2)
    y = small_net.recall(x)
    for variant in (np.asfortranarray(x), x.T.copy().T, np.repeat(x, 2, axis=0)[::2], x.tolist()):
        assert small_net.recall(variant).tobytes() == y.tobytes()
    single = x.astype(np.float32)
    np.testing.assert_array_equal(small_net.recall(single), small_net.recall(single.astype(np.float64)))
    np.testing.assert_array_equal(small_net.recall(x[3]), y[3])
    assert small_net.recall(np.arange(4).reshape(2, 2)).tobytes() == small_net.recall(
        np.arange(4.0).reshape(2, 2)).tobytes()
    assert small_net.recall(np.empty((0, 2))).shape == (0, 1)


def test_a_c_contiguous_float64_array_is_read_in_place(small_net):
    wide = netforge.generate([2000, 1], seed=2)
    x = random_rows(500, 2000)  # 8 MB
    wide.recall(x[:1])
    tracemalloc.start()
    wide.recall(x)
    in_place = tracemalloc.get_traced_memory()[1]
    tracemalloc.reset_peak()
    wide.recall(np.asfortranarray(x))
    converted = tracemalloc.get_traced_memory()[1]
    tracemalloc.stop()
    assert in_place < 1_000_000 < x.nbytes <= converted


def test_threads_share_a_network(small_net):
    x = random_rows(2000, 2)
    expected = small_net.recall(x)
    results = [None] * 4

    def work(k):
        results[k] = small_net.recall(x)

    threads = [threading.Thread(target=work, args=(k,)) for k in range(4)]
    for thread in threads:
        thread.start()
    for _ in range(50):
        small_net.block(1, 2).weights = small_net.block(1, 2).weights  # edits wait for recalls
    for thread in threads:
        thread.join()
    for result in results:
        assert result.tobytes() == expected.tobytes()


@pytest.mark.parametrize("x", [np.zeros((4, 3)), np.zeros(3), np.zeros((2, 2, 2)), np.float64(1.0),
                               [[1.0, 2.0], [3.0]]])
def test_rows_of_the_wrong_shape_are_refused(small_net, x):
    with pytest.raises((ValueError, TypeError)):
        small_net.recall(x)


@pytest.mark.parametrize("function", ["null", "error"])
def test_a_function_that_cannot_run_is_refused_not_run(small_net, function):
    small_net.set_activation(2, function)
    with pytest.raises(ValueError, match=f'layer 2 has the activation function "{function}"'):
        small_net.recall(np.zeros((1, 2)))
    reloaded = netforge.loads(small_net.dumps())
    with pytest.raises(ValueError):
        reloaded.recall(np.zeros((1, 2)))
    with pytest.raises(ValueError):
        reloaded.error(netforge.DataSet(np.zeros((1, 2)), np.zeros((1, 1))))


def test_other_threads_run_while_the_network_recalls():
    network = netforge.generate([400, 400, 400], seed=4)
    x = random_rows(6000, 400)
    worker = threading.Thread(target=network.recall, args=(x,))
    ticks = []
    worker.start()
    while worker.is_alive():
        ticks.append(time.perf_counter())
    worker.join()
    # Holding the GIL would leave one gap nearly as long as the whole recall;
    # released, the gaps are the scheduler's.
    gaps = np.diff(ticks)
    assert len(ticks) > 100 and gaps.max() < 0.5 * (ticks[-1] - ticks[0])
