"""S-N curves, life estimates with other curves and mean corrections, damage over time and
damage-equivalent loads, against hand computations."""

import math
import pickle

import numpy as np
import pytest

import torvwy
from conftest import cli_json, run_cli

# EN 1993-1-9 category 71: slope 3 through 71 at 2e6 cycles, knee at 5e6, slope 5 to 1e8.
KNEE_71 = 71.0 * (2e6 / 5e6) ** (1 / 3)  # 52.3 = 0.737 x 71
CUTOFF_71 = KNEE_71 * (5e6 / 1e8) ** (1 / 5)  # 28.7


def n_71(s):
    """Cycles to failure of category 71, written out piece by piece."""
    if s < CUTOFF_71:
        return math.inf
    if s < KNEE_71:
        return 5e6 * (KNEE_71 / s) ** 5
    return 2e6 * (71.0 / s) ** 3


def n_f2(s, d=2.0):
    """BS 7608 class F2: log10 N = 12.09 - d x 0.2279 - 3 log10 S."""
    return 10 ** (12.09 - d * 0.2279 - 3 * math.log10(s))


def test_detail_category_at_its_knee_cut_off_and_either_side():
    curve = torvwy.SNCurve("en1993:71")
    assert (curve.name, curve.kind, curve.category, curve.unit) == (
        "en1993:71", "detail_category", 71, "N/mm^2")
    assert curve.knee_range == pytest.approx(0.737 * 71, rel=1e-3)
    assert curve.knee_range == pytest.approx(KNEE_71, rel=1e-12)
    assert curve.cutoff_range == pytest.approx(CUTOFF_71, rel=1e-12)
    points = [
        (71.0, 2e6),
        (142.0, 2e6 / 8),  # slope 3: twice the range, an eighth of the life
        (KNEE_71, 5e6),
        (KNEE_71 * 1.001, 5e6 / 1.001 ** 3),
        (KNEE_71 / 1.001, 5e6 * 1.001 ** 5),
        (KNEE_71 / 2 ** 0.2, 1e7),  # slope 5: a range 2^(1/5) lower lives twice as long
        (CUTOFF_71, 1e8),
        (CUTOFF_71 * 1.001, 1e8 / 1.001 ** 5),
        (CUTOFF_71 * 0.999, math.inf),
        (1.0, math.inf),
    ]
    for s, expected in points:
        got = curve.cycles_to_failure(s)
        assert isinstance(got, float)
        assert got == pytest.approx(expected, rel=1e-9), s
    ranges = np.array([[s for s, _ in points[:5]], [s for s, _ in points[5:]]])
    lives = curve.cycles_to_failure(ranges)
    assert lives.shape == ranges.shape
    assert lives.ravel().tolist() == pytest.approx([n for _, n in points], rel=1e-9)
    assert np.isnan(curve.cycles_to_failure(np.array([0.0, -1.0, np.nan]))).all()


def test_weld_class_and_curves_of_the_users():
    f2 = torvwy.SNCurve("bs7608:F2", reliability=1)
    assert (f2.kind, f2.weld_class, f2.reliability, f2.slope, f2.knee_range) == (
        "weld_class", "F2", 1.0, 3.0, None)
    assert f2.cycles_to_failure(100.0) == pytest.approx(n_f2(100.0, 1.0), rel=1e-12)
    assert torvwy.SNCurve("bs7608:F2").cycles_to_failure(80.0) == pytest.approx(n_f2(80.0))

    # A two-slope curve of the user's, given by its pieces and by a file, the same.
    pieces = dict(reference_range=90.0, reference_cycles=2e6, slope=3.0, knee_cycles=1e7,
                  slope2=5.0, cutoff_cycles=1e8)
    knee = 90.0 * (2e6 / 1e7) ** (1 / 3)
    cutoff = knee * (1e7 / 1e8) ** (1 / 5)
    mine = torvwy.SNCurve(**pieces, unit="MPa", name="butt weld")
    assert (mine.name, mine.unit, mine.kind, mine.slope2) == ("butt weld", "MPa", "file", 5.0)
    assert (mine.knee_range, mine.cutoff_range) == (pytest.approx(knee), pytest.approx(cutoff))
    # The damage per cycle is continuous at the knee: both pieces give N_k there.
    for s in (knee * (1 - 1e-12), knee, knee * (1 + 1e-12)):
        assert mine.cycles_to_failure(s) == pytest.approx(1e7, rel=1e-9)
    assert mine.cycles_to_failure(60.0) == pytest.approx(2e6 * (90 / 60) ** 3)
    assert mine.cycles_to_failure(45.0) == pytest.approx(1e7 * (knee / 45) ** 5)
    assert mine.cycles_to_failure(cutoff * 0.99) == math.inf
    # Without a second slope the curve ends at its knee.
    ends = torvwy.SNCurve(reference_range=90.0, reference_cycles=2e6, slope=3.0, knee_cycles=1e7)
    assert ends.cycles_to_failure(knee * 1.01) < 1e7 and ends.cycles_to_failure(knee * 0.99) == math.inf
    assert ends.slope2 is None and ends.cutoff_cycles is None
    assert pickle.loads(pickle.dumps(mine)).cycles_to_failure(45.0) == mine.cycles_to_failure(45.0)


