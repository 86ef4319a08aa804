"""Arrays counted against expectations made apart from the package: the published rainflow
example, counts worked by hand, and plain reference countings written here, on a few hundred
random arrays of every length from 2 to 5000."""

import numpy as np
import pytest

import torvwy

# ASTM E1049-85 (Fig. 6): -2 1 -3 5 -1 3 -4 4 -2 gives ranges 3: 0.5, 4: 1.5, 6: 0.5, 8: 1.0
# and 9: 0.5 cycles.
ASTM = np.array([-2.0, 1, -3, 5, -1, 3, -4, 4, -2])
ASTM_RANGES = {3.0: 0.5, 4.0: 1.5, 6.0: 0.5, 8.0: 1.0, 9.0: 0.5}


def reversals(x):
    """The first value, every value where the signal turns and the last value; a flat run is
    one point."""
    points = [float(x[0])]
    for v in map(float, x[1:]):
        if v == points[-1]:
            continue
        if len(points) >= 2 and (v - points[-1]) * (points[-1] - points[-2]) > 0:
            points[-1] = v  # still on the same slope
        else:
            points.append(v)
    return points


def astm_rainflow(x):
    """(range, mean, count) of every cycle by the three-point rainflow method of ASTM E1049-85,
    5.4.4: X the newest range, Y the one before it; X < Y reads on; else Y is a half cycle when
    it holds the starting point (which is then dropped) and a full cycle otherwise (both its
    points dropped); at the end every range left is a half cycle."""
    cycles = []
    points = []
    for point in reversals(x):
        points.append(point)
        while len(points) >= 3:
            newest = abs(points[-1] - points[-2])
            before = abs(points[-2] - points[-3])
            if newest < before:
                break
            mean = (points[-2] + points[-3]) / 2
            if len(points) == 3:
                cycles.append((before, mean, 0.5))
                del points[0]
            else:
                cycles.append((before, mean, 1.0))
                del points[-3:-1]
    cycles += [(abs(b - a), (a + b) / 2, 0.5) for a, b in zip(points, points[1:])]
    return sorted(c for c in cycles if c[0] > 0)


def package_cycles(x, **options):
    cycles = torvwy.rainflow_cycles(x, **options)
    return sorted(zip(cycles["range"].tolist(), cycles["mean"].tolist(),
                      cycles["count"].tolist()))


def by_range_and_mean(cycles):
    """The cycles counted per (range, mean). Where a range ties with the one holding the
    starting point, the three-point method counts two halves where the four-point method
    closes one full cycle: the same cycles, told apart only by their count."""
    totals = {}
    for r, mean, count in cycles:
        totals[(r, mean)] = totals.get((r, mean), 0.0) + count
    return totals


def reference_peaks(x):
    """Peaks (v > previous, v >= next) and valleys (v < previous, v <= next) of the samples
    between the first and the last."""
    x = np.asarray(x, dtype=float)
    v, before, after = x[1:-1], x[:-2], x[2:]
    return v[(v > before) & (v >= after)], v[(v < before) & (v <= after)]


def reference_ranges(x):
    """From the first sample to the first turning point, then from turning point to turning
    point, the turning points in time order."""
    x = np.asarray(x, dtype=float)
    v, before, after = x[1:-1], x[:-2], x[2:]
    turning = v[((v > before) & (v >= after)) | ((v < before) & (v <= after))]
    return np.diff(np.concatenate([x[:1], turning]))


def two_way(values, result):
    """Counts of the values over [-A, A]: partition k holds (edge k-1, edge k], edge k =
    (k + 1) x W2 - A; values outside are dropped."""
    n, a = result.N, result.A
    edges = (np.arange(n) + 1) * result.W2 - a
    kept = values[(values >= -a) & (values <= a)]
    k = np.minimum(np.searchsorted(edges, kept, side="left"), n - 1)
    return np.bincount(k, minlength=n)


def one_way(values, result):
    n, a = result.N, result.A
    edges = (np.arange(n) + 1) * result.W1
    kept = np.abs(values[(values >= -a) & (values <= a)])
    k = np.minimum(np.searchsorted(edges, kept, side="left"), n - 1)
    return np.bincount(k, minlength=n)


def rainflow_histogram(cycles, result, t):
    """Cycles with t <= range <= A in partition j, (j x w, j x w + w]."""
    n, w, a = result.N, result.w, result.A
    edges = np.arange(n) * w + w
    counts = np.zeros(n)
    for r, _, count in cycles:
        if t <= r <= a:
            counts[min(np.searchsorted(edges, r, side="left"), n - 1)] += count
    return counts


def smallest_range(x):
    """t of an array without full_scale=: a thousandth of the import's full scale, 10000 raw
    units of float64 over c1, the power of two at most 0.9 x 10000 / the largest magnitude."""
    c1 = 2.0 ** np.floor(np.log2(0.9 * 10000.0 / np.max(np.abs(x))))
    return 10000.0 / c1 * 0.001


