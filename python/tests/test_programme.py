"""Test programmes from Python: the same numbers as the command line, arrays as nodes, and
the file's refusals."""

import numpy as np
import pytest

import torvwy
from conftest import cli_json, run_cli

PROGRAMME = """[Programme]
Name=Track
Partitions=32
Amplitude=full
Residue=repeated
Curve=bs7608:F2
[Event 1]
Data={data}
Test=demo
Code=1
Node=1
Repeats=40
Label=ride
Distance=2.5
[Event 2]
Data={data}
Test=demo
Code=1
Node=3
Repeats=7
Scale=0.5
Label=brake
"""


@pytest.fixture()
def programme_file(sample, tmp_path):
    path = tmp_path / "track.programme"
    path.write_text(PROGRAMME.format(data=sample))
    return path


def test_a_file_counts_as_the_command_line_counts_it(programme_file):
    result = torvwy.Programme.from_file(programme_file).run(threads=2)
    assert result.to_dict() == cli_json("programme", programme_file)
    assert [event["label"] for event in result.events] == ["ride", "brake"]
    assert result.range_mean["counts"].shape == (32, 10)
    assert result.from_to["counts"].shape == (32, 32)
    assert result.counts[:32].sum() == result.fatigue["total_cycles"]
    tables = result.to_pandas()
    events = tables["events"]
    assert list(events["label"]) == ["ride", "brake", "across events", "total"]
    assert events["damage"].iloc[:3].sum() == pytest.approx(result.total_damage, rel=1e-12)
    assert tables["equivalence"].loc["ride", "brake"] == pytest.approx(
        result.equivalence["ride"]["brake"])
    assert tables["histogram"]["count"].sum() == result.fatigue["total_cycles"]


def test_array_events_count_as_the_nodes_they_hold(sample):
    ride = torvwy.Node(sample, "demo", "1", "1")
    brake = torvwy.Node(sample, "demo", "1", "3")
    from_nodes = torvwy.Programme(
        [{"source": ride, "repeats": 40}, {"source": brake, "repeats": 7, "scale": 0.5}],
        partitions=32, residue="repeated", curve="bs7608:F2").run()
    arrays = [{"source": node.samples(), "frequency": node.info["frequency_hz"],
               "unit": node.info["eu"], "full_scale": node.info["full_scale_eu"]}
              for node in (ride, brake)]
    arrays[0]["repeats"] = 40
    arrays[1].update(repeats=7, scale=0.5)
    from_arrays = torvwy.Programme(arrays, partitions=32, residue="repeated",
                                   curve="bs7608:F2").run()
    assert np.array_equal(from_arrays.counts, from_nodes.counts)
    assert np.array_equal(from_arrays.from_to["counts"], from_nodes.from_to["counts"])
    assert from_arrays.total_damage == from_nodes.total_damage
    assert from_arrays.life_hours == pytest.approx(from_nodes.life_hours)


def test_a_programme_saves_and_reads_back(sample, tmp_path):
    node = torvwy.Node(sample, "demo", "1", "1")
    programme = torvwy.Programme([{"source": node, "repeats": 3, "label": "lap",
                                   "duration": 12.5}], name="Saved", gate=0.25)
    path = tmp_path / "saved.programme"
    programme.save(path)
    again = torvwy.Programme.from_file(path)
    assert again.text() == programme.text()
    assert again.run().to_dict() == programme.run().to_dict()
    with pytest.raises(ValueError, match="array events"):
        torvwy.Programme([{"source": np.arange(10.0)}], amplitude="auto").save(tmp_path / "a")


def test_each_fault_names_its_section_and_key(sample, tmp_path):
    node = torvwy.Node(sample, "demo", "1", "1")
    with pytest.raises(torvwy.TorvwyError, match=r"\[Event 1\] Repeats"):
        torvwy.Programme([{"source": node, "repeats": 0}])
    with pytest.raises(torvwy.TorvwyError, match=r"\[Event 1\] Scale"):
        torvwy.Programme([{"source": node, "scale": -2.0}])
    with pytest.raises(ValueError, match="unknown event key 'speed'"):
        torvwy.Programme([{"source": node, "speed": 3}])
    force = torvwy.Node(sample, "demo", "1", "2")
    with pytest.raises(torvwy.TorvwyError, match=r"\[Event 2\] Node: its unit"):
        torvwy.Programme([{"source": node}, {"source": force}]).run()
    with pytest.raises(torvwy.TorvwyError, match="no full scale"):
        torvwy.Programme([{"source": np.arange(10.0)}]).run()
    bad = tmp_path / "bad.programme"
    bad.write_text("[Programme]\nColour=red\n")
    with pytest.raises(torvwy.TorvwyError, match=r"\[Programme\] Colour: unknown key"):
        torvwy.Programme.from_file(bad)
    assert run_cli("programme", bad, check=False).returncode != 0
