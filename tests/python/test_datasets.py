"""Data sets: arrays and labels to files and back."""
import numpy as np
import pytest

import netforge


def test_a_data_set_writes_the_documented_file(tmp_path):
    data = netforge.DataSet(np.array([[0.1, 0.2], [3.0, 4.0]]), np.array([[1.0], [0.5]]))
    assert (len(data), data.num_rows, data.num_inputs, data.num_outputs, data.has_labels) == (2, 2, 2, 1, False)
    data.save(str(tmp_path / "d.dat"))
    assert (tmp_path / "d.dat").read_text() == (
        "[FormatVersion = 1.0]\n\n[DataSet]\n[Rows = 2]\n[Inputs = 2]\n[ExpectedOutputs = 1]\n"
        "[GeneratedOutputs = 0]\n[Error = 0]\n\n[Data]\n0.1 0.2   1 \n3 4   0.5 \n[~Data]\n\n[~DataSet]\n")


def test_arrays_come_back_exactly_as_far_as_the_file_keeps_them(tmp_path):
    rng = np.random.default_rng(1)
    inputs = np.round(rng.uniform(-1e3, 1e3, size=(50, 4)), 6)
    outputs = np.round(rng.uniform(-1, 1, size=(50, 3)), 9)
    netforge.DataSet(inputs, outputs).save(str(tmp_path / "d.dat"))
    data = netforge.load_dataset(str(tmp_path / "d.dat"))
    np.testing.assert_array_equal(data.inputs, inputs)
    np.testing.assert_array_equal(data.outputs, outputs)
    assert data.labels is None


def test_labels_round_trip(tmp_path):
    labels = [{"cat": 1.0, "dog": 0.5}, ["bird", "bird"], {}, {"x_1.b-2:+": -3.25}]
    data = netforge.DataSet(np.arange(8.0).reshape(4, 2), labels=labels)
    assert data.labels == [{"cat": 1.0, "dog": 0.5}, {"bird": 2.0}, {}, {"x_1.b-2:+": -3.25}]
    data.save(str(tmp_path / "l.dat"))
    text = (tmp_path / "l.dat").read_text()
    assert "[ExpectedOutputs = Labels]" in text and "0 1   [cat dog=0.500000000 ] \n" in text
    again = netforge.load_dataset(str(tmp_path / "l.dat"))
    assert again.labels == data.labels and again.has_labels and again.num_outputs == 0


def test_results_are_a_second_data_set(tmp_path):
    data = netforge.DataSet(np.array([[1.0], [2.0]]), np.array([[0.0], [1.0]]))
    results = netforge.DataSet(np.array([[0.25], [0.75]]), np.array([[0.0625], [0.0625]]))
    data.save(str(tmp_path / "r.dat"), results=results)
    first, second = netforge.load_dataset(str(tmp_path / "r.dat"), with_results=True)
    np.testing.assert_array_equal(second.inputs, results.inputs)
    np.testing.assert_array_equal(second.outputs, results.outputs)
    np.testing.assert_array_equal(netforge.load_dataset(str(tmp_path / "r.dat")).inputs, data.inputs)
    assert netforge.load_dataset(str(tmp_path / "r.dat"), True)[0].num_rows == 2
    data.save(str(tmp_path / "plain.dat"))
    assert netforge.load_dataset(str(tmp_path / "plain.dat"), with_results=True)[1] is None


def test_recall_and_error_of_a_loaded_data_set(tmp_path, small_net):
    x = np.array([[0.0, 1.0], [1.0, 1.0]])
    netforge.DataSet(x, small_net.recall(x)).save(str(tmp_path / "d.dat"))
    data = netforge.load_dataset(str(tmp_path / "d.dat"))
    assert small_net.error(data) < 1e-14
    with pytest.raises(netforge.NetforgeError) as caught:
        small_net.error(netforge.DataSet(np.zeros((2, 3)), np.zeros((2, 1))))
    assert caught.value.message == "Data set inputs do not match the input layer"
    assert caught.value.kind == "Bad Parameter" and caught.value.origin == "TMLPNetwork::ComputeError"


