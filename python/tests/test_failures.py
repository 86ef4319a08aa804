"""Failures reach Python as exceptions with the core's message; Ctrl-C cancels a pass."""

import os
import shutil
import signal
import threading
import traceback
import warnings

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


@pytest.mark.parametrize("name", [
    "peak_current.PCM", "peak_older_v1.PCM", "peak_older_v4.PCM", "range_current.DCM",
    "range_older_kind0.DCM", "range_older_kind4.DCM", "rainflow_current.RFL",
    "rainflow_legacy.RFL"])
def test_an_opened_result_is_not_saved_again(home, tmp_path, name):
    # An older layout saved in the current one would hold values that contradict each other
    # (totals without their peaks and valleys, a stand-in block range), which open then refuses.
    opened = torvwy.open_result(ROOT / "tests" / "data" / name)
    target = tmp_path / ("again" + os.path.splitext(name)[1])
    with pytest.raises(torvwy.TorvwyError, match="not saved again; nothing was written"):
        opened.save(target)
    assert os.listdir(tmp_path) == []


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
    dict(amplitude="most"), dict(partitions=0), dict(frequency=0.0), dict(frequency=-1.0)])
def test_bad_arguments_raise(bad):
    options = dict(frequency=10.0)
    options.update(bad)
    with pytest.raises((ValueError, torvwy.TorvwyError)):
        torvwy.rainflow(np.zeros(2048), **options)
    with pytest.raises(ValueError):
        torvwy.rainflow(np.zeros((2, 1024)), frequency=10.0)
    with pytest.raises(ValueError):
        torvwy.peak(np.zeros(2048, dtype=np.uint8), frequency=10.0)


@pytest.fixture(autouse=True)
def python_handles_ctrl_c():
    """Python raises KeyboardInterrupt only when SIGINT was not ignored at its start, and a
    background job (CI, nohup) starts with it ignored: the tests install Python's own handler."""
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    yield
    signal.signal(signal.SIGINT, previous)


def waiting_record(values):
    """A record of `values` whose reader, the first time a worker of a pass calls it, waits
    until Ctrl-C has been sent and Python has taken it: the pass can't end before. Returns the
    node and a thread that sends Ctrl-C once the reader waits."""
    asked = threading.Event()
    taken = threading.Event()

    def read(first, count):
        if threading.current_thread() is not threading.main_thread() and not asked.is_set():
            asked.set()
            assert taken.wait(60.0), "Ctrl-C was never taken"
        return values[first:first + count]

    def on_ctrl_c(signum, frame):
        taken.set()
        raise KeyboardInterrupt

    def send():
        assert asked.wait(60.0), "the pass never read"
        os.kill(os.getpid(), signal.SIGINT)

    signal.signal(signal.SIGINT, on_ctrl_c)
    node = torvwy.Node.__new__(torvwy.Node)
    node._node = torvwy._torvwy.Node.supplied(read, values.shape[0])
    return node, threading.Thread(target=send), taken


@pytest.mark.parametrize("analysis", ["rainflow", "peak", "range"])
def test_ctrl_c_cancels_the_pass_and_writes_nothing(tmp_path, monkeypatch, analysis):
    monkeypatch.setenv("TMPDIR", str(tmp_path))  # where a rainflow residue would spill
    values = np.tile(np.array([0.0, 9.0, 1.0, 8.0, 2.0, 7.0]), 100_000)
    node, sender, taken = waiting_record(values)
    target = tmp_path / "interrupted.RFL"
    sender.start()
    with pytest.raises(KeyboardInterrupt) as raised:
        getattr(torvwy, analysis)(node, threads=2).save(target)
    sender.join()
    assert taken.is_set()
    # The interrupt is the cancelled pass's, raised after it ended, not the handler's own.
    assert not any(frame.name == "on_ctrl_c" for frame in traceback.extract_tb(raised.tb))
    assert list(tmp_path.iterdir()) == []
    # The interpreter goes on: the next pass counts in full.
    assert getattr(torvwy, analysis)(node, threads=2).to_dict()["cancelled"] is False