def test_curve_file(tmp_path):
    path = tmp_path / "weld.ini"
    path.write_text("; my weld\n[Curve]\nName=ground weld\nUnit=MPa\nReferenceRange=90\n"
                    "ReferenceCycles=2e6\nSlope=3\nKneeCycles=1e7\nSlope2=5\nCutoffCycles=1e8\n")
    for curve in (torvwy.SNCurve.from_file(path), torvwy.SNCurve(path), torvwy.SNCurve(str(path))):
        assert (curve.name, curve.unit, curve.knee_cycles) == ("ground weld", "MPa", 1e7)
        assert curve.cycles_to_failure(90.0) == pytest.approx(2e6)
    (tmp_path / "bad.ini").write_text("[Curve]\nReferenceRange=90\nReferenceCycles=2e6\nSlope=-3\n")
    with pytest.raises(ValueError, match="(?i)slope"):
        torvwy.SNCurve.from_file(tmp_path / "bad.ini")
    with pytest.raises((ValueError, torvwy.TorvwyError)):
        torvwy.SNCurve.from_file(tmp_path / "missing.ini")


@pytest.mark.parametrize("make", [
    lambda: torvwy.SNCurve(reference_range=90, reference_cycles=2e6, slope=-3),
    lambda: torvwy.SNCurve(reference_range=0, reference_cycles=2e6, slope=3),
    lambda: torvwy.SNCurve(reference_range=90, reference_cycles=2e6, slope=3, knee_cycles=1e8,
                           slope2=5, cutoff_cycles=1e7),
    lambda: torvwy.SNCurve(reference_range=90, reference_cycles=2e6, slope=3, slope2=5),
    lambda: torvwy.SNCurve(reference_range=float("nan"), reference_cycles=2e6, slope=3),
    lambda: torvwy.SNCurve(reference_range=90, reference_cycles=2e6),
    lambda: torvwy.SNCurve(reference_range=90, reference_cycles=2e6, slope=3, name="a\nb"),
    lambda: torvwy.SNCurve("en1993:72"),
    lambda: torvwy.SNCurve("bs7608:Q"),
    lambda: torvwy.SNCurve("bs7608:F2", reliability=4),
    lambda: torvwy.SNCurve("en1993:71", reliability=2),
    lambda: torvwy.SNCurve("en1993:71", slope=3),
    lambda: torvwy.SNCurve(71),
])
def test_bad_curves_are_refused(make):
    with pytest.raises(ValueError):
        make()


def block_load(n_big, n_small):
    """n_big cycles of range 150 between -75 and 75, then n_small of range 50 between -75 and
    -25. Each small pair closes at once; the big ones close but for their last, which is left
    as two residue halves: n_big cycles of 150 and n_small of 50 in all."""
    big = [-75.0] + [75.0, -75.0] * n_big
    return np.array(big + [-25.0, -75.0] * n_small)