@pytest.mark.parametrize("text,message,line,column", [
    ("[DataSet]\n[Rows = 1]\n[Inputs = 2]\n[Data]\n1 x\n[~Data]\n[~DataSet]\n", "number-expected", 5, 3),
    ("[DataSet]\n[Inputs = Labels]\n[Rows = 1]\n", "No labels in inputs", 2, 1),
    ("[Nothing]\n", "[DATASET] expected", 1, 1),
])
def test_file_errors_carry_file_line_and_column(tmp_path, text, message, line, column):
    path = tmp_path / "bad.dat"
    path.write_text(text)
    with pytest.raises(netforge.FileFormatError) as caught:
        netforge.load_dataset(str(path))
    error = caught.value
    assert (error.message, error.file, error.line, error.column) == (message, str(path), line, column)
    assert str(error) == f"{path}:{line}:{column}: {message}"
    assert isinstance(error, ValueError) and isinstance(error, netforge.NetforgeError)


def test_header_errors_and_missing_files(tmp_path):
    (tmp_path / "h.dat").write_text("[DataSet]\n[Inputs = 1]\n[Rows = 1]\n[Inputs = 1]\n[Data]\n")
    with pytest.raises(netforge.FileFormatError) as caught:
        netforge.load_dataset(str(tmp_path / "h.dat"))
    assert caught.value.file == str(tmp_path / "h.dat") and caught.value.line is None
    with pytest.raises(FileNotFoundError):
        netforge.load_dataset(str(tmp_path / "missing.dat"))
    with pytest.raises(OSError):
        netforge.DataSet(np.zeros((1, 1))).save(str(tmp_path / "no" / "such" / "folder.dat"))


@pytest.mark.parametrize("make,error", [
    (lambda: netforge.DataSet(np.zeros(3)), ValueError),
    (lambda: netforge.DataSet(np.zeros((2, 2)), np.zeros((3, 1))), ValueError),
    (lambda: netforge.DataSet(np.zeros((2, 2)), labels=[{}]), ValueError),
    (lambda: netforge.DataSet(np.zeros((1, 2)), labels=[{"two words": 1.0}]), ValueError),
    (lambda: netforge.DataSet(np.zeros((1, 2)), labels=[{"a=b": 1.0}]), ValueError),
    (lambda: netforge.DataSet(np.zeros((1, 2)), labels=[{"~end": 1.0}]), ValueError),
    (lambda: netforge.DataSet(np.zeros((1, 2)), labels=[{"": 1.0}]), ValueError),
    (lambda: netforge.DataSet(np.zeros((1, 2)), labels=["abc"]), TypeError),
    (lambda: netforge.DataSet(np.zeros((1, 2)), labels=[{"a": "b"}]), (TypeError, RuntimeError)),
])
def test_bad_arrays_and_labels_are_refused(make, error):
    with pytest.raises(error):
        make()


def test_sets_the_file_cannot_hold_are_refused_before_writing(tmp_path):
    both = netforge.DataSet(np.zeros((1, 1)), np.zeros((1, 1)), labels=[{"a": 1.0}])
    with pytest.raises(ValueError, match="labels cannot have outputs"):
        both.save(str(tmp_path / "a.dat"))
    data = netforge.DataSet(np.zeros((2, 1)))
    with pytest.raises(ValueError, match="as many rows"):
        data.save(str(tmp_path / "b.dat"), results=netforge.DataSet(np.zeros((3, 1))))
    with pytest.raises(ValueError, match="results with labels"):
        data.save(str(tmp_path / "c.dat"), results=netforge.DataSet(np.zeros((2, 1)), labels=[{}, {}]))
    assert not list(tmp_path.iterdir())
