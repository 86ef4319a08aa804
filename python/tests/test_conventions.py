"""The counting conventions from Python: residue methods, the gate, the from-to and transition
matrices, the Counter and the fleet."""

import pickle

import numpy as np
import pytest

import torvwy
from torvwy import fleet

# The standard's load history; its closed cycle -1..3 (4) and the residue's steps 3 4 8 9 8 6.
ASTM = np.array([-2.0, 1, -3, 5, -1, 3, -4, 4, -2])


def histogram(**cycles):
    counts = np.zeros(10)
    for name, count in cycles.items():
        counts[int(name[1:]) - 1] = count
    return counts


@pytest.mark.parametrize("residue,expected", [
    ("half", histogram(r3=0.5, r4=1.5, r6=0.5, r8=1.0, r9=0.5)),
    ("full", histogram(r3=1, r4=2, r6=1, r8=2, r9=1)),
    ("discard", histogram(r4=1)),
    # The residue followed by itself closes 3 (-2..1), 7 (4..-3) and 9 (-4..5).
    ("repeated", histogram(r3=1, r4=1, r7=1, r9=1)),
])
def test_each_residue_method_on_the_standards_example(residue, expected):
    result = torvwy.rainflow(ASTM, partitions=10, amplitude=10.0, residue=residue)
    assert np.array_equal(result.counts, expected)
    assert ("residue" in result.to_dict()) == (residue != "half")
    cycles = torvwy.rainflow_cycles(ASTM, residue=residue)
    binned = np.zeros(10)
    np.add.at(binned, np.ceil(cycles["range"]).astype(int) - 1, cycles["count"])
    assert np.array_equal(binned, expected)


def test_repeated_is_what_each_further_repeat_adds():
    rng = np.random.default_rng(44)
    for _ in range(30):
        x = rng.integers(-5, 6, rng.integers(2, 40)).astype(float)
        once = torvwy.rainflow(x, partitions=12, amplitude=12.0).counts
        repeat = torvwy.rainflow(x, partitions=12, amplitude=12.0, residue="repeated").counts
        for n in (2, 3, 10):
            written = torvwy.rainflow(np.tile(x, n), partitions=12, amplitude=12.0).counts
            assert np.array_equal(written, once + (n - 1) * repeat)


def test_from_to_and_transitions():
    ft, edges, same = torvwy.rainflow_matrix(ASTM, kind="from-to", partitions=10, amplitude=10.0,
                                             classes=5)
    assert ft.shape == (5, 5) and np.array_equal(edges, [-10, -6, -2, 2, 6, 10])
    assert np.array_equal(edges, same)
    assert ft.sum() == torvwy.rainflow(ASTM, partitions=10, amplitude=10.0).counts.sum()
    assert ft[2, 3] == 1.0  # -1 -> 3, the closed cycle
    tr, _, _ = torvwy.rainflow_matrix(ASTM, kind="transitions", partitions=10, amplitude=10.0,
                                      classes=5)
    assert tr.sum() == 8.0  # nine turning points
    cycles = torvwy.rainflow_cycles(ASTM)
    assert np.array_equal(np.abs(cycles["to"] - cycles["from"]), cycles["range"])
    with pytest.raises(ValueError, match="kind="):
        torvwy.rainflow_matrix(ASTM, kind="level")
    with pytest.raises(ValueError, match="classes=0"):
        torvwy.rainflow_matrix(ASTM, kind="from-to", classes=0)


def test_the_gate_keeps_every_cycle_of_its_size():
    rng = np.random.default_rng(9)
    x = np.cumsum(rng.normal(0, 1, 5000))
    gate = 2.5
    plain = torvwy.rainflow_cycles(x)
    gated = torvwy.rainflow_cycles(x, gate=gate)
    big = lambda c: sorted(map(tuple, c[c["range"] >= gate][["count", "range", "from", "to"]]  # noqa: E731
                               .tolist()))
    assert big(gated) == big(plain)
    assert len(gated) < len(plain)
    for count in (torvwy.peak, torvwy.range, torvwy.rainflow, torvwy.range_pairs):
        fields = count(x, partitions=8, gate=gate).to_dict()
        assert fields["gate"] == gate
        assert "gate" not in count(x, partitions=8).to_dict()
    with pytest.raises(ValueError, match="--gate = -1 is not a finite number"):
        torvwy.rainflow(x, gate=-1)
    with pytest.raises(ValueError, match="is not one of half, full, discard, repeated"):
        torvwy.rainflow(x, residue="twice")
    with pytest.raises(ValueError, match="--residue applies to rainflow counting only"):
        torvwy.Counter("peak", amplitude=10.0, residue="full")


def test_counter_counts_the_conventions_as_offline():
    rng = np.random.default_rng(5)
    x = np.round(np.cumsum(rng.normal(0, 3, 6000)))
    whole = torvwy.rainflow(x, partitions=20, amplitude=400.0, full_scale=1000.0,
                            residue="repeated", gate=4.0)
    counter = torvwy.Counter("rainflow", partitions=20, amplitude=400.0, full_scale=1000.0,
                             residue="repeated", gate=4.0, keep_cycles=True)
    for piece in np.array_split(x, 7):
        counter.feed(piece)
    counter = pickle.loads(pickle.dumps(counter))
    assert np.array_equal(counter.result().counts, whole.counts)
    assert counter.result().to_dict()["residue"] == "repeated"


def test_fleet_rows_name_the_conventions(sample):
    row = fleet.node_row(sample, "demo", "1", "2", "rainflow", residue="full", gate=1.0)
    assert row["error"] is None and row["residue"] == "full" and row["gate"] == 1.0
    plain = fleet.node_row(sample, "demo", "1", "2", "rainflow")
    assert "residue" not in plain and row["total_cycles"] != plain["total_cycles"]
    with pytest.raises(ValueError, match="--gate does not apply to time-at-level"):
        fleet.check_options("time-at-level", {"gate": 1.0})
    with pytest.raises(ValueError, match="stats has none"):
        fleet.check_options("stats", {"residue": "full"})
