"""Live counting: a Counter fed any split of a record equals the count of the whole, and a follow
of a node being recorded ends with the count of the finished node."""

import os
import pickle
import re
import signal
import struct
import threading
import time
import warnings

import numpy as np
import pytest

import torvwy

KINDS = ["peak", "range", "rainflow"]


def offline(kind, whole, **options):
    """The array function's fields, with the overview a counter can't hold: an empty envelope
    list (its extremes stay, and must equal the counter's)."""
    expected = getattr(torvwy, kind)(whole, **options).to_dict()
    assert expected["envelope"], "an offline count has an overview"
    expected["envelope"] = []
    return expected


def counted(kind, pieces, **options):
    counter = torvwy.Counter(kind, **options)
    for piece in pieces:
        counter.feed(piece)
    return counter


def small_signal(n, seed):
    # Few levels, so that plateaus and equal turning points fall on every split point.
    return np.random.default_rng(seed).integers(-3, 4, n).astype(np.float64)


@pytest.mark.parametrize("kind", KINDS)
def test_every_split_of_small_arrays_counts_the_whole(kind):
    options = dict(partitions=7, amplitude="full", full_scale=4.0)
    for n in range(2, 41):
        x = small_signal(n, n)
        expected = offline(kind, x, **options)
        splits = [(i,) for i in range(n + 1)]
        splits += [(i, j) for i in range(n + 1) for j in range(i, n + 1)]
        for cuts in splits:
            pieces = np.split(x, cuts)
            got = counted(kind, pieces, **options).result().to_dict()
            assert got == expected, (n, cuts)


def large_signals():
    rng = np.random.default_rng(25)
    n = 300_000
    walk = np.cumsum(rng.normal(0.0, 1.0, n)) + 30.0 * np.sin(np.arange(n) / 500.0)
    return [
        ("float64", walk),
        ("float32", walk[:123_457].astype(np.float32)),
        ("int16", np.round(walk * 20).astype(np.int16)),
        ("int32", np.round(np.resize(walk, 1_000_000) * 3000).astype(np.int32)),
    ]


def random_cuts(n, rng, count=40):
    """Cut points of every kind: random ones, empty and one-value pieces, block borders +-1."""
    cuts = list(rng.integers(0, n, count))
    cuts += [0, 1, 1, 2, 1023, 1024, 1025, 5 * 1024, n - 1, n]
    return sorted(int(c) for c in cuts if 0 <= c <= n)


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("dtype,x", large_signals(), ids=[d for d, _ in large_signals()])
def test_random_splits_of_large_arrays_count_the_whole(kind, dtype, x):
    rng = np.random.default_rng(len(x))
    for amplitude in ("full", float(np.max(np.abs(x))) * 0.8):
        counter = counted(kind, np.split(x, random_cuts(len(x), rng)), partitions=64,
                          amplitude=amplitude)
        assert counter.samples == len(x)
        # The first piece chose the full scale; the whole counts alike with that full scale.
        assert counter.result().to_dict() == offline(
            kind, x, partitions=64, amplitude=amplitude, full_scale=counter.full_scale)


@pytest.mark.parametrize("kind", KINDS)
def test_first_piece_decides_the_full_scale(kind):
    # Largest magnitude 5.0: the import's full scale is a power of two above 5.0 / 0.9.
    x = np.array([0.1, -0.2, 5.0, -4.0, 3.0, 0.5, -1.0, 2.0])
    whole_scale = 10000.0 / 2.0 ** np.floor(np.log2(0.9 * 10000.0 / 5.0))
    with_peak = counted(kind, [x[:3], x[3:]])
    assert with_peak.full_scale == whole_scale
    assert with_peak.result().to_dict() == offline(kind, x, amplitude="full")
    small_first = counted(kind, [x[:2], x[2:]])
    small_scale = 10000.0 / 2.0 ** np.floor(np.log2(0.9 * 10000.0 / 0.2))
    assert small_first.full_scale == small_scale
    assert small_first.result().to_dict() == offline(kind, x, amplitude="full",
                                                     full_scale=small_scale)
    assert torvwy.Counter(kind).full_scale is None
    assert torvwy.Counter(kind, full_scale=7.5).full_scale == 7.5