def test_astm_example():
    cycles = torvwy.rainflow_cycles(ASTM)
    totals = {}
    for r, count in zip(cycles["range"].tolist(), cycles["count"].tolist()):
        totals[r] = totals.get(r, 0.0) + count
    assert totals == ASTM_RANGES
    assert package_cycles(ASTM) == astm_rainflow(ASTM)
    # The closed cycle -1 -> 3, samples 4 and 5.
    assert cycles[cycles["count"] == 1.0].tolist() == [(4.0, 1.0, 1.0, 4, 5, -1.0, 3.0)]
    result = torvwy.rainflow(ASTM, partitions=10, amplitude=10.0)
    expected = np.zeros(10)
    expected[[2, 3, 5, 7, 8]] = [0.5, 1.5, 0.5, 1.0, 0.5]  # w = 1, each range on an upper edge
    assert np.array_equal(result.counts[:10], expected)
    assert (result.first_block, result.last_block, result.node["total_blocks"]) == (1, 1, 1)


def test_literal_rainflow_worked_by_hand():
    # 0 10 2 12: the inner 10 -> 2 lies inside both neighbours, one cycle of 8 about 6; the
    # residue 0 12 is half a cycle of 12 about 6. Two values: half a cycle; equal values: none.
    assert package_cycles(np.array([0.0, 10, 2, 12])) == [(8.0, 6.0, 1.0), (12.0, 6.0, 0.5)]
    assert package_cycles(np.array([1.0, 3.0])) == [(2.0, 2.0, 0.5)]
    assert package_cycles(np.array([2.0, 2.0])) == []
    # A repeated first value is no cycle of range zero.
    assert package_cycles(np.array([4.0, 4, 4, 1, 6])) == [(3.0, 2.5, 0.5), (5.0, 3.5, 0.5)]
    rainflow = torvwy.rainflow(np.array([4.0, 4, 4, 1, 6]), partitions=5, amplitude=10.0)
    assert rainflow.counts[:5].tolist() == [0.0, 0.5, 0.5, 0.0, 0.0]


def test_peak_and_range_worked_by_hand():
    # Peaks 3, 4 and 5 and valleys -2 and 1 (the flat bottom at its first sample); the last
    # sample, 0 after the peak 5, is never tested, nor the first.
    x = np.array([0.0, 3, -2, 4, 1, 1, 5, 0])
    peak = torvwy.peak(x, partitions=10, amplitude=5.0)  # W2 = 1: edges -4 .. 5; W1 = 0.5
    assert (peak.W2, peak.W1) == (1.0, 0.5)
    assert peak.two_way.peak.tolist() == [0, 0, 0, 0, 0, 0, 0, 1, 1, 1]
    assert peak.two_way.valley.tolist() == [0, 0, 1, 0, 0, 1, 0, 0, 0, 0]
    assert peak.one_way.peak.tolist() == [0, 0, 0, 0, 0, 1, 0, 1, 0, 1]
    assert peak.one_way.valley.tolist() == [0, 1, 0, 1, 0, 0, 0, 0, 0, 0]
    # Ranges 3 (0 -> 3), -5, 6, -3 and 4; none from the last turning point to the last sample.
    ranges = torvwy.range(x, partitions=12, amplitude=6.0)  # W2 = 1: edges -5 .. 6; W1 = 0.5
    assert ranges.two_way.tolist() == [1, 0, 1, 0, 0, 0, 0, 0, 1, 1, 0, 1]
    assert ranges.one_way.tolist() == [0, 0, 0, 0, 0, 2, 0, 1, 0, 1, 0, 1]
    assert (peak.first_block, peak.last_block) == (1, 1)


def random_arrays():
    """Lengths spread over 2..5000 with the block borders among them; random walks of floats
    and of small integers with plateaus (equal neighbours, equal ranges)."""
    rng = np.random.default_rng(2024)
    lengths = [2, 3, 4, 5, 9, 511, 512, 513, 1023, 1024, 1025, 1100, 2047, 2048, 2049, 2953,
               4840, 4999, 5000]
    lengths += rng.integers(2, 5001, 221).tolist()
    arrays = []
    for i, n in enumerate(lengths):
        if i % 3 == 0:
            x = np.cumsum(rng.normal(0.0, 1.0, n))
        elif i % 3 == 1:
            x = np.cumsum(rng.integers(-3, 4, n)).astype(float)
        else:
            x = np.cumsum(rng.normal(0.0, 1.0, n)).astype(np.float32)
        arrays.append(x)
    return arrays


ARRAYS = random_arrays()


def test_cycles_agree_with_the_reference_on_random_arrays():
    assert len(ARRAYS) == 240
    for i, x in enumerate(ARRAYS):
        assert by_range_and_mean(package_cycles(x)) == by_range_and_mean(astm_rainflow(x)), \
            f"array {i}, {x.shape[0]} values"