def test_damage_of_a_two_level_block_load():
    x = block_load(10, 1000)
    # A = 400 in 4 partitions of 100: the ranges 150 and 50 are partition centres.
    options = dict(partitions=4, amplitude=400.0, frequency=10.0)
    for fatigue, life in [(dict(curve="en1993:71"), n_71),
                          (dict(weld_class="F2"), n_f2),
                          (dict(curve="bs7608:F2", reliability=2), n_f2)]:
        result = torvwy.rainflow(x, fatigue=fatigue, **options)
        assert result.fatigue.total_cycles == 1010.0
        expected = 10 / life(150.0) + 1000 / life(50.0)
        assert result.fatigue.total_damage == pytest.approx(expected, rel=1e-12), fatigue
        assert result.fatigue.D[:2].tolist() == pytest.approx(
            [1000 / life(50.0), 10 / life(150.0)], rel=1e-12)
    # A curve that ends at its knee (52.3 here) takes no damage from the small cycles: their
    # life is infinite (inf in L, null in the JSON).
    ends = torvwy.SNCurve(reference_range=71.0, reference_cycles=2e6, slope=3.0, knee_cycles=5e6)
    result = torvwy.rainflow(x, fatigue=dict(curve=ends), **options)
    assert result.fatigue.L[0] == math.inf and result.fatigue.D[0] == 0.0
    assert result.fatigue.total_damage == pytest.approx(10 / n_71(150.0), rel=1e-12)
    assert result.to_dict()["fatigue"]["L"][0] is None
    assert result.fatigue.to_dict()["curve"] == "user curve"


def test_a_plain_weld_class_keeps_its_fields(sample):
    node = torvwy.Node(sample, "demo", "1", 3)
    result = torvwy.rainflow(node, partitions=12, fatigue=dict(method="actual", weld_class="F2"))
    assert list(result.fatigue.keys()) == [
        "method", "class", "d", "total_cycles", "total_damage", "P", "L", "D"]
    assert result.to_dict() == cli_json("rainflow", "--data", sample, "--test", "demo", "--code",
                                        1, "--node", 3, "--partitions", 12, "--fatigue", "actual",
                                        "--class", "F2")
    named = torvwy.rainflow(node, partitions=12, fatigue=dict(curve="bs7608:F2", weld_class="F2"))
    assert named.to_dict() == result.to_dict()


def test_other_curves_equal_the_command_line(sample):
    if "--curve" not in run_cli("rainflow", "--help").stdout:
        pytest.skip("this command line has no --curve")
    node = torvwy.Node(sample, "demo", "1", 2)
    base = ["rainflow", "--data", sample, "--test", "demo", "--code", 1, "--node", 2,
            "--partitions", 12, "--fatigue", "actual"]
    for fatigue, args in [
        (dict(curve="en1993:71"), ["--curve", "en1993:71"]),
        (dict(curve="en1993:36", mean_correction="goodman", ultimate=400.0),
         ["--curve", "en1993:36", "--mean-correction", "goodman", "--ultimate", 400]),
        (dict(weld_class="D", mean_correction="walker", walker_gamma=0.3),
         ["--class", "D", "--mean-correction", "walker", "--walker-gamma", 0.3]),
    ]:
        result = torvwy.rainflow(node, partitions=12, fatigue=fatigue)
        assert result.to_dict() == cli_json(*base, *args), fatigue


def single_cycle(range_, mean):
    """One cycle of `range_` about `mean`: two residue halves, down, up, down."""
    return np.array([mean - range_ / 2, mean + range_ / 2, mean - range_ / 2])


