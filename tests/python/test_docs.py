"""The tour of docs/python.md runs as it stands."""
import importlib.util
import pathlib
import re

import pytest

DOC = pathlib.Path(__file__).resolve().parents[2] / "docs" / "python.md"
TORCH_MARK = "# Needs PyTorch."


def code_blocks():
    return re.findall(r"```python\n(.*?)```", DOC.read_text(), flags=re.S)


def test_the_tour_runs(tmp_path, monkeypatch, capsys):
    monkeypatch.chdir(tmp_path)
    blocks = code_blocks()
    assert len(blocks) >= 5
    namespace = {}
    skipped = 0
    for block in blocks:
        if block.startswith(TORCH_MARK) and importlib.util.find_spec("torch") is None:
            skipped += 1
            continue
        exec(compile(block, str(DOC), "exec"), namespace)
    assert (tmp_path / "xor.wgt").exists() and "rms error:" in capsys.readouterr().out
    if skipped:
        pytest.skip("PyTorch is not installed: its part of the tour did not run")


def test_the_tour_network_is_the_tools(tmp_path, monkeypatch, tool):
    result = tool(tmp_path, "Layers = 3\nLayerSize = 2 3 1\nBias = true\nMinWeight = -1\nMaxWeight = 1\n"
                            "FileName = tool.wgt\nSeed = 42\n")
    assert result.returncode == 0
    monkeypatch.chdir(tmp_path)
    exec(code_blocks()[0], {})
    assert (tmp_path / "xor.wgt").read_bytes() == (tmp_path / "tool.wgt").read_bytes()
