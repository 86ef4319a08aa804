"""Level crossings, range pairs and time at level from Python: the command line's JSON, the
standard's load history worked by hand, the saved file and the refusals."""

import numpy as np
import pytest

import torvwy
from conftest import cli_json

HISTORY = np.array([-2.0, 1, -3, 5, -1, 3, -4, 4, -2])


@pytest.mark.parametrize("function,command,options,args", [
    (torvwy.crossings, "crossings", dict(partitions=8, gate=0.5),
     ["--partitions", 8, "--gate", 0.5]),
    (torvwy.crossings, "crossings", dict(level_list=[-30, 0, 12.5], direction="both"),
     ["--level-list", "-30,0,12.5", "--direction", "both"]),
    (torvwy.range_pairs, "range-pairs", dict(partitions=12, amplitude="full"),
     ["--partitions", 12, "--amplitude", "full"]),
    (torvwy.time_at_level, "time-at-level", dict(partitions=9, blocks=(3, 40)),
     ["--partitions", 9, "--blocks", "3-40"]),
])
def test_a_node_counts_as_the_command_line(sample, function, command, options, args):
    python = function(torvwy.Node(sample, "demo", "1", "2"), threads=2, **options)
    expected = cli_json(command, "--data", sample, "--test", "demo", "--code", 1, "--node", 2,
                        *args)
    assert python.to_dict() == expected
    assert python.analysis == command


def test_the_standards_history_counts_as_worked_by_hand():
    # Crossings of the levels -3 .. 4 (partitions 7 of [-3.5, 3.5] would not hit the integers, so
    # the levels are listed): the hand count is in the guide's worked example.
    counted = torvwy.crossings(HISTORY, level_list=range(-3, 5))
    assert list(counted.up) == [1, 2, 3, 4, 4, 3, 3, 2]
    assert list(counted.counts) == [1, 2, 3, 4, 4, 3, 3, 2]
    # Range pairs: +3, +4 and +8 counted, two ranges left over.
    pairs = torvwy.range_pairs(HISTORY, partitions=5, amplitude=10)
    assert list(pairs.two_way) == [0, 0, 0, 2, 1]
    assert list(pairs.one_way) == [0, 2, 0, 1, 0]
    assert pairs.left_over_ranges == 2
    # Time at level at 2 Hz: each sample is half a second.
    time = torvwy.time_at_level(HISTORY, partitions=2, amplitude=5, frequency=2.0)
    assert list(time.samples) == [5, 4] and list(time.seconds) == [2.5, 2.0]


def test_a_saved_result_opens_as_it_was(tmp_path):
    for result in (torvwy.crossings(HISTORY, level_list=[-1, 0, 2], direction="up"),
                   torvwy.range_pairs(HISTORY, partitions=5, amplitude=10),
                   torvwy.time_at_level(HISTORY, partitions=4, amplitude=5, frequency=8.0)):
        path = tmp_path / f"x1#n.{result.analysis}.json"
        result.save(path)
        assert torvwy.open_result(path).to_dict() == result.to_dict()


@pytest.mark.parametrize("options,match", [
    (dict(gate=-1), "--gate = -1 is not a finite number of 0 or more"),
    (dict(level_list=[2, 1]), "--level-list is not strictly increasing: 1 follows 2"),
    (dict(level_list=[1, 2], partitions=4), "level_list= and partitions= can't go together"),
    (dict(direction="sideways"), "--direction .sideways. is not one of up, down, both, astm"),
    (dict(level_list=[1, 2]), "--reference 0 lies outside the levels 1..2"),
])
def test_bad_options_raise_the_command_lines_line(options, match):
    with pytest.raises((torvwy.RequestError, torvwy.TorvwyError), match=match):
        torvwy.crossings(HISTORY, **options)


@pytest.mark.parametrize("kind,function", [
    ("crossings", torvwy.crossings), ("range-pairs", torvwy.range_pairs),
    ("time-at-level", torvwy.time_at_level),
])
def test_a_live_count_in_pieces_ends_on_the_offline_count(kind, function):
    x = np.cumsum(np.random.default_rng(1).normal(size=5000))
    counter = torvwy.Counter(kind, partitions=10, amplitude=60.0, frequency=10.0)
    for piece in np.array_split(x, 7):
        counter.feed(piece)
    live = counter.result().to_dict()
    offline = function(x, partitions=10, amplitude=60.0, frequency=10.0).to_dict()
    # The live count leaves the envelope to its caller; the counts are what is compared.
    for key in ("envelope", "envelope_max", "envelope_min"):
        live.pop(key, None)
        offline.pop(key)
    assert live == offline