def test_counts_agree_with_the_reference_on_random_arrays():
    for i, x in enumerate(ARRAYS[::4]):
        message = f"array {4 * i}, {x.shape[0]} values"
        values = x.astype(float)
        threads = (None, 1, 3)[i % 3]
        a = float(np.max(np.abs(values))) * 0.8 + 0.37  # the largest values are dropped
        peaks, valleys = reference_peaks(values)
        peak = torvwy.peak(x, partitions=9, amplitude=a, threads=threads)
        assert np.array_equal(peak.two_way.peak, two_way(peaks, peak)), message
        assert np.array_equal(peak.two_way.valley, two_way(valleys, peak)), message
        assert np.array_equal(peak.one_way.total,
                              one_way(peaks, peak) + one_way(valleys, peak)), message
        ranges = reference_ranges(values)
        span = float(np.max(values) - np.min(values))
        counted = torvwy.range(x, partitions=11, amplitude=span * 0.7 + 0.1, threads=threads)
        assert np.array_equal(counted.two_way, two_way(ranges, counted)), message
        assert np.array_equal(counted.one_way, one_way(ranges, counted)), message
        rainflow = torvwy.rainflow(x, partitions=16, threads=threads)
        assert rainflow.A == span * 1.1, message  # automatic: 1.1 x the envelope's span
        assert (rainflow.envelope_max, rainflow.envelope_min) == (np.max(values),
                                                                  np.min(values)), message
        expected = rainflow_histogram(astm_rainflow(x), rainflow, smallest_range(values))
        assert np.array_equal(rainflow.counts[:16], expected), message
        blocks = -(-x.shape[0] // 1024)
        assert (rainflow.first_block, rainflow.last_block) == (1, blocks), message


@pytest.mark.parametrize("n", [1100, 2953, 4840])
def test_blocks_of_an_array_end_at_its_last_value(n):
    x = np.cumsum(np.random.default_rng(n).normal(0.0, 1.0, n))
    last = -(-n // 1024)
    tail = x[(last - 1) * 1024:]
    assert package_cycles(x, blocks=(last, last)) == astm_rainflow(tail)  # floats: no ties
    counted = torvwy.rainflow(x, partitions=10, amplitude=40.0, blocks=(last, last))
    assert counted.counts[:10].sum() == sum(c for r, _, c in astm_rainflow(tail)
                                            if smallest_range(x) <= r <= 40.0)
    assert (counted.first_block, counted.last_block) == (last, last)
    cycles = torvwy.rainflow_cycles(x, blocks=(2, last))
    assert cycles["start"].min() >= 1024 and cycles["end"].max() == n - 1


@pytest.mark.parametrize("analysis", ["peak", "range", "rainflow"])
def test_every_thread_count_counts_an_array_alike(analysis):
    count = getattr(torvwy, analysis)
    for n in (2, 1025, 4097, 9000):
        x = np.cumsum(np.random.default_rng(n).normal(0.0, 1.0, n))
        one = count(x, threads=1).to_dict()
        for threads in (2, 3, 7, None):
            assert count(x, threads=threads).to_dict() == one, (n, threads)


@pytest.mark.parametrize("bad,index", [
    (np.array([]), None), (np.array([3.0]), None), (np.array([1.0, 2, np.nan, 4]), 2),
    (np.array([1.0, np.inf, 0]), 1), (np.array([0.0, 1, 2, -np.inf], np.float32), 3)])
def test_arrays_that_cant_be_counted(bad, index):
    calls = [torvwy.rainflow_cycles, torvwy.rainflow_matrix, torvwy.peak, torvwy.range,
             torvwy.rainflow]
    for call in calls:
        with pytest.raises(ValueError) as raised:
            call(bad)
        text = str(raised.value)
        assert (f"index {index}" in text) if index is not None else ("two or more" in text)


def test_no_frequency_needed_unless_a_life_is_asked_for(tmp_path):
    x = np.cumsum(np.random.default_rng(5).normal(0.0, 1.0, 3000))
    without = torvwy.rainflow(x, partitions=12)
    assert without.to_dict() == torvwy.rainflow(x, partitions=12, frequency=512.0).to_dict()
    without.save(tmp_path / "a.RFL")  # a record of 1 Hz: its times are sample numbers
    assert torvwy.open_result(tmp_path / "a.RFL").to_dict()["counts"] == without.to_dict()["counts"]
    with pytest.raises(ValueError, match="frequency"):
        torvwy.rainflow(x, fatigue=dict(method="actual", weld_class="D"))
    with_life = torvwy.rainflow(x, partitions=12, frequency=512.0,
                                fatigue=dict(method="actual", weld_class="D"))
    assert with_life.fatigue.total_cycles == pytest.approx(without.counts[:12].sum())