def test_mean_corrections_on_single_cycles():
    su = 400.0
    # Sa = 50 about Sm; the equivalent fully reversed amplitude of each correction by hand.
    cases = [
        ("goodman", {}, 0.0, 50.0),
        ("goodman", {}, -100.0, 50.0),  # a compressive mean gets no credit
        ("goodman", {}, 50.0, 50.0 / (1 - 50.0 / su)),
        ("gerber", {}, 50.0, 50.0 / (1 - (50.0 / su) ** 2)),
        ("swt", {}, 0.0, 50.0),
        ("swt", {}, 50.0, math.sqrt(100.0 * 50.0)),
        ("walker", {}, 50.0, math.sqrt(100.0 * 50.0)),  # gamma 0.5 is SWT
        ("walker", dict(walker_gamma=0.3), 50.0, 100.0 ** 0.7 * 50.0 ** 0.3),
        ("walker", dict(walker_gamma=0.3), 0.0, 50.0),
    ]
    # Without a correction the life is taken at the partition centre: 100 in 2 of [0, 400].
    options = dict(partitions=2, amplitude=400.0, frequency=1.0)
    plain = torvwy.rainflow(single_cycle(100.0, 0.0), fatigue=dict(curve="en1993:71"),
                            **options).fatigue.total_damage
    assert plain == pytest.approx(1 / n_71(100.0), rel=1e-12)
    for correction, extra, mean, amplitude in cases:
        fatigue = dict(curve="en1993:71", mean_correction=correction, ultimate=su, **extra)
        result = torvwy.rainflow(single_cycle(100.0, mean), fatigue=fatigue, **options)
        damage = result.fatigue.total_damage
        assert damage == pytest.approx(1 / n_71(2 * amplitude), rel=1e-9), (correction, mean)
        assert damage > plain * (1 + 1e-9) if mean > 0 else damage == pytest.approx(plain)
        assert result.fatigue.to_dict()["mean_correction"] == correction
    # A cycle whose maximum (150) lies beyond the ultimate would have broken the part.
    with pytest.raises(ValueError):
        torvwy.rainflow(single_cycle(100.0, 100.0), frequency=1.0,
                        fatigue=dict(curve="en1993:71", mean_correction="goodman", ultimate=120.0))


@pytest.mark.parametrize("fatigue", [
    dict(mean_correction="goodman"),  # Goodman needs the ultimate strength
    dict(method="fitting", mean_correction="swt"),
    dict(mean_correction="soderberg", ultimate=400.0),
    dict(mean_correction="walker", walker_gamma=1.5),
    dict(mean_correction="walker", walker_gamma=0.0),
    dict(mean_correction="goodman", ultimate=-1.0),
    dict(mean_correction="gerber", ultimate=0.0),
    dict(mean_correction="goodman", ultimate=400.0, walker_gamma=0.3),
    dict(ultimate=400.0),
    dict(walker_gamma=0.5),
    dict(method="best"),
    dict(curve="en1993:71", weld_class="F2"),
    dict(curve="bs7608:D", weld_class="F2"),
    dict(curve="en1993:71", reliability=2),
    dict(curve=torvwy.SNCurve("bs7608:D", reliability=1), reliability=2),
    dict(curve="en1993:70"),
    dict(weld_class="Q"),
    dict(curve=3.0),
    dict(slope=3),
])
def test_bad_life_estimates_are_refused(fatigue):
    with pytest.raises(ValueError):
        torvwy.rainflow(single_cycle(100.0, 0.0), frequency=1.0, fatigue=fatigue)


def test_a_live_count_refuses_a_mean_correction():
    with pytest.raises(ValueError, match="cycle list"):
        torvwy.Counter("rainflow", frequency=1.0,
                       fatigue=dict(mean_correction="swt"))


def test_damage_history_grows_to_the_total_damage(sample):
    node = torvwy.Node(sample, "demo", "1", 1)
    frequency = node.info["frequency_hz"]
    for fatigue in (dict(weld_class="F2"), dict(curve="en1993:36"),
                    dict(curve="en1993:36", mean_correction="swt")):
        result = torvwy.rainflow(node, partitions=20, blocks=(3, 40), fatigue=fatigue)
        history = result.damage_history
        assert history.columns == ["seconds", "sample", "range", "mean", "count", "damage",
                                   "cumulative", "residue"]
        assert len(history) > 10
        assert np.all(np.diff(history.cumulative) >= 0) and np.all(history.damage >= 0)
        assert history.cumulative[-1] == pytest.approx(result.fatigue.total_damage, rel=1e-9)
        assert history.cumulative == pytest.approx(np.cumsum(history.damage), rel=1e-9)
        # Rows in the order of their end samples, inside the counted blocks 3..40.
        assert np.all(np.diff(history.sample) >= 0)
        assert history.sample[0] >= 2 * 1024 and history.sample[-1] == 40 * 1024 - 1
        assert history.seconds == pytest.approx(history.sample / frequency)
        assert history.residue.tolist() == [False] * (len(history) - 1) + [True]
        assert history.count[:-1].tolist() == [1.0] * (len(history) - 1)
        closed = torvwy.rainflow_cycles(node, blocks=(3, 40))
        assert history.count.sum() == pytest.approx(closed["count"].sum())
    assert torvwy.rainflow(node, fatigue=dict(method="fitting")).damage_history is None
    assert torvwy.rainflow(node).damage_history is None


