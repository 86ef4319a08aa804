"""The three analyses and the life estimate from Python equal the command line's JSON."""

import json

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


# The lists of numbers of each analysis that are counts of whole events (integers).
INTEGER_LISTS = {
    "peak": {("two_way", "peak"), ("two_way", "valley"), ("two_way", "total"),
             ("one_way", "peak"), ("one_way", "valley"), ("one_way", "total")},
    "range": {("two_way",), ("one_way",)},
    "rainflow": set(),
}


def assert_fields_equal_json(fields, json_object, path, integer_lists):
    """Every field equals its JSON value: same keys in the same order, lists as numpy arrays of
    their length (null as NaN), objects as Fields, scalars of the JSON's own type."""
    assert list(fields.keys()) == list(json_object), path
    for key, expected in json_object.items():
        value, where = fields[key], path + (key,)
        if isinstance(expected, dict):
            assert isinstance(value, torvwy._results.Fields), where
            assert_fields_equal_json(value, expected, where, integer_lists)
        elif isinstance(expected, list):
            assert isinstance(value, np.ndarray) and value.shape == (len(expected),), where
            assert value.dtype.kind == ("i" if where[1:] in integer_lists else "f"), where
            assert [None if np.isnan(v) else v for v in value.tolist()] == expected, where
        else:
            assert type(value) is type(expected) and value == expected, where


def field_sources(sample, tmp_path):
    """(analysis, result) pairs of every kind of source: a node, an array, a reopened file,
    and the two life estimates."""
    node = torvwy.Node(sample, "demo", "1", 2)
    walk = signals()["float64"][:3000]
    out = []
    for analysis in ("peak", "range", "rainflow"):
        count = getattr(torvwy, analysis)
        out.append((analysis, count(node, partitions=13)))
        out.append((analysis, count(walk, partitions=7, amplitude=400.0)))
        saved = tmp_path / f"saved-{analysis}"
        count(node, partitions=5, blocks=(3, 9)).save(saved)
        out.append((analysis, torvwy.open_result(saved)))
    for method in ("actual", "fitting"):
        out.append(("rainflow", torvwy.rainflow(node, partitions=12,
                                                fatigue=dict(method=method, weld_class="F2"))))
    return out


def test_every_field_equals_its_json_value(sample, tmp_path):
    for analysis, result in field_sources(sample, tmp_path):
        json_object = result.to_dict()
        counted = {key: value for key, value in json_object.items() if key != "fatigue"}
        assert counted == json.loads(result._handle.json())
        assert_fields_equal_json(result, json_object, (analysis,), INTEGER_LISTS[analysis])
        n = result.N
        counts = ([result.two_way.peak, result.one_way.total] if analysis == "peak" else
                  [result.two_way, result.one_way] if analysis == "range" else [result.counts])
        assert all(c.shape == (n,) for c in counts), analysis
        if "fatigue" in result:
            assert all(result.fatigue[k].shape == (n,) for k in "PLD")
            assert result.fatigue.to_dict() == json_object["fatigue"]
        # to_dict() hands out a copy: changing it changes neither the fields nor the next copy.
        json_object["N"] = -1
        assert result.to_dict()["N"] == n == result.N


def test_to_dict_is_the_json_object_with_null_for_a_non_finite_value():
    # A plain Fields of a JSON object: its lists turn into arrays with NaN for null, and
    # to_dict() gives the object back.
    raw = {"a": [1, None, 2.5], "b": None, "c": {"d": [None]}}
    fields = torvwy._results.Fields(raw)
    assert np.isnan(fields.a[1]) and fields.a[2] == 2.5 and fields.b is None
    assert np.isnan(fields.c.d[0])
    assert fields.to_dict() == raw and fields.c.to_dict() == raw["c"]


@pytest.mark.parametrize("analysis", ["peak", "range", "rainflow"])
def test_large_result_is_bound_without_json(sample, monkeypatch, analysis):
    """With N = 2000 the fields come from the record, not from its JSON text, and equal the
    command line's JSON."""
    calls = []

    def no_json(handle, *args):
        calls.append(args)
        raise AssertionError("the fields were read through JSON text")

    monkeypatch.setattr(torvwy._torvwy.ResultFile, "json", no_json)
    monkeypatch.setattr(torvwy._torvwy.ResultFile, "fatigue_json", no_json)
    options = dict(partitions=2000, amplitude="full")
    if analysis == "rainflow":
        options["fatigue"] = dict(method="actual", weld_class="D")
    result = getattr(torvwy, analysis)(torvwy.Node(sample, "demo", "1", 1), **options)
    args = ["--partitions", 2000, "--amplitude", "full"]
    if analysis == "rainflow":
        args += ["--fatigue", "actual", "--class", "D"]
    command = cli_json(analysis, "--data", sample, "--test", "demo", "--code", 1, "--node", 1,
                       *args)
    if analysis == "peak":
        for way in ("two_way", "one_way"):
            for key in ("peak", "valley", "total"):
                assert result[way][key].tolist() == command[way][key], (way, key)
        assert result.two_way.total.sum() > 0
    elif analysis == "range":
        assert result.two_way.tolist() == command["two_way"]
        assert result.one_way.tolist() == command["one_way"]
        assert result.one_way.sum() > 0
    else:
        assert result.counts.tolist() == command["counts"] and result.counts.sum() > 0
        assert result.fatigue.D.tolist() == command["fatigue"]["D"]
        assert result.fatigue.total_damage == command["fatigue"]["total_damage"]
    assert result.envelope.tolist() == command["envelope"]
    assert result.N == 2000 and result.A == command["A"]
    assert calls == []
    monkeypatch.undo()
    command.pop("result_file", None)
    assert result.to_dict() == command
