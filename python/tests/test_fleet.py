"""Fleet batches on a 2-worker LocalCluster (loopback only) equal the local loop row for row."""

import os
import shutil
import subprocess
import sys

import pandas
import pytest

import torvwy
from conftest import PACKAGE, run_cli
from torvwy import fleet


@pytest.fixture(scope="module")
def campaign(home, tmp_path_factory):
    """Codes 1-3 with nodes 1-4 each; node 3 of code 2, in the middle, has a cut waveform."""
    data = tmp_path_factory.mktemp("campaign")
    for code in (1, 2, 3):
        run_cli("gen", "--data", data, "--test", "camp", "--code", code, "--nodes", 4,
                "--blocks", 20)
    broken = data / "camp2#3.sts"
    with open(broken, "r+b") as out:
        out.truncate(1000)
    return data


@pytest.fixture(scope="module")
def client():
    distributed = pytest.importorskip("dask.distributed")
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       host="127.0.0.1", dashboard_address=None)
    with distributed.Client(cluster) as c:
        yield c
    cluster.close()


@pytest.mark.parametrize("analysis,options", [
    ("rainflow", dict(partitions=16, fatigue=dict(method="actual", weld_class="F2"))),
    ("peak", dict(partitions=10, amplitude="full")),
    ("range", dict(blocks=(2, 12))),
    ("crossings", dict(partitions=6)),
    ("range-pairs", dict(partitions=9, amplitude="full")),
    ("time-at-level", dict(partitions=7)),
    ("stats", {}),
])
def test_cluster_equals_local_loop(campaign, client, analysis, options):
    on_cluster = fleet.run(client, campaign, "camp", "1-3", "1-4", analysis, **options)
    local = fleet.run_local(campaign, "camp", "1-3", "1-4", analysis, **options)
    pandas.testing.assert_frame_equal(on_cluster, local)
    assert list(zip(local["code"], local["node"])) == [
        (str(c), str(n)) for c in (1, 2, 3) for n in (1, 2, 3, 4)]
    failed = local[local["error"].notna()]
    assert list(zip(failed["code"], failed["node"])) == [("2", "3")]
    assert "camp2#3" in failed["error"].iloc[0]


def test_rows_hold_the_analysis_summary(campaign):
    rows = fleet.run_local(campaign, "camp", "1", "2", "rainflow", partitions=12,
                           fatigue=dict(method="fitting", weld_class="D", reliability=1))
    result = torvwy.rainflow(torvwy.Node(campaign, "camp", "1", "2"), partitions=12,
                             fatigue=dict(method="fitting", weld_class="D", reliability=1))
    row = rows.iloc[0]
    assert row["total_cycles"] == result.counts.sum()
    assert row["largest"] == result.largest
    top = max(j for j in range(12) if result.counts[j] > 0)
    assert row["largest_range"] == (top + 1) * result.w
    assert row["total_damage"] == result.fatigue.total_damage
    assert row["life"] == pytest.approx(1.0 / result.fatigue.total_damage)


def test_command_writes_the_csv(campaign, tmp_path):
    csv = tmp_path / "rows.csv"
    done = subprocess.run(
        [sys.executable, "-m", "torvwy.fleet", "--scheduler", "local", "--workers", "2",
         "--data", campaign, "--test", "camp", "--codes", "1-2", "--nodes", "3-4", "peak",
         "--partitions", "8", "--csv", csv],
        capture_output=True, text=True, cwd=PACKAGE, timeout=120)
    assert done.returncode == 0, done.stderr
    assert "4 waveforms, 1 failed" in done.stdout
    written = pandas.read_csv(csv, dtype={"code": str, "node": str})
    local = fleet.run_local(campaign, "camp", "1-2", "3-4", "peak", partitions=8)
    assert list(written["largest_total"].fillna(-1)) == list(local["largest_total"].fillna(-1))
    bad = subprocess.run(
        [sys.executable, "-m", "torvwy.fleet", "--scheduler", "local", "--data", campaign,
         "--test", "camp", "--codes", "3-1", "--nodes", "1", "rainflow", "--csv", csv],
        capture_output=True, text=True, cwd=PACKAGE, timeout=60)
    assert bad.returncode == 1 and bad.stderr.startswith("torvwy.fleet: ")


def _fleet(*args, timeout=120):
    return subprocess.run([sys.executable, "-m", "torvwy.fleet", *map(str, args)],
                          capture_output=True, text=True, cwd=PACKAGE, timeout=timeout)


def _one_line_failure(done, code, text):
    assert done.returncode == code, done.stderr
    assert "Traceback" not in done.stderr
    # Ours is one line; Dask may warn before it (a port taken by another cluster).
    ours = [line for line in done.stderr.splitlines() if line.startswith("torvwy.fleet: ")]
    assert len(ours) == 1 and text in ours[0], done.stderr