def test_damage_history_to_pandas():
    pandas = pytest.importorskip("pandas")
    result = torvwy.rainflow(block_load(3, 4), partitions=4, amplitude=400.0, frequency=2.0,
                             fatigue=dict(curve="en1993:71"))
    frame = result.damage_history.to_pandas()
    assert isinstance(frame, pandas.DataFrame) and len(frame) == 3 - 1 + 4 + 1
    assert frame["cumulative"].iloc[-1] == pytest.approx(result.fatigue.total_damage)


def astm_cycles():
    """The rainflow count of ASTM E1049-85's example, -2 1 -3 5 -1 3 -4 4 -2 (its Table 4):
    range: count."""
    return {3.0: 0.5, 4.0: 1.5, 6.0: 0.5, 8.0: 1.0, 9.0: 0.5}


def test_damage_equivalent_load_of_the_astm_example():
    counted = torvwy.rainflow_cycles(np.array([-2.0, 1, -3, 5, -1, 3, -4, 4, -2]))
    table = astm_cycles()
    by_hand = np.array(list(table.items()), dtype=[("range", "f8"), ("count", "f8")])
    for m, n_eq in [(3.0, 1.0), (5.0, 4.0), (10.0, 1e6)]:
        expected = (sum(n * s ** m for s, n in table.items()) / n_eq) ** (1 / m)
        for cycles in (counted, by_hand, {"range": by_hand["range"], "count": by_hand["count"]}):
            assert torvwy.damage_equivalent_load(cycles, m, n_eq) == pytest.approx(expected,
                                                                                   rel=1e-12)
    loads = torvwy.damage_equivalent_load(counted, [3, 5, 10], 4.0)
    assert isinstance(loads, np.ndarray) and loads.shape == (3,)
    assert loads.tolist() == pytest.approx(
        [(sum(n * s ** m for s, n in table.items()) / 4.0) ** (1 / m) for m in (3, 5, 10)])
    assert torvwy.damage_equivalent_load(counted[:0], 3, 1.0) == 0.0


def test_damage_equivalent_load_of_a_sine_is_its_range():
    # 8 samples a period from a crest: every turning point is a crest or trough of +-70.
    k = 50
    x = 70.0 * np.cos(2 * np.pi * np.arange(8 * k + 1) / 8)
    cycles = torvwy.rainflow_cycles(x)
    assert cycles["count"].sum() == k
    loads = torvwy.damage_equivalent_load(cycles, [3, 5, 10, 40], k)
    assert loads.tolist() == pytest.approx([140.0] * 4, rel=1e-12)
    # Over twice the cycles, the load falls by 2^(1/m).
    assert torvwy.damage_equivalent_load(cycles, 4, 2 * k) == pytest.approx(140 / 2 ** 0.25)


@pytest.mark.parametrize("m,n_eq,cycles", [
    (0.0, 1.0, None), (-3.0, 1.0, None), (float("nan"), 1.0, None), (float("inf"), 1.0, None),
    ([3.0, 0.0], 1.0, None), (3.0, 0.0, None), (3.0, -1.0, None), (3.0, float("inf"), None),
    (3.0, 1.0, {"range": [1.0, np.nan], "count": [1.0, 1.0]}),
    (3.0, 1.0, {"range": [1.0, 2.0], "count": [1.0]}),
    (3.0, 1.0, {"mean": [1.0]}),
    (3.0, 1.0, np.zeros(3)),
])
def test_damage_equivalent_load_refuses_bad_values(m, n_eq, cycles):
    if cycles is None:
        cycles = torvwy.rainflow_cycles(np.array([-2.0, 1, -3, 5]))
    with pytest.raises(ValueError):
        torvwy.damage_equivalent_load(cycles, m, n_eq)
