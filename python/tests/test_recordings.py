"""Recordings from the lab through the package and the command: files made by the field's own
writers (scipy, h5py, soundfile), read back sample for sample from the nodes."""

import shlex

import numpy as np
import pytest

import torvwy
from conftest import CLI, run_cli
from doc_blocks import doc_block

scipy_io = pytest.importorskip("scipy.io")
h5py = pytest.importorskip("h5py")
soundfile = pytest.importorskip("soundfile")

RNG = np.random.default_rng(24)


def write_mat(path):
    channels = {"strain": RNG.normal(0.0, 50.0, 2500), "force": RNG.normal(0.0, 2.0, (2500, 3)),
                "counts": RNG.integers(-300, 300, 2500).astype(np.int16)}
    scipy_io.savemat(path, dict(channels, fs=2000.0, info={"rig": "A"}))
    return channels, 2000.0


def write_h5(path):
    with h5py.File(path, "w") as f:
        run = f.create_group("run1")
        run.attrs["rate"] = 512.0
        strain = RNG.normal(0.0, 10.0, 4000)
        run.create_dataset("strain", data=strain).attrs["unit"] = "MPa"
        temps = RNG.normal(20.0, 1.0, (1000, 2)).astype(np.float32)
        run.create_dataset("temps", data=temps)
    return strain, temps


def sound_values(samples, subtype):
    """What a node holds of sound samples: raw units, full scale 10000."""
    full = {"PCM_16": 2.0 ** 15, "PCM_24": 2.0 ** 23, "PCM_32": 2.0 ** 31}.get(subtype)
    return samples * 10000.0 / full if full else samples.astype(np.float64) * 10000.0


def node_values(node, n):
    return node.samples()[:n]


@pytest.mark.parametrize("subtype,suffix", [("PCM_24", "wav"), ("PCM_16", "flac"),
                                            ("FLOAT", "wav"), ("PCM_32", "wav")])
def test_sound_files_give_every_channel(tmp_path, home, subtype, suffix):
    n = 3000
    if subtype == "FLOAT":
        data = RNG.uniform(-1.0, 1.0, (n, 4)).astype(np.float32)
        written, dtype = data, "float32"
    else:
        bits = int(subtype[4:])
        ints = RNG.integers(-(2 ** (bits - 1)), 2 ** (bits - 1), (n, 4))
        written, dtype = ints, "int32"
        data = (ints << (32 - bits)).astype(np.int32)  # soundfile takes int32 full scale
    path = tmp_path / f"rig.{suffix}"
    soundfile.write(path, data, 8000, subtype=subtype)
    nodes = torvwy.import_file(path, tmp_path / "d", "snd", "1")
    assert [node.name for node in nodes] == ["ch1", "ch2", "ch3", "ch4"]
    for k, node in enumerate(nodes):
        assert node.info["frequency_hz"] == 8000.0
        assert node.info["c1"] == 1.0
        expected = sound_values(written[:, k].astype(np.float64), subtype)
        np.testing.assert_array_equal(node_values(node, n), expected)
    arrays, rate = torvwy.read_channels(path, channels=[2])
    assert rate == 8000.0 and list(arrays) == ["ch2"] and arrays["ch2"].dtype == np.float64
    assert dtype


def test_matlab_channels_and_parameters(tmp_path, home):
    path = tmp_path / "rig.mat"
    channels, rate = write_mat(path)
    arrays, got_rate = torvwy.read_channels(path)
    assert got_rate == rate
    assert sorted(arrays) == ["counts", "force_1", "force_2", "force_3", "strain"]
    np.testing.assert_array_equal(arrays["strain"], channels["strain"])
    np.testing.assert_array_equal(arrays["force_2"], channels["force"][:, 1])
    np.testing.assert_array_equal(arrays["counts"], channels["counts"].astype(np.float64))
    nodes = torvwy.import_file(path, tmp_path / "d", "mat", "1", channels=["strain", "force_3"])
    np.testing.assert_array_equal(node_values(nodes[0], 2500), channels["strain"])
    np.testing.assert_array_equal(node_values(nodes[1], 2500), channels["force"][:, 2])


def test_hdf5_datasets_rates_and_units(tmp_path, home):
    path = tmp_path / "run.h5"
    strain, temps = write_h5(path)
    nodes = torvwy.import_file(path, tmp_path / "d", "h", "1")
    assert [node.name for node in nodes] == ["run1_strain", "run1_temps_1", "run1_temps_2"]
    assert nodes[0].info["eu"] == "MPa" and nodes[1].info["eu"] == "EU"
    assert all(node.info["frequency_hz"] == 512.0 for node in nodes)
    np.testing.assert_array_equal(node_values(nodes[0], 4000), strain)
    np.testing.assert_array_equal(node_values(nodes[2], 1000), temps[:, 1].astype(np.float64))


def test_csv_columns_with_decimal_commas(tmp_path, home):
    values = np.round(RNG.normal(0.0, 3.0, (600, 3)), 4)
    lines = ["Zeit;a;b;c"] + [
        ";".join([f"{i}"] + [f"{v}".replace(".", ",") for v in row]) for i, row in
        enumerate(values)]
    path = tmp_path / "eu.csv"
    path.write_text("\n".join(lines) + "\n")
    nodes = torvwy.import_file(path, tmp_path / "d", "c", "1", channels=["a", "b", "c"],
                               rate=50.0, decimal_comma=True)
    for k, node in enumerate(nodes):
        np.testing.assert_array_equal(node_values(node, 600), values[:, k])