def test_ctrl_c_cancels_a_cycle_list():
    """Ctrl-C stops the one pass that lists a node's cycles, with the pass's own
    KeyboardInterrupt after it ended. The record is long (a billion samples, a triangle per 64
    blocks) so that the pass is still running when Ctrl-C comes. A Ctrl-C that Python would take
    inside the reader (its own code, which the pass can't cancel) is sent again."""
    pattern = np.concatenate([np.linspace(-1.0, 1.0, 32768), np.linspace(1.0, -1.0, 32768)])
    samples = 1024 * 2 ** 20
    reads = []
    go = threading.Event()
    finished = []

    def read(first, count):
        if not reads:
            go.set()
        reads.append(first)
        return pattern[:count]

    def in_reader(frame):
        while frame is not None:
            if frame.f_code is read.__code__:
                return True
            frame = frame.f_back
        return False

    def on_ctrl_c(signum, frame):
        if in_reader(frame):
            go.set()
            return
        raise KeyboardInterrupt

    def send():
        # Runs with the GIL, so the pass is never in Python code while Ctrl-C is sent.
        while True:
            go.wait()
            go.clear()
            if finished:
                return
            os.kill(os.getpid(), signal.SIGINT)

    signal.signal(signal.SIGINT, on_ctrl_c)
    sender = threading.Thread(target=send)
    sender.start()
    node = torvwy.Node.__new__(torvwy.Node)
    node._node = torvwy._torvwy.Node.supplied(read, samples)
    try:
        with pytest.raises(KeyboardInterrupt) as raised:
            torvwy.rainflow_cycles(node)
    finally:
        finished.append(True)
        go.set()
        sender.join()
    assert not any(frame.name == "on_ctrl_c" for frame in traceback.extract_tb(raised.tb))
    assert 1 <= len(reads) < samples // 65536
    # The interpreter goes on: the next list is whole.
    assert torvwy.rainflow_cycles(np.array([-2.0, 1, -3, 5, -1, 3, -4, 4, -2]))["count"].sum() == 4


@pytest.mark.parametrize("amplitude,match", [
    (0, "not a finite number above 0"), (-1.0, "not a finite number above 0"),
    (float("nan"), "not a finite number above 0"), (float("inf"), "not a finite number above 0"),
    (1e308, "partition width infinite"), (5e-324, "partition width too small: A / 25 is below")])
def test_an_amplitude_no_partition_can_be_made_of_raises(amplitude, match):
    ramp = np.tile(np.arange(64.0), 32)
    for analysis in (torvwy.peak, torvwy.range, torvwy.rainflow):
        with pytest.raises(torvwy.TorvwyError, match=match):
            analysis(ramp, amplitude=amplitude, frequency=10.0)
    with pytest.raises((ValueError, torvwy.TorvwyError)):
        torvwy.Counter("rainflow", amplitude=amplitude, frequency=10.0)


def test_partitions_above_2000_count_with_2000_and_warn():
    ramp = np.tile(np.arange(64.0), 32)
    # The command line's note, word for word.
    text = "--partitions 2500 is above 2000; counted with 2000 partitions"
    for analysis in (torvwy.peak, torvwy.range, torvwy.rainflow):
        with pytest.warns(UserWarning) as caught:
            result = analysis(ramp, partitions=2500, amplitude=100.0, frequency=10.0)
        assert result.N == 2000
        assert [str(w.message) for w in caught] == [text]
        assert [w.filename for w in caught] == [__file__]  # the caller's line
    for make in (lambda: torvwy.Counter("rainflow", partitions=2500, amplitude=100.0),
                 lambda: torvwy.Counter("peak", partitions=2001, amplitude=100.0)):
        with pytest.warns(UserWarning, match="is above 2000; counted with 2000") as caught:
            make()
        assert [w.filename for w in caught] == [__file__]
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert torvwy.peak(ramp, partitions=2000, amplitude=100.0, frequency=10.0).N == 2000