@pytest.mark.parametrize("kind", KINDS)
def test_result_midway_is_the_count_of_the_prefix(kind):
    x = large_signals()[0][1][:50_000]
    cuts = [1, 2, 700, 1024, 1025, 4096, 20_001, 49_999, 50_000]
    counter = torvwy.Counter(kind, partitions=30, amplitude=60.0, full_scale=100.0)
    done = 0
    for cut in cuts:
        counter.feed(x[done:cut])
        done = cut
        if done < 2:
            with pytest.raises(ValueError, match="two or more"):
                counter.result()
            continue
        assert counter.result().to_dict() == offline(kind, x[:done], partitions=30, amplitude=60.0,
                                                     full_scale=100.0), done


def test_envelope_extremes_are_the_samples_extremes():
    # Extremes in the middle of a block and in the last, partial one, negative and positive.
    x = np.zeros(3000)
    x[1500], x[2990], x[0] = -7.25, 11.5, 3.0
    result = counted("peak", [x[:1000], x[1000:]], amplitude="full").result()
    assert (result.envelope_max, result.envelope_min) == (11.5, -7.25)
    assert result.envelope.size == 0
    # One-signed records: the extremes are no 0 of an empty overview.
    result = counted("range", [x[1:10] + 20.0, x[10:40] + 20.0]).result()
    assert (result.envelope_max, result.envelope_min) == (20.0, 20.0)


@pytest.mark.parametrize("kind", KINDS)
def test_pickle_midstream_goes_on_to_the_whole(kind):
    x = large_signals()[2][1][:200_000]
    options = dict(partitions=40, amplitude="full", full_scale=1500.0)
    first = counted(kind, [x[:77_777]], **options)
    carried = pickle.loads(pickle.dumps(first))
    assert carried.samples == 77_777
    assert carried.result().to_dict() == first.result().to_dict()
    carried.feed(x[77_777:])
    first.feed(x[77_777:150_000])  # the original goes on as it was
    assert carried.result().to_dict() == offline(kind, x, **options)
    first.feed(x[150_000:])
    assert first.result().to_dict() == offline(kind, x, **options)


def test_pickle_before_the_first_piece_leaves_the_full_scale_to_it():
    x = np.array([2.0, -30.0, 25.0, -1.0, 4.0])
    carried = pickle.loads(pickle.dumps(torvwy.Counter("rainflow")))
    assert carried.full_scale is None
    carried.feed(x)
    assert carried.result().to_dict() == offline("rainflow", x, amplitude="full")