def test_failures_name_the_nodes_and_write_nothing(tmp_path, home):
    path = tmp_path / "rig.mat"
    write_mat(path)
    data = tmp_path / "d"
    torvwy.import_file(path, data, "m", "1", channels=["strain"])
    before = sorted(p.name for p in data.iterdir())
    with pytest.raises(torvwy.TorvwyError, match=r"m1#strain exists already.*overwrite=True"):
        torvwy.import_file(path, data, "m", "1")
    assert sorted(p.name for p in data.iterdir()) == before
    assert len(torvwy.import_file(path, data, "m", "1", overwrite=True)) == 5
    with pytest.raises(torvwy.TorvwyError, match="no channel 'nope'"):
        torvwy.read_channels(path, channels=["nope"])
    with pytest.raises(ValueError):
        torvwy.import_file(path, data, "m", "1", rate=-1)


@pytest.mark.parametrize("fmt,c1,says", [
    # 150 x 1e6 = 1.5e8 raw units: beyond 951's -10000..9999.69.
    (951, 1e6, r"channel 'b', sample 2: 150 x c2 1 x c1 1e\+06 = 1.5e\+08 raw units, beyond"),
    # 0.002 x 1e-300 rounds to 0 in every sample of a: nothing would be left of it.
    (951, 1e-300, r"channel 'a', every value other than 0 rounds to 0 in format 951"),
    (885, 1e300, r"channel 'a', sample 1: -0.002 x c2 1 x c1 1e\+300"),
    (886, 1e307, r"channel 'b', sample 2: .* = inf raw units"),
])
def test_import_refuses_values_a_node_cant_keep(tmp_path, home, fmt, c1, says):
    path = tmp_path / "gauges.mat"
    i = np.arange(600)
    b = np.where(i % 2 == 1, 150.0, -150.0)
    b[0] = 0.0
    scipy_io.savemat(path, {"fs": 100.0, "a": 0.001 * (i % 5 - 2), "b": b})
    data = tmp_path / "d"
    with pytest.raises(torvwy.TorvwyError, match=says):
        torvwy.import_file(path, data, "g", "1", format=fmt, c1=c1)
    assert not (data / "g1#b.sts").exists() and not (data / "g1#b.tsp").exists()


def test_write_node_keeps_every_value_or_refuses(tmp_path):
    # c1 for 886 fits 1e300 (2^-984): 1e-310 x c1 is 0, so the value can't come back.
    values = np.array([1e300, 1e-310, -1.0, 1.0])
    with pytest.raises(torvwy.TorvwyError, match=r"sample 2: 1e-310 x c2 1 x c1 .* reads back"):
        torvwy.write_node(tmp_path, "w", "1", "a", values, 10.0)
    with pytest.raises(torvwy.TorvwyError, match="full scale"):
        torvwy.write_node(tmp_path, "w", "1", "a", np.array([1.7976931348623157e308, 0.0]), 10.0)
    assert not list(tmp_path.iterdir())
    # Without the huge value c1 keeps the subnormal: every value comes back as it went in.
    torvwy.write_node(tmp_path, "w", "1", "a", values[1:], 10.0)
    np.testing.assert_array_equal(torvwy.Node(tmp_path, "w", "1", "a").samples()[:3], values[1:])


@pytest.mark.parametrize("field", ["test", "code", "node"])
def test_names_with_control_characters_are_refused(tmp_path, home, field):
    names = {"test": "t", "code": "1", "node": "a"}
    names[field] = "x\ny"
    with pytest.raises(torvwy.TorvwyError, match=r'"x\\ny" holds a control character'):
        torvwy.write_node(tmp_path, names["test"], names["code"], names["node"],
                          np.arange(4.0), 10.0)
    path = tmp_path / "two.csv"
    path.write_text("a,b\n1,2\n3,4\n")
    node_names = [names["node"], "b"]
    with pytest.raises(torvwy.TorvwyError, match="holds a control character"):
        torvwy.import_file(path, tmp_path / "d", names["test"], names["code"],
                           node_names=node_names, rate=10.0)
    assert [p.name for p in tmp_path.iterdir()] == ["two.csv"]


def test_guide_import_commands(tmp_path, home):
    """The import examples of the user guide, run as written in a folder holding their files."""
    block = doc_block("import-commands")
    write_mat(tmp_path / "rig.mat")
    write_h5(tmp_path / "run.h5")
    soundfile.write(tmp_path / "rig.wav", RNG.uniform(-0.5, 0.5, (2000, 4)), 4000,
                    subtype="PCM_24")
    (tmp_path / "rig.csv").write_text("t;x;y\n0;1,5;2\n0,01;2,5;3\n0,02;-1;4\n")
    outputs = []
    for line in block.strip().splitlines():
        args = shlex.split(line.split("#")[0])
        assert args[0] == "torvwy"
        done = run_cli(*args[1:], cwd=tmp_path)
        outputs.append(done.stdout)
    assert "imported 5 of 5 channels" in outputs[0]
    assert "channel 1 'run1/strain' -> node run1_strain" in outputs[1]
    assert "channel 3 'ch3' -> node b" in outputs[2]
    assert "imported 2 of 2 channels" in outputs[3]
    names = sorted(p.name for p in (tmp_path / "d").glob("*.tsp"))
    assert "T1#x.tsp" in names and "T1#a.tsp" in names and "T1#force_3.tsp" in names
    assert CLI.is_file()
