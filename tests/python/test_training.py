"""Training: every algorithm and option of the library's trainer, the epoch
callback, and Ctrl-C."""
import json
import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import netforge

XOR_X = np.array([[0, 0], [0, 1], [1, 0], [1, 1]], dtype=np.float64)
XOR_Y = np.array([[0], [1], [1], [0]], dtype=np.float64)
ALGORITHMS = ["incremental", "batch", "irprop-", "irprop+", "quickprop", "adam"]


def xor_net():
    return netforge.generate([2, 4, 1], bias=True, min_weight=-1.0, max_weight=1.0, seed=3)


@pytest.mark.parametrize("algorithm", ALGORITHMS)
def test_every_algorithm_trains_reproducibly(algorithm):
    data = netforge.DataSet(XOR_X, XOR_Y)
    first, second = xor_net(), xor_net()
    before = first.error(data)
    rates = {"adam": 0.05}
    reports = []
    result = first.train(data, algorithm=algorithm, epochs=200, learning_rate=rates.get(algorithm),
                         callback=reports.append)
    second.train(data, algorithm=algorithm, epochs=200, learning_rate=rates.get(algorithm))
    assert result.epochs == 200 and result.stop == "epochs" and len(reports) == 200
    assert [r.epoch for r in reports] == list(range(1, 201))
    assert result.training_error == pytest.approx(first.error(data), rel=1e-12)
    assert result.training_error < before
    assert first.get_weights().tobytes() == second.get_weights().tobytes()


def test_options_object_and_keywords_combine():
    options = netforge.TrainingOptions(algorithm="adam", epochs=5, learning_rate=0.01,
                                       penalty="(lwf :learningrate 0.1 :forgettingrate 1e-4)")
    assert (options.algorithm, options.epochs, options.learning_rate) == ("adam", 5, 0.01)
    assert options.penalty == "(lwf :learningrate 0.1 :forgettingrate 1e-4)"
    assert netforge.TrainingOptions().algorithm == "irprop-" and netforge.TrainingOptions().learning_rate is None
    result = xor_net().train(netforge.DataSet(XOR_X, XOR_Y), options=options, epochs=7, batch_size=2, shuffle=False)
    assert result.epochs == 7 and options.epochs == 5  # the object is not changed
    options.penalty = None
    assert options.penalty is None


def test_validation_keeps_the_best_network_and_patience_stops():
    data = netforge.DataSet(XOR_X, XOR_Y)
    validation = netforge.DataSet(XOR_X[:3], XOR_Y[:3])
    net = xor_net()
    reports = []
    result = net.train(data, validation, epochs=300, patience=20, algorithm="irprop+", callback=reports.append)
    best = min(reports, key=lambda r: r.validation_error)
    assert result.best_epoch == best.epoch and result.best_error == best.validation_error
    assert result.validation_error == pytest.approx(net.error(validation), rel=1e-12)
    assert result.validation_error == pytest.approx(best.validation_error, rel=1e-12)
    assert result.stop in ("patience", "epochs")
    assert reports[-1].validation_error is not None and reports[best.epoch - 1].best


def test_frozen_and_pruned_connections_stay_as_they_are():
    net = xor_net()
    net.block(1, 2).freeze()
    net.block(2, 3).prune(0, 1)
    frozen = net.block(1, 2).weights
    net.train(netforge.DataSet(XOR_X, XOR_Y), epochs=50)
    np.testing.assert_array_equal(net.block(1, 2).weights, frozen)
    assert not net.block(2, 3).exists[0, 1] and net.block(2, 3).weights[0, 1] == 0.0


def test_gains_cross_entropy_target_error_and_pruning():
    data = netforge.DataSet(XOR_X, XOR_Y)
    net = xor_net()
    net.set_activation(2, "sigmoid-gain")
    net.train(data, epochs=20, train_gains=True)
    assert (net.gains(2) != 1.0).any()
    assert xor_net().train(data, error="cross-entropy", epochs=20).training_error > 0
    assert xor_net().train(data, epochs=100000, target_error=0.45).stop == "target-error"
    pruned = xor_net()
    result = pruned.train(data, epochs=5, prune_below=0.5)
    assert result.connections_pruned > 0
    assert pruned.num_weights() <= 17 - result.connections_pruned
    assert pruned.layer_sizes[2] == 4 - result.neurons_pruned


