"""Failures reach Python as exceptions with the core's message; Ctrl-C cancels a pass."""

import os
import pathlib
import shutil
import signal
import threading
import time

import numpy as np
import pytest

import torvwy
from conftest import ROOT, run_cli


@pytest.mark.parametrize("name,keep", [
    ("rainflow_current.RFL", 100), ("peak_current.PCM", 900), ("range_current.DCM", 40),
    ("stats_current.aps", 30)])
def test_damaged_result_file_raises_the_core_message(home, tmp_path, name, keep):
    damaged = tmp_path / name
    damaged.write_bytes((ROOT / "tests" / "data" / name).read_bytes()[:keep])
    with pytest.raises(torvwy.TorvwyError) as raised:
        torvwy.open_result(damaged)
    command = run_cli("open", damaged, check=False)
    assert command.returncode != 0
    assert command.stderr.strip() == "torvwy: " + str(raised.value)


def test_damaged_node_raises(sample, tmp_path):
    for suffix in (".tsp", ".sts"):
        shutil.copy(sample / f"demo1#2{suffix}", tmp_path / f"cut1#2{suffix}")
    sts = tmp_path / "cut1#2.sts"
    os.truncate(sts, sts.stat().st_size // 3)  # shorter than the record
    node = torvwy.Node(tmp_path, "cut", "1", "2")
    for analysis in (torvwy.peak, torvwy.range, torvwy.rainflow, torvwy.rainflow_cycles):
        with pytest.raises(torvwy.TorvwyError, match="cut1#2"):
            analysis(node)
    with pytest.raises(torvwy.TorvwyError):
        torvwy.Node(tmp_path, "none", "1", "2")
    (tmp_path / "bad1#1.tsp").write_text("[Sampling]\nFrequency=abc\n")
    (tmp_path / "bad1#1.sts").write_bytes(b"")
    with pytest.raises(torvwy.TorvwyError):
        torvwy.Node(tmp_path, "bad", "1", "1")


@pytest.mark.parametrize("bad", [
    dict(amplitude="most"), dict(partitions=0), dict(frequency=None), dict(frequency=-1.0)])
def test_bad_arguments_raise(bad):
    options = dict(frequency=10.0)
    options.update(bad)
    with pytest.raises((ValueError, torvwy.TorvwyError)):
        torvwy.rainflow(np.zeros(2048), **options)
    with pytest.raises(ValueError):
        torvwy.rainflow(np.zeros((2, 1024)), frequency=10.0)
    with pytest.raises(ValueError):
        torvwy.peak(np.zeros(2048, dtype=np.uint8), frequency=10.0)


def test_short_array_is_refused():
    with pytest.raises(torvwy.TorvwyError, match="block"):
        torvwy.rainflow(np.arange(500.0), frequency=1.0)  # one half block


@pytest.fixture(scope="module")
def long_node(tmp_path_factory):
    """12 M int16 samples (24 MB) in which every sample turns."""
    data = tmp_path_factory.mktemp("long")
    swings = np.array([0, 9000, 1000, 8000, 2000, 7000], np.int16)
    torvwy.write_node(data, "long", "1", "1", np.tile(swings, 2_000_000), 1000.0, format=951,
                      c1=1.0)
    return torvwy.Node(data, "long", "1", "1")


@pytest.fixture(autouse=True)
def python_handles_ctrl_c():
    """Python raises KeyboardInterrupt only when SIGINT was not ignored at its start, and a
    background job (CI, nohup) starts with it ignored: the tests install Python's own handler."""
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    yield
    signal.signal(signal.SIGINT, previous)


def bytes_read():
    with open("/proc/self/io") as io:
        return next(int(line.split()[1]) for line in io if line.startswith("rchar:"))


def interrupt_while_reading():
    """Sends Ctrl-C to this process once a pass has read 2 MB more: then it is under way, and
    the record is long enough that it is still running."""
    start = bytes_read()

    def watch():
        deadline = time.monotonic() + 30.0
        while bytes_read() - start < 2 << 20 and time.monotonic() < deadline:
            time.sleep(0.001)
        os.kill(os.getpid(), signal.SIGINT)

    thread = threading.Thread(target=watch)
    thread.start()
    return thread


@pytest.mark.parametrize("analysis", ["rainflow", "peak", "rainflow_cycles"])
def test_ctrl_c_cancels_the_pass_and_saves_nothing(long_node, tmp_path, analysis):
    target = tmp_path / "interrupted.RFL"
    watcher = interrupt_while_reading()
    with pytest.raises(KeyboardInterrupt):
        result = getattr(torvwy, analysis)(long_node)
        if analysis != "rainflow_cycles":
            result.save(target)
    watcher.join()
    assert not target.exists() and list(tmp_path.iterdir()) == []
    # The interpreter goes on: the next pass counts in full.
    assert torvwy.rainflow(long_node, blocks=(1, 10)).counts.sum() > 0


def interrupt_while_counting():
    """Sends Ctrl-C to this process once it has spent 50 ms of processor time more: an array's
    pass reads no file, and its record is long enough that it is still running then."""
    start = time.process_time()

    def watch():
        deadline = time.monotonic() + 30.0
        while time.process_time() - start < 0.05 and time.monotonic() < deadline:
            time.sleep(0.001)
        os.kill(os.getpid(), signal.SIGINT)

    thread = threading.Thread(target=watch)
    thread.start()
    return thread


def test_ctrl_c_during_an_array_pass_writes_nothing(tmp_path, monkeypatch):
    monkeypatch.setenv("TMPDIR", str(tmp_path))
    import tempfile
    monkeypatch.setattr(tempfile, "tempdir", None)
    x = np.tile(np.array([0.0, 9.0, 1.0, 8.0, 2.0, 7.0]), 4_000_000)
    watcher = interrupt_while_counting()  # the array is counted in place
    with pytest.raises(KeyboardInterrupt):
        torvwy.rainflow(x, frequency=10.0)
    watcher.join()
    assert list(pathlib.Path(tmp_path).iterdir()) == []