def test_command_refuses_what_it_cannot_do_in_one_line(campaign, tmp_path):
    csv = tmp_path / "rows.csv"
    common = ("--data", campaign, "--test", "camp", "--codes", "1", "--nodes", "1", "peak")
    # No workers: a local cluster of none would wait forever (argparse's usage and one error).
    for workers in (0, -1):
        done = _fleet("--scheduler", "local", "--workers", workers, *common, "--csv", csv,
                      timeout=60)
        assert done.returncode == 2 and "1 or more workers" in done.stderr.splitlines()[-1]
    done = _fleet("--scheduler", "local", "--data", tmp_path / "none", "--test", "camp",
                  "--codes", "1", "--nodes", "1", "peak", "--csv", csv, timeout=60)
    _one_line_failure(done, 1, "none: no such folder")
    done = _fleet("--scheduler", "nonsense://nowhere", *common, "--csv", csv, timeout=60)
    _one_line_failure(done, 1, "torvwy.fleet: scheduler nonsense://nowhere: ")
    done = _fleet("--scheduler", "local", "--workers", 1, *common, "--csv",
                  tmp_path / "no" / "rows.csv")
    _one_line_failure(done, 1, "rows.csv: No such file or directory")
    assert not csv.exists()


def test_every_pair_present_in_any_form_gets_a_row(home, tmp_path):
    data = tmp_path / "odd"
    run_cli("gen", "--data", data, "--test", "odd", "--code", 1, "--nodes", 2, "--blocks", 4)
    os.mkfifo(data / "odd1#3.tsp")                              # a FIFO beside no waveform
    shutil.copy(data / "odd1#1.sts", data / "odd1#4.STS")       # a waveform without parameters
    shutil.copy(data / "odd1#1.tsp", data / "odd1#5.tsp")       # parameters without a waveform
    os.symlink(data / "nowhere.tsp", data / "odd1#6.tsp")       # a link that leads nowhere
    for analysis in ("peak", "stats"):
        rows = fleet.run_local(data, "odd", "1", "1-7", analysis)
        assert list(rows["node"]) == ["1", "2", "3", "4", "5", "6"], analysis
        assert list(rows["error"].isna()) == [True, True, False, False, False, False], analysis
    with pytest.raises(torvwy.TorvwyError, match="no such folder"):
        fleet.run_local(tmp_path / "none", "odd", "1", "1")


def test_options_every_waveform_would_refuse_fail_once_before_any_task(campaign, tmp_path):
    csv = tmp_path / "rows.csv"
    common = ("--scheduler", "local", "--workers", 1, "--data", campaign, "--test", "camp",
              "--codes", "1", "--nodes", "1", "--csv", csv)
    # The command line's own words (torvwy rainflow --fatigue actual --class Q ...).
    for args, text in [
        (("rainflow", "--fatigue", "actual", "--class", "Q"),
         '--class "Q" is not one of B C D E F F2 G W S T'),
        (("rainflow", "--fatigue", "fitting", "--reliability", "7"),
         '--reliability "7" is not one of 0 0.5 1 2 3'),
        (("peak", "--partitions", "0"), "--partitions must be 1 or more"),
        (("range", "--amplitude", "-5"), "--amplitude = -5 is not a finite number above 0"),
    ]:
        done = _fleet(*common, *args, timeout=30)
        _one_line_failure(done, 1, text)
        assert not csv.exists()
    # The package's: refused before a task or a row is made.
    for options in [dict(fatigue=dict(weld_class="Q")), dict(partitions=0),
                    dict(amplitude="half"), dict(colour="red")]:
        with pytest.raises((ValueError, torvwy.TorvwyError)):
            fleet.run_local(campaign, "camp", "1-3", "1-4", "rainflow", **options)
    with pytest.raises(ValueError, match="rainflow"):
        fleet.run_local(campaign, "camp", "1", "1", "peak", fatigue=dict(method="actual"))
    with pytest.raises(TypeError, match="client must be a dask.distributed Client, not NoneType"):
        fleet.run(None, campaign, "camp", "1", "1", "peak")


def _programme(campaign, path):
    path.write_text(
        "[Programme]\nName=Fleet\nPartitions=16\nAmplitude=auto\nResidue=repeated\n"
        "Curve=en1993:71\n"
        + "".join(f"[Event {k}]\nData={campaign}\nTest=camp\nCode={code}\nNode=1\n"
                  f"Repeats={repeats}\n" for k, (code, repeats) in
                  enumerate([(1, 30), (3, 2), (1, 5), (2, 1000)], start=1)))
    return path


def test_a_programme_on_the_cluster_is_one_process_byte_for_byte(campaign, client, tmp_path):
    path = _programme(campaign, tmp_path / "fleet.programme")
    on_cluster = fleet.run_programme(client, path)
    assert on_cluster == fleet.run_programme_local(path)
    assert on_cluster[0] + "\n" == run_cli("programme", path, "--json").stdout
    run_cli("programme", path, "--csv", tmp_path / "cli.csv")
    assert on_cluster[1] == (tmp_path / "cli.csv").read_text()


def test_the_programme_command_writes_the_table_and_refuses_in_one_line(campaign, tmp_path):
    path = _programme(campaign, tmp_path / "fleet.programme")
    csv = tmp_path / "events.csv"
    done = _fleet("--scheduler", "local", "--workers", "2", "programme", path, "--json",
                  "--csv", csv)
    assert done.returncode == 0, done.stderr
    assert done.stdout == run_cli("programme", path, "--json").stdout
    assert csv.read_text().startswith("label,repeats,scale,cycles,")
    (tmp_path / "bad.programme").write_text("[Programme]\n[Event 1]\nRepeats=0\n")
    _one_line_failure(_fleet("--scheduler", "local", "programme", tmp_path / "bad.programme"),
                      1, "[Event 1] Repeats")