def test_a_damaged_state_is_refused():
    counter = counted("rainflow", [np.arange(5000.0) % 17], full_scale=20.0)
    state = counter.__getstate__()
    data, lowest, highest = state["count"]
    for damaged in (data[: len(data) // 2], b"", b"x" + data[1:]):
        broken = dict(state, count=(damaged, lowest, highest))
        with pytest.raises(ValueError, match="damaged"):
            torvwy.Counter("rainflow").__setstate__(broken)
    other = dict(state, options=dict(state["options"], kind="peak", keep_cycles=False))
    with pytest.raises(ValueError, match="damaged"):
        torvwy.Counter("peak").__setstate__(other)
    with pytest.raises(pickle.UnpicklingError):
        torvwy.Counter("peak").__setstate__(dict(state, version=99))


def _with_fed(data, fed, new_fed):
    """The state bytes with the samples fed they hold changed from `fed` to `new_fed`."""
    old = struct.pack("<q", fed)
    assert data.count(old) == 1
    return data.replace(old, struct.pack("<q", new_fed))


def _tampered(state, **changes):
    """A copy of `state` with fields replaced; options=dict(...) replaces single options."""
    out = dict(state)
    for name, value in changes.items():
        if name == "options":
            out["options"] = dict(state["options"], **value)
        else:
            out[name] = value
    return out


# Rainflow of 4999 samples cycling 0..16 with full scale 20: every field changed alone. Each
# makes a state the counter could never have written, so each is refused in one ValueError,
# and nothing of it is taken (the counter is unusable rather than silently restarted).
TAMPERS = [
    ("no count", lambda s, d, lo, hi: _tampered(s, count=None)),
    ("more samples", lambda s, d, lo, hi: _tampered(s, samples=5000)),
    ("no samples", lambda s, d, lo, hi: _tampered(s, samples=0)),
    ("samples as text", lambda s, d, lo, hi: _tampered(s, samples="4999")),
    ("samples negative", lambda s, d, lo, hi: _tampered(s, samples=-1)),
    ("samples a bool", lambda s, d, lo, hi: _tampered(s, samples=True)),
    ("huge extremes", lambda s, d, lo, hi: _tampered(s, count=(d, -1e308, 1e308))),
    ("wider maximum", lambda s, d, lo, hi: _tampered(s, count=(d, lo, hi * 2.0))),
    ("extremes swapped", lambda s, d, lo, hi: _tampered(s, count=(d, hi, lo))),
    ("extreme NaN", lambda s, d, lo, hi: _tampered(s, count=(d, float("nan"), hi))),
    ("extreme infinite", lambda s, d, lo, hi: _tampered(s, count=(d, lo, float("inf")))),
    ("extreme as text", lambda s, d, lo, hi: _tampered(s, count=(d, "0", hi))),
    ("count a list", lambda s, d, lo, hi: _tampered(s, count=[d, lo, hi])),
    ("count short", lambda s, d, lo, hi: _tampered(s, count=(d, lo))),
    ("three fed, many counted", lambda s, d, lo, hi: _tampered(
        s, count=(_with_fed(d, 4999, 3), lo, hi), samples=3)),
    ("none fed, some counted", lambda s, d, lo, hi: _tampered(
        s, count=(_with_fed(d, 4999, 0), 0.0, 0.0), samples=0)),
    ("other partitions", lambda s, d, lo, hi: _tampered(s, options=dict(partitions=26))),
    ("partitions 0", lambda s, d, lo, hi: _tampered(s, options=dict(partitions=0))),
    ("partitions as text", lambda s, d, lo, hi: _tampered(s, options=dict(partitions="25"))),
    ("other full scale", lambda s, d, lo, hi: _tampered(s, options=dict(full_scale=40.0))),
    ("full scale dropped", lambda s, d, lo, hi: _tampered(s, options=dict(full_scale=None))),
    ("other amplitude", lambda s, d, lo, hi: _tampered(s, options=dict(amplitude=30.0))),
    ("automatic amplitude", lambda s, d, lo, hi: _tampered(s, options=dict(amplitude="auto"))),
    ("other unit", lambda s, d, lo, hi: _tampered(s, options=dict(unit="MPa"))),
    ("a frequency", lambda s, d, lo, hi: _tampered(s, options=dict(frequency=50.0))),
    ("cycles kept", lambda s, d, lo, hi: _tampered(s, options=dict(keep_cycles=True))),
    ("unknown kind", lambda s, d, lo, hi: _tampered(s, options=dict(kind="cycles"))),
    ("an option more", lambda s, d, lo, hi: _tampered(s, options=dict(colour="red"))),
    ("an option less", lambda s, d, lo, hi: dict(s, options={
        k: v for k, v in s["options"].items() if k != "unit"})),
    ("a field more", lambda s, d, lo, hi: _tampered(s, extra=1)),
    ("options a list", lambda s, d, lo, hi: dict(s, options=[])),
]


@pytest.mark.parametrize("name,tamper", TAMPERS, ids=[name for name, _ in TAMPERS])
def test_a_tampered_state_is_refused_in_one_value_error(name, tamper):
    x = np.arange(4999.0) % 17
    counter = counted("rainflow", [x], full_scale=20.0)
    state = counter.__getstate__()
    data, lowest, highest = state["count"]
    assert (lowest, highest, state["samples"]) == (0.0, 16.0 * 500.0, 4999)  # raw: c1 = 10000/20
    restored = torvwy.Counter.__new__(torvwy.Counter)
    with pytest.raises(ValueError, match="damaged") as refused:
        restored.__setstate__(tamper(state, data, lowest, highest))
    assert "\n" not in str(refused.value)
    # The untouched state goes on: 4999 samples (294 ramps 0..16 and a last 0) turn 589 times,
    # 0 16 0 ... 16 0, which close 293 cycles of 16 and leave the residue 0 16 0: two halves.
    carried = torvwy.Counter.__new__(torvwy.Counter)
    carried.__setstate__(state)
    assert carried.result().counts.sum() == 293 + 2 * 0.5


def test_a_state_without_a_count_is_one_that_was_not_fed():
    fresh = torvwy.Counter("rainflow").__getstate__()
    assert fresh["count"] is None and fresh["samples"] == 0
    fed = counted("rainflow", [np.array([2.0, -30.0, 25.0])]).__getstate__()
    for state in (dict(fed, count=None), dict(fresh, samples=3)):
        with pytest.raises(ValueError, match="no count"):
            torvwy.Counter.__new__(torvwy.Counter).__setstate__(state)
    # Any partition count the constructor takes survives the trip (2000 or more count as 2000).
    with pytest.warns(UserWarning, match="counted with 2000 partitions"):
        wide = counted("range", [np.arange(100.0)], partitions=5000, full_scale=200.0)
    with warnings.catch_warnings():
        warnings.simplefilter("error")  # warned when made, not again when restored
        restored = pickle.loads(pickle.dumps(wide))
    assert restored.result().to_dict() == wide.result().to_dict()


def test_a_counter_never_set_up_says_so():
    bare = torvwy.Counter.__new__(torvwy.Counter)
    for use in (lambda: bare.feed(np.ones(3)), bare.result, bare.cycles, lambda: bare.samples,
                lambda: bare.full_scale, lambda: bare.kind, lambda: pickle.dumps(bare)):
        with pytest.raises(TypeError, match="never set up"):
            use()
    assert repr(bare) == "Counter(<never set up>)"


def test_cycles_equal_the_cycles_of_the_whole():
    x = large_signals()[0][1][:60_000]
    counter = torvwy.Counter("rainflow", keep_cycles=True)
    for cut, piece in enumerate(np.array_split(x, 9)):
        counter.feed(piece)
        if cut == 4:
            prefix = counter.samples
            np.testing.assert_array_equal(counter.cycles(), torvwy.rainflow_cycles(x[:prefix]))
    np.testing.assert_array_equal(counter.cycles(), torvwy.rainflow_cycles(x))
    carried = pickle.loads(pickle.dumps(counter))
    carried.feed(x[:1000])
    np.testing.assert_array_equal(carried.cycles(),
                                  torvwy.rainflow_cycles(np.concatenate([x, x[:1000]])))
    assert torvwy.Counter("rainflow", keep_cycles=True).cycles().size == 0
    with pytest.raises(ValueError, match="keep_cycles"):
        counted("rainflow", [x[:10]]).cycles()


def test_life_estimate_equals_the_arrays():
    x = large_signals()[0][1]
    options = dict(partitions=32, amplitude="full", full_scale=200.0, frequency=512.0)
    fatigue = dict(method="fitting", weld_class="F2", reliability=2)
    counter = counted("rainflow", np.array_split(x, 7), fatigue=fatigue, **options)
    expected = offline("rainflow", x, fatigue=fatigue, **options)
    assert counter.result().to_dict() == expected
    assert counter.result().fatigue.total_damage == expected["fatigue"]["total_damage"]


@pytest.mark.parametrize("make,error,match", [
    (lambda: torvwy.Counter("rainflow", amplitude="auto"), ValueError, "would move"),
    (lambda: torvwy.Counter("rainflow", amplitude="half"), ValueError, "neither full"),
    (lambda: torvwy.Counter("rainflow", amplitude=float("nan")), ValueError, "finite"),
    (lambda: torvwy.Counter("cycles"), ValueError, "peak, range, rainflow"),
    (lambda: torvwy.Counter("peak", keep_cycles=True), ValueError, "rainflow"),
    (lambda: torvwy.Counter("range", fatigue={}, frequency=1.0), ValueError, "rainflow"),
    (lambda: torvwy.Counter("rainflow", fatigue={}), ValueError, "frequency"),
    (lambda: torvwy.Counter("rainflow", fatigue=dict(weld_class="Q"), frequency=1.0), ValueError,
     "weld class"),
    (lambda: torvwy.Counter("peak", partitions=0), torvwy.TorvwyError, "partitions"),
    (lambda: torvwy.Counter("peak", full_scale=0.0), torvwy.TorvwyError, "full scale"),
    (lambda: torvwy.Counter("peak", frequency=-1.0), torvwy.TorvwyError, "frequency"),
])
def test_bad_setups_are_refused(make, error, match):
    with pytest.raises(error, match=match):
        make()


@pytest.mark.parametrize("kind", KINDS)
def test_a_refused_piece_leaves_the_counter_unchanged(kind):
    x = small_signal(500, 3)
    counter = counted(kind, [x[:100]], full_scale=4.0)
    before = counter.result().to_dict()
    bad_pieces = [
        (np.array([1.0, 2.0, 3.0, np.nan, 1.0]), "index 103 "),
        (np.array([np.inf]), "index 100 "),
        (np.array([-np.inf, 1.0], dtype=np.float32), "index 100 "),
        (np.ones((2, 3)), "1-D"),
        (np.ones(5, dtype=np.uint8), "uint8"),
        (np.ones(5, dtype=np.float16), "float16"),
        (np.ones(5, dtype=">f8"), "float64"),
    ]
    for piece, match in bad_pieces:
        with pytest.raises(ValueError, match=match):
            counter.feed(piece)
        assert counter.samples == 100
    assert counter.result().to_dict() == before
    counter.feed(x[100:])
    assert counter.result().to_dict() == offline(kind, x, amplitude="full", full_scale=4.0)
    for fed in ([], [x[:1]]):
        with pytest.raises(ValueError, match="two or more"):
            counted(kind, fed).result()


def test_strided_and_list_pieces_count_as_their_values():
    x = small_signal(4000, 9)
    counter = counted("rainflow", [x[:2000:2], list(x[2000:2100]), x[2100:][::-1]],
                      full_scale=4.0)
    whole = np.concatenate([x[:2000:2], x[2000:2100], x[2100:][::-1]])
    assert counter.result().to_dict() == offline("rainflow", whole, amplitude="full",
                                                 full_scale=4.0)


# A node being recorded, as an acquisition writes it: the .sts grows block by block, the .tsp
# is rewritten with the length written so far and the running mark until the record ends.

def write_recording(folder, title, sts_bytes, tsp_text, half_blocks, running):
    text = re.sub(r"^Length=\d+$", "Length=%d" % half_blocks, tsp_text, flags=re.M)
    if running:
        text += "\n[Recording]\nRunning=1\n"
    temporary = folder / (title + ".tsp.tmp")
    temporary.write_text(text)
    os.replace(temporary, folder / (title + ".tsp"))


def finished_node(tmp_path, x, frequency=256.0):
    """The finished node of `x` in tmp_path/final, and the bytes of its two files."""
    final = tmp_path / "final"
    torvwy.write_node(final, "rig", "1", "a", x, frequency, unit="MPa")
    return final, (final / "rig1#a.sts").read_bytes(), (final / "rig1#a.tsp").read_text()


class Recorder(threading.Thread):
    """Writes a node the way an acquisition does, `pieces` sample counts at a time (any size,
    partial blocks too), with a pause between them; `finish` ends the record properly."""

    def __init__(self, folder, sts, tsp, pieces, pause=0.05, finish=True, sample_size=8):
        super().__init__(daemon=True)
        self.folder, self.sts, self.tsp = folder, sts, tsp
        self.pieces, self.pause, self.finish, self.size = pieces, pause, finish, sample_size
        self.title = "rig1#a"
        folder.mkdir(parents=True, exist_ok=True)
        (folder / (self.title + ".sts")).write_bytes(b"")
        write_recording(folder, self.title, sts, tsp, 0, running=True)

    def run(self):
        written = 0
        with open(self.folder / (self.title + ".sts"), "ab") as out:
            for samples in self.pieces:
                time.sleep(self.pause)
                out.write(self.sts[written * self.size:(written + samples) * self.size])
                out.flush()
                written += samples
                write_recording(self.folder, self.title, self.sts, self.tsp, written // 512,
                                running=True)
        if self.finish:
            write_recording(self.folder, self.title, self.sts, self.tsp, written // 512,
                            running=False)


def recording_signal(n):
    rng = np.random.default_rng(n)
    return np.cumsum(rng.normal(0.0, 2.0, n)) + 50.0 * np.sin(np.arange(n) / 90.0)


def node_options(final):
    """Options of an array count that counts as the finished node does."""
    return dict(partitions=20, amplitude="full",
                full_scale=torvwy.Node(final, "rig", "1", "a").info["full_scale_eu"])


@pytest.mark.parametrize("kind", KINDS)
def test_follow_ends_with_the_count_of_the_finished_node(tmp_path, kind):
    x = recording_signal(20 * 1024)
    final, sts, tsp = finished_node(tmp_path, x)
    live = tmp_path / "live"
    # Partial blocks, several blocks at once, a block cut in three.
    pieces = [700, 1500, 3 * 1024 - 2200, 4096, 300, 300, 424, 12 * 1024]
    assert sum(pieces) == len(x)
    recorder = Recorder(live, sts, tsp, pieces)
    follow = torvwy.follow(live / "rig1#a.tsp", kind=kind, partitions=20, interval=0.02, idle=20)
    recorder.start()
    results = list(follow)
    recorder.join()
    assert [r.live for r in results] == [True] * (len(results) - 1) + [False]
    counted_blocks = [r.blocks_counted for r in results]
    assert counted_blocks == sorted(counted_blocks) and counted_blocks[-1] == 20
    expected = getattr(torvwy, kind)(torvwy.Node(final, "rig", "1", "a"), partitions=20,
                                     amplitude="full")
    assert results[-1].to_dict() == expected.to_dict()
    assert results[-1].samples_behind == 0
    for r in results[:-1]:
        # Every look counts whole blocks only: the record of the first blocks_counted of them.
        prefix = x[: r.blocks_counted * 1024]
        want = getattr(torvwy, kind)(prefix, **node_options(final)).to_dict()
        assert r.to_dict() == want, r.blocks_counted


def test_follow_takes_a_node_and_a_life_estimate(tmp_path):
    x = recording_signal(6 * 1024)
    final, sts, tsp = finished_node(tmp_path, x)
    live = tmp_path / "live"
    recorder = Recorder(live, sts, tsp, [2048, 2048, 2048])
    fatigue = dict(method="actual", weld_class="D")
    recorder.start()
    # An opened node whose .tsp still says Length=0 is followed from its names.
    results = list(torvwy.follow(torvwy.Node(live, "rig", "1", "a"), interval=0.02,
                                 fatigue=fatigue))
    recorder.join()
    final_result = torvwy.rainflow(torvwy.Node(final, "rig", "1", "a"), amplitude="full",
                                   fatigue=fatigue)
    assert results[-1].to_dict() == final_result.to_dict()
    assert all("fatigue" in r for r in results)


def _truncate(live, tsp):
    os.truncate(live / "rig1#a.sts", 1024 * 8)  # a writer's crash cut it short


def _replace(live, tsp):
    other = live / "other.sts"
    other.write_bytes((live / "rig1#a.sts").read_bytes())
    os.replace(other, live / "rig1#a.sts")


def _rewrite_and_finish(live, tsp):
    with open(live / "rig1#a.sts", "r+b") as sts:
        sts.seek(1500 * 8)
        sts.write(b"\x7f" * 8)
    write_recording(live, "rig1#a", b"", tsp, 6, running=False)


def _fifo(live, tsp):
    os.mkfifo(live / "pipe")
    os.replace(live / "pipe", live / "rig1#a.sts")


@pytest.mark.parametrize("damage,match", [
    (_truncate, "rig1#a.sts: the waveform was truncated"),
    (_replace, "rig1#a.sts: another file took the waveform's place"),
    (_rewrite_and_finish, "rig1#a.sts: samples already counted were rewritten"),
    (_fifo, r"rig1#a.sts: not a regular file \(a FIFO\)"),
])
def test_a_record_that_goes_wrong_ends_with_its_whole_blocks_and_the_reason(tmp_path, damage,
                                                                            match):
    x = recording_signal(8 * 1024)
    final, sts, tsp = finished_node(tmp_path, x)
    live = tmp_path / "live"
    recorder = Recorder(live, sts, tsp, [3 * 1024 + 100], finish=False)
    recorder.start()
    recorder.join()
    follow = torvwy.follow(str(live / "rig1#a"), kind="peak", interval=0.02, idle=20)
    first = next(follow)
    assert (first.live, first.blocks_counted, first.samples_behind) == (True, 3, 100)
    damage(live, tsp)
    last = next(follow)
    assert (last.live, last.blocks_counted) == (False, 3)
    options = dict(node_options(final), partitions=25)
    assert last.to_dict() == torvwy.peak(x[: 3 * 1024], **options).to_dict()
    with pytest.raises(torvwy.TorvwyError, match=match):
        next(follow)


def test_an_idle_record_ends_after_the_idle_time(tmp_path):
    x = recording_signal(4 * 1024)
    _, sts, tsp = finished_node(tmp_path, x)
    live = tmp_path / "live"
    Recorder(live, sts, tsp, [2 * 1024 + 10], finish=False, pause=0).run()
    results = list(torvwy.follow(live / "rig1#a.sts", kind="range", interval=0.02, idle=0.3))
    assert [(r.live, r.blocks_counted) for r in results] == [(True, 2), (False, 2)]
    # Nothing recorded at all: no result, and the end says so.
    empty = tmp_path / "empty"
    Recorder(empty, sts, tsp, [], finish=False)
    with pytest.raises(torvwy.TorvwyError):
        list(torvwy.follow(empty / "rig1#a", interval=0.02, idle=0.3))


def test_ctrl_c_stops_a_follow_that_waits(tmp_path):
    x = recording_signal(4 * 1024)
    _, sts, tsp = finished_node(tmp_path, x)
    live = tmp_path / "live"
    Recorder(live, sts, tsp, [1024], finish=False, pause=0).run()
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    try:
        follow = torvwy.follow(live / "rig1#a", interval=0.05, idle=600)
        assert next(follow).blocks_counted == 1
        # The record stays as it is: only Ctrl-C can end the wait now.
        threading.Timer(0.2, os.kill, (os.getpid(), signal.SIGINT)).start()
        with pytest.raises(KeyboardInterrupt):
            next(follow)
    finally:
        signal.signal(signal.SIGINT, previous)


@pytest.mark.parametrize("node,amplitude,error,match", [
    ("rig1#a", "auto", ValueError, "would move"),
    ("nohash", "full", ValueError, "not a node path"),
    ("missing1#a", "full", torvwy.TorvwyError, "missing1#a"),
])
def test_bad_follows_are_refused_at_once(tmp_path, node, amplitude, error, match):
    with pytest.raises(error, match=match):
        torvwy.follow(tmp_path / node, amplitude=amplitude)
