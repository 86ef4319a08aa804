"""The three analyses and the life estimate from Python equal the command line's JSON."""

import numpy as np
import pytest

import torvwy
from conftest import cli_json, run_cli

# (analysis, node, options): every amplitude mode, a block range, one and many partitions.
CASES = [
    ("peak", 1, dict(partitions=25)),
    ("peak", 3, dict(partitions=10, amplitude="full")),
    ("peak", 4, dict(partitions=7, amplitude=120.5, blocks=(5, 30))),
    ("range", 1, dict(partitions=25)),
    ("range", 4, dict(partitions=12, blocks=(1, 100))),
    ("range", 2, dict(partitions=1, amplitude="full")),
    ("rainflow", 2, dict(partitions=12)),
    ("rainflow", 1, dict(partitions=2000, amplitude="full")),
    ("rainflow", 3, dict(partitions=20, amplitude=40.0, blocks=(40, 3))),
]


def cli_args(options):
    args = ["--partitions", options.get("partitions", 25)]
    amplitude = options.get("amplitude", "auto")
    args += ["--amplitude", amplitude if isinstance(amplitude, str) else repr(amplitude)]
    if "blocks" in options:
        args += ["--blocks", "%d-%d" % options["blocks"]]
    return args


@pytest.mark.parametrize("analysis,node,options", CASES)
def test_node_equals_command_line(sample, analysis, node, options):
    python = getattr(torvwy, analysis)(torvwy.Node(sample, "demo", "1", node), **options)
    command = cli_json(analysis, "--data", sample, "--test", "demo", "--code", 1, "--node", node,
                       *cli_args(options))
    assert python.to_dict() == command
    assert python.analysis == analysis and not python.cancelled


@pytest.mark.parametrize("analysis", ["peak", "range", "rainflow"])
def test_every_thread_count_counts_alike(sample, analysis):
    node = torvwy.Node(sample, "demo", "1", "2")
    x = node.samples()
    count = getattr(torvwy, analysis)
    for source, extra in ((node, {}), (x, dict(frequency=node.info["frequency_hz"]))):
        every_core = count(source, **extra).to_dict()
        for threads in (1, 3):
            assert count(source, threads=threads, **extra).to_dict() == every_core
    with pytest.raises(ValueError):
        count(node, threads=0)


@pytest.mark.parametrize("method,weld_class,reliability", [
    ("actual", "B", 2), ("fitting", "F2", 2), ("actual", "W", 0), ("fitting", "D", 0.5)])
def test_fatigue_equals_command_line(sample, method, weld_class, reliability):
    result = torvwy.rainflow(torvwy.Node(sample, "demo", "1", 2), partitions=12,
                             fatigue=dict(method=method, weld_class=weld_class,
                                          reliability=reliability))
    command = cli_json("rainflow", "--data", sample, "--test", "demo", "--code", 1, "--node", 2,
                       "--partitions", 12, "--fatigue", method, "--class", weld_class,
                       "--reliability", reliability)
    assert result.to_dict() == command
    assert result.fatigue.total_damage == pytest.approx(
        float(np.sum(result.fatigue.D)), rel=1e-12)


def signals():
    # Whole blocks: the imported node counts its whole blocks, an array every value.
    rng = np.random.default_rng(18)
    walk = np.cumsum(rng.normal(0.0, 3.0, 5120)) + 40.0 * np.sin(np.arange(5120) / 37.0)
    return {
        "float64": walk,
        "float32": walk.astype(np.float32),
        "int16": np.round(walk * 50).astype(np.int16),
        "int32": np.round(walk * 5000).astype(np.int32),
    }


@pytest.mark.parametrize("dtype", ["float64", "float32", "int16", "int32"])
@pytest.mark.parametrize("analysis", ["peak", "range", "rainflow"])
def test_array_counts_as_its_imported_node(home, tmp_path, dtype, analysis):
    """An array of whole blocks in memory and the node `torvwy import` makes of the same values
    count alike."""
    values = signals()[dtype]
    column = tmp_path / "values.csv"
    column.write_text("".join(f"{float(v)!r}\n" for v in values))
    run_cli("import", "--input", column, "--data", tmp_path, "--test", "arr", "--code", 1,
            "--node", 1, "--rate", 200, "--eu", "MPa")
    command = cli_json(analysis, "--data", tmp_path, "--test", "arr", "--code", 1, "--node", 1,
                       "--partitions", 16)
    python = getattr(torvwy, analysis)(values, partitions=16, frequency=200.0, unit="MPa")
    assert python.to_dict() == command


