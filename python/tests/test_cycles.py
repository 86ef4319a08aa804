"""Every rainflow cycle: the published example, the histogram they bin into, the matrix."""

import numpy as np
import pytest

import torvwy

# The rainflow example of ASTM E1049-85 (Fig. 6): loads -2 1 -3 5 -1 3 -4 4 -2 give
# range 3: 0.5, 4: 1.5, 6: 0.5, 8: 1.0, 9: 0.5 cycles.
ASTM = np.array([-2.0, 1, -3, 5, -1, 3, -4, 4, -2])
ASTM_CYCLES = {3.0: 0.5, 4.0: 1.5, 6.0: 0.5, 8.0: 1.0, 9.0: 0.5}


def by_range(cycles):
    totals = {}
    for cycle in cycles:
        totals[float(cycle["range"])] = totals.get(float(cycle["range"]), 0.0) + cycle["count"]
    return totals


def array_smallest_range(x):
    """t of an array: a thousandth of the full scale its imported node gets, 10000 raw units of
    the float64 format over c1, the power of two below 0.9 x 10000 / the largest magnitude."""
    c1 = 2.0 ** np.floor(np.log2(0.9 * 10000.0 / np.max(np.abs(x.astype(float)))))
    return 10000.0 / 1.0 / c1 * 0.001


def bin_cycles(cycles, result, t):
    """The histogram by the counting's rules, written apart from the core: t <= r <= A counts,
    partition j holds (j x w, j x w + w], a range above every edge goes to the top one."""
    n, w, a = result.N, result.w, result.A
    edges = np.arange(n) * w + w
    r = cycles["range"]
    keep = (r <= a) & (r >= t)
    j = np.minimum(np.searchsorted(edges, r[keep], side="left"), n - 1)
    return np.bincount(j, weights=cycles["count"][keep], minlength=n)


def test_astm_example():
    cycles = torvwy.rainflow_cycles(ASTM)
    assert by_range(cycles) == ASTM_CYCLES
    # The closed cycle -1 -> 3 runs from sample 4 to sample 5; its mean is 1.
    closed = cycles[cycles["count"] == 1.0]
    assert closed.tolist() == [(4.0, 1.0, 1.0, 4, 5, -1.0, 3.0)]
    # Ranges 3, 4, 6, 8 and 9 fall on the upper edges of partitions 2, 3, 5, 7 and 8 (w = 1):
    # each belongs to the partition it closes.
    result = torvwy.rainflow(ASTM, partitions=10, amplitude=10.0)
    expected = np.zeros(10)
    expected[[2, 3, 5, 7, 8]] = [0.5, 1.5, 0.5, 1.0, 0.5]
    assert np.array_equal(result.counts, expected)


def test_indices_point_at_the_turning_points():
    rng = np.random.default_rng(7)
    x = np.round(rng.normal(0, 100, 4096)).astype(np.int32)
    cycles = torvwy.rainflow_cycles(x)
    ends = x[cycles["end"]].astype(float)
    starts = x[cycles["start"]].astype(float)
    assert np.array_equal(np.abs(ends - starts), cycles["range"])
    assert np.array_equal((ends + starts) / 2, cycles["mean"])
    assert np.all(cycles["start"] < cycles["end"])
    # Every sample is a turning point or lies on a slope; the halves of the residue join up.
    halves = cycles[cycles["count"] == 0.5]
    assert halves["start"][0] == 0 and halves["end"][-1] == 4095
    assert np.array_equal(halves["start"][1:], halves["end"][:-1])


def test_flat_top_is_one_point_at_its_last_sample():
    x = np.array([0.0, 5, 5, 5, 1, 1, 3, 2])
    cycles = torvwy.rainflow_cycles(x)
    assert (5.0, 0.5) in [(c["range"], c["count"]) for c in cycles]
    first_half = cycles[cycles["count"] == 0.5][0]
    assert (first_half["start"], first_half["end"]) == (0, 3)