def test_the_callback_stops_training_and_may_read_but_not_change_the_network():
    net = xor_net()
    data = netforge.DataSet(XOR_X, XOR_Y)
    seen = []
    result = net.train(data, callback=lambda r: seen.append(net.recall(XOR_X)) or r.epoch < 4)
    assert result.stop == "callback" and result.epochs == 4 and len(seen) == 4

    def edit(report):
        net.block(1, 2).prune(0, 0)

    with pytest.raises(RuntimeError, match="while it trains"):
        net.train(data, callback=edit)
    with pytest.raises(RuntimeError, match="while it trains"):
        net.train(data, callback=lambda r: net.train(data))

    def fail(report):
        raise LookupError("from the callback")

    with pytest.raises(LookupError, match="from the callback"):
        net.train(data, epochs=50, callback=fail)
    net.block(1, 2).prune(0, 0)  # editable again


@pytest.mark.parametrize("settings,kind", [
    (dict(epochs=0), "Bad Training Option"),
    (dict(learning_rate=-1.0), "Bad Training Option"),
    (dict(momentum=1.0), "Bad Training Option"),
    (dict(batch_size=0), "Bad Training Option"),
    (dict(penalty="(foo :x 1)"), "Bad Penalty"),
])
def test_bad_options_raise_the_library_error(settings, kind):
    net = xor_net()
    before = net.get_weights()
    with pytest.raises(netforge.NetforgeError) as caught:
        net.train(netforge.DataSet(XOR_X, XOR_Y), **settings)
    assert caught.value.kind == kind and caught.value.message
    np.testing.assert_array_equal(net.get_weights(), before)


@pytest.mark.parametrize("call,error", [
    (lambda n: n.train(netforge.DataSet(np.zeros((4, 3)), XOR_Y)), netforge.NetforgeError),
    (lambda n: n.train(netforge.DataSet(XOR_X, np.zeros((4, 2)))), netforge.NetforgeError),
    (lambda n: n.train(netforge.DataSet(XOR_X)), netforge.NetforgeError),
    (lambda n: n.train(netforge.DataSet(XOR_X, XOR_Y), netforge.DataSet(XOR_X)), netforge.NetforgeError),
    (lambda n: n.train(netforge.DataSet(XOR_X, XOR_Y), algorithm="sgd"), ValueError),
    (lambda n: n.train(netforge.DataSet(XOR_X, XOR_Y), error="mse"), ValueError),
    (lambda n: n.train(netforge.DataSet(XOR_X, XOR_Y), penalty="(unclosed"), ValueError),
    (lambda n: n.train(netforge.DataSet(XOR_X, XOR_Y), epochs="many"), TypeError),
    (lambda n: n.train(netforge.DataSet(XOR_X, XOR_Y), bogus=1), TypeError),
    (lambda n: n.train(XOR_X), TypeError),
])
def test_training_misuse_is_refused(call, error):
    net = xor_net()
    before = net.dumps()
    with pytest.raises(error):
        call(net)
    assert net.dumps() == before


def test_ctrl_c_stops_after_the_epoch_with_the_best_network_kept(tmp_path):
    script = textwrap.dedent("""
        import json, os, signal, threading
        import numpy as np
        import netforge
        rng = np.random.default_rng(0)
        x = rng.uniform(-1, 1, size=(200, 4))
        y = (x[:, :1] * x[:, 1:2] > 0).astype(float)
        data, validation = netforge.DataSet(x[:150], y[:150]), netforge.DataSet(x[150:], y[150:])
        net = netforge.generate([4, 16, 1], bias=True, min_weight=-0.5, max_weight=0.5, seed=1)
        reports = []
        def callback(report):
            reports.append(report.validation_error)
            if len(reports) == 30:
                threading.Timer(0.05, os.kill, (os.getpid(), signal.SIGINT)).start()
        try:
            net.train(data, validation, epochs=10**7, algorithm="incremental", learning_rate=2.0, callback=callback)
            print(json.dumps({"interrupted": False}))
        except KeyboardInterrupt:
            print(json.dumps({"interrupted": True, "epochs": len(reports), "best": min(reports),
                              "now": net.error(validation)}))
    """)
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120,
                            env=dict(os.environ))
    assert result.returncode == 0, result.stderr
    outcome = json.loads(result.stdout)
    assert outcome["interrupted"] and 30 <= outcome["epochs"] < 10**6
    assert outcome["now"] == pytest.approx(outcome["best"], rel=1e-12)