def test_array_full_scale_sets_full_amplitude_and_smallest_range():
    # Ranges 0.5 and 4: with full scale 1000 EU the smallest counted range is 1 and "full" is
    # A = 2000; so only the range-4 cycles count, in partition 4 // (2000 / 500) = 0..
    wave = np.tile([0.0, 4.0, 3.5, 4.0], 512)
    result = torvwy.rainflow(wave, partitions=500, amplitude="full", frequency=1.0,
                             full_scale=1000.0)
    assert result.A == 2000.0
    assert result.counts[0] == pytest.approx(np.sum(result.counts))
    cycles = torvwy.rainflow_cycles(wave)
    big = cycles[cycles["range"] >= 1.0]
    assert np.sum(result.counts) == np.sum(big["count"])


def test_save_writes_the_command_lines_file(sample, tmp_path):
    node = torvwy.Node(sample, "demo", "1", 4)
    for analysis, extension in [("peak", ".PCM"), ("range", ".DCM"), ("rainflow", ".RFL")]:
        ours = tmp_path / ("ours" + extension)
        getattr(torvwy, analysis)(node, partitions=9).save(ours)
        run_cli(analysis, "--data", sample, "--test", "demo", "--code", 1, "--node", 4,
                "--partitions", 9, "--save", "--result-dir", tmp_path)
        theirs = tmp_path / ("demo1#4" + extension)
        assert ours.read_bytes() == theirs.read_bytes()
        reopened = torvwy.open_result(theirs)
        assert reopened.analysis == analysis and reopened.N == 9


def test_node_samples_and_blocks(sample):
    node = torvwy.Node(sample, "demo", "1", 4)
    info = node.info
    whole = node.samples()
    assert whole.dtype == np.float64 and whole.shape == (info["samples"],)
    assert np.array_equal(node.samples(3, 4), whole[2048:4096])
    assert np.array_equal(np.concatenate(list(node.blocks(7))), whole)
    # Node 4 has calibration factors other than 1: samples are raw / (c2 x c1).
    assert (info["c1"], info["c2"]) != (1.0, 1.0)
    rainflow = torvwy.rainflow(node)
    assert rainflow.envelope_max == pytest.approx(whole.max())


def test_write_node_reads_back(tmp_path):
    values = np.linspace(-3.0, 5.0, 1300)
    written = torvwy.write_node(tmp_path, "w", "1", "a", values, 512.0, unit="mm")
    assert written["padding"] == 1536 - 1300
    node = torvwy.Node(tmp_path, "w", "1", "a")
    back = node.samples()
    assert np.array_equal(back[:1300], values) and np.all(back[1300:] == 5.0)
    assert node.info["eu"] == "mm" and node.info["length_half_blocks"] == 3
    # int16 format: raw = EU x c1, and a sample s reads s x 10000 / 32768 raw units, so these
    # three values are kept exactly.
    torvwy.write_node(tmp_path, "w", "1", "b", np.array([0, 500, -1000], np.int16), 10.0,
                      format=951, c1=10.0)
    assert list(torvwy.Node(tmp_path, "w", "1", "b").samples()[:3]) == [0.0, 500.0, -1000.0]


def test_stats_rows_equal_command_line(sample):
    rows = torvwy.stats(sample, "demo", "1", "1-4")
    command = cli_json("stats", "--data", sample, "--test", "demo", "--codes", 1, "--nodes", "1-4")
    assert list(rows) == command["rows"]
    frame = rows.to_pandas()
    assert len(frame) == 4 and list(frame.columns) == list(command["rows"][0])
    peaks = torvwy.stats(sample, "demo", "1", "1-2", peak_peak=3, threads=1)
    command = cli_json("stats", "--data", sample, "--test", "demo", "--codes", 1, "--nodes", "1-2",
                       "--peak-peak", 3)
    assert list(peaks) == command["rows"] and peaks.content == 1