@pytest.mark.parametrize("partitions,amplitude", [(25, "auto"), (7, "full"), (40, 30.0)])
@pytest.mark.parametrize("node", [1, 2, 3, 4])
def test_binned_cycles_equal_the_histogram(sample, node, partitions, amplitude):
    source = torvwy.Node(sample, "demo", "1", node)
    result = torvwy.rainflow(source, partitions=partitions, amplitude=amplitude)
    cycles = torvwy.rainflow_cycles(source)
    t = source.info["full_scale_eu"] * 0.001
    assert np.array_equal(bin_cycles(cycles, result, t), result.counts[:result.N])


@pytest.mark.parametrize("dtype", [np.float64, np.float32, np.int16])
def test_binned_array_cycles_equal_the_histogram(dtype):
    rng = np.random.default_rng(3)
    x = (np.cumsum(rng.normal(0, 1, 2500)) * 40).astype(dtype)  # blocks 1, 2 and 3 (partial)
    result = torvwy.rainflow(x, partitions=30)
    cycles = torvwy.rainflow_cycles(x)
    assert cycles["end"].max() == 2499
    t = array_smallest_range(x)
    assert np.array_equal(bin_cycles(cycles, result, t), result.counts[:30])
    for first, last in [(2, 2), (3, 3), (2, 3)]:
        blocks = torvwy.rainflow(x, partitions=30, blocks=(first, last))
        assert np.array_equal(bin_cycles(torvwy.rainflow_cycles(x, blocks=(first, last)), blocks,
                                         t), blocks.counts[:30])


def test_matrix_counts_what_the_histogram_counts(sample):
    # The matrix holds the cycles the histogram holds (t <= range <= A), on its range layout:
    # with as many range bins as partitions, its rows are the histogram.
    source = torvwy.Node(sample, "demo", "1", 2)
    result = torvwy.rainflow(source, partitions=12)
    matrix, range_edges, mean_edges = torvwy.rainflow_matrix(source, 12, 8)
    assert matrix.shape == (12, 8)
    assert np.array_equal(matrix.sum(axis=1), result.counts[:12])
    assert range_edges[0] == 0.0 and range_edges[-1] == pytest.approx(result.A)
    assert len(mean_edges) == 9
    # Cycles below t are in the list, not in the matrix.
    cycles = torvwy.rainflow_cycles(source)
    t = source.info["full_scale_eu"] * 0.001
    counted = cycles[(cycles["range"] >= t) & (cycles["range"] <= result.A)]
    assert counted["count"].sum() < cycles["count"].sum()
    assert matrix.sum() == counted["count"].sum()
    edges = np.linspace(0, 60, 7)
    matrix, _, _ = torvwy.rainflow_matrix(source, edges, np.linspace(-80, 80, 5))
    inside = counted[(counted["range"] <= 60) & (np.abs(counted["mean"]) <= 80)]
    assert matrix.sum() == pytest.approx(inside["count"].sum(), abs=1e-9)


def test_matrix_bins_are_capped_as_the_command_line_caps_them():
    x = np.sin(np.linspace(0.0, 30.0, 3000))
    # 2000 bins on an axis is the most `torvwy rainflow --matrix-bins` takes, and so here.
    matrix, _, _ = torvwy.rainflow_matrix(x, 2000, np.linspace(-1, 1, 2001))
    assert matrix.shape == (2000, 2000)
    for range_bins, mean_bins in [(2001, 10), (10, 10**9), (0, 10), (10, -1),
                                  (np.linspace(0, 2, 2002), 10), (10, [0.5])]:
        with pytest.raises(ValueError, match="1..2000 range bins and 1..2000 mean bins"):
            torvwy.rainflow_matrix(x, range_bins, mean_bins)
    with pytest.raises(ValueError, match="range_bins must be a number of bins"):
        torvwy.rainflow_matrix(x, 10.0)