def test_a_constant_record_says_so_under_the_automatic_amplitude():
    # Range and rainflow scale by the span (0), a peak counting by the largest peak (here 0).
    for analysis, level in ((torvwy.range, 3.0), (torvwy.rainflow, -2.5), (torvwy.peak, 0.0)):
        with pytest.raises(torvwy.TorvwyError, match=f"the record is constant at {level:g} EU"):
            analysis(np.full(4096, level), frequency=10.0, partitions=8)
    # A peak counting of a record wholly below 0 has no largest peak above 0 to scale by.
    with pytest.raises(torvwy.TorvwyError, match=r"largest peak -[0-9.]+ EU is not above 0"):
        torvwy.peak(-2.0 + np.sin(np.arange(4096) / 9.0), frequency=10.0)
    # The full scale or a value still count it.
    result = torvwy.range(np.full(4096, 3.0), amplitude=8.0, frequency=10.0, partitions=8)
    assert result.A == 8.0


def test_write_node_refuses_values_that_are_not_numbers(tmp_path):
    for bad, index in ((np.nan, 5), (np.inf, 0), (-np.inf, 1023)):
        values = np.linspace(-1.0, 1.0, 1024)
        values[index] = bad
        with pytest.raises(torvwy.TorvwyError,
                           match=f"the sample at index {index} is not a finite number"):
            torvwy.write_node(tmp_path, "nan", "1", "1", values, 100.0)
        assert not list(tmp_path.iterdir())  # nothing written
    torvwy.write_node(tmp_path, "ok", "1", "1", np.linspace(-1.0, 1.0, 1024), 100.0)


def test_an_absurd_length_is_the_short_file_not_memory(sample, tmp_path):
    for suffix in (".tsp", ".sts"):
        shutil.copy(sample / f"demo1#1{suffix}", tmp_path / f"huge1#1{suffix}")
    tsp = tmp_path / "huge1#1.tsp"
    text = tsp.read_bytes()
    start = text.index(b"Length=") + len(b"Length=")
    end = text.index(b"\n", start)
    tsp.write_bytes(text[:start] + b"1073741824" + text[end:])  # 2^39 samples, 4 TiB as doubles
    node = torvwy.Node(tmp_path, "huge", "1", "1")
    with pytest.raises(torvwy.TorvwyError, match="huge1#1"):
        node.samples()


@pytest.mark.parametrize("threads", [-1, 257, 10000])
def test_stats_takes_the_threads_of_the_command_line(sample, threads):
    with pytest.raises(ValueError, match="0 to 256"):
        torvwy.stats(sample, "demo", "1", "1", threads=threads)
    assert len(torvwy.stats(sample, "demo", "1", "1", threads=0)) == 1


@pytest.mark.parametrize("options,args", [
    (dict(partitions=0), ["--partitions", "0"]),
    (dict(amplitude="half"), ["--amplitude", "half"]),
    (dict(amplitude=-2.5), ["--amplitude", "-2.5"]),
    (dict(amplitude=1e308, partitions=1), ["--amplitude", "1e308", "--partitions", "1"]),
])
def test_a_bad_request_is_refused_in_the_command_lines_words(sample, options, args):
    node = torvwy.Node(sample, "demo", "1", "1")
    done = run_cli("rainflow", "--data", sample, "--test", "demo", "--code", 1, "--node", 1, *args,
                   check=False)
    assert done.returncode == 1
    line = done.stderr.strip().removeprefix("torvwy: ")
    for analysis in (torvwy.peak, torvwy.rainflow):
        with pytest.raises(torvwy.RequestError) as raised:
            analysis(node, **options)
        assert str(raised.value) == line
        # Either of the exceptions a caller may already catch takes it.
        assert isinstance(raised.value, ValueError) and isinstance(raised.value, torvwy.TorvwyError)
