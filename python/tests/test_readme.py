"""Every command and snippet of the README's Python sections, and the Python of the quick start,
run as written with Debian's interpreter, /usr/bin/python3, in a folder laid out as the README
expects (build/release/python, build/sample, strain.npy). Only the cluster's names are put in:
the scheduler's address and the shared data folder."""

import os
import re
import subprocess

import numpy as np
import pytest

from conftest import PACKAGE, ROOT, run_cli

PYTHON = "/usr/bin/python3"
SCHEDULER = "tcp://scheduler:8786"
SHARED = "/shared/campaign"


def readme_blocks():
    """The fenced blocks (language, text) from "## Python" up to "## The Debian package"."""
    text = (ROOT / "README.md").read_text()
    section = text[text.index("\n## Python\n"):text.index("\n## The Debian package\n")]
    return re.findall(r"```(\w+)\n(.*?)```", section, re.S)


BLOCKS = readme_blocks()


@pytest.fixture(scope="module")
def place(home, tmp_path_factory):
    """The project folder as the README sees it, the campaign of the fleet examples, and a
    PATH whose python3 is Debian's."""
    root = tmp_path_factory.mktemp("readme")
    (root / "build" / "release").mkdir(parents=True)
    (root / "build" / "release" / "python").symlink_to(PACKAGE)
    run_cli("gen", "--data", root / "build" / "sample", "--test", "demo", "--code", 1, "--nodes",
            4, "--blocks", 60)
    rng = np.random.default_rng(11)
    np.save(root / "strain.npy", np.cumsum(rng.normal(0.0, 2.0, 10_000)))
    scipy_io = pytest.importorskip("scipy.io")
    scipy_io.savemat(root / "rig.mat", {"strain": rng.normal(0.0, 5.0, 3000),
                                        "force": rng.normal(0.0, 1.0, (3000, 2)), "fs": 500.0})
    campaign = root / "campaign"
    for code in (1, 2):
        run_cli("gen", "--data", campaign, "--test", "T", "--code", code, "--nodes", 2,
                "--blocks", 20)
    (root / "bin").mkdir()
    (root / "bin" / "python3").symlink_to(PYTHON)
    env = dict(os.environ, PATH=f"{root / 'bin'}{os.pathsep}{os.environ['PATH']}")
    return root, campaign, env


def run(args, place, stdin=None):
    root, _, env = place
    done = subprocess.run(args, cwd=root, env=env, input=stdin, capture_output=True, text=True,
                          timeout=300)
    assert done.returncode == 0, f"{args}\n{done.stdout}\n{done.stderr}"
    return done


def put_in(text, old, new):
    assert old in text, f"the README no longer says {old}"
    return text.replace(old, new)


def test_the_readme_has_the_blocks_run_here():
    # A new block must be run below as well.
    assert [language for language, _ in BLOCKS] == ["sh", "python", "python", "sh", "sh"]


def test_interpreter_setup(place):
    # The interpreter started as the README starts it finds the package; its input here is a
    # line instead of a person.
    done = run(["bash", "-c", BLOCKS[0][1]], place, stdin="import torvwy; print(torvwy.Node)\n")
    assert "torvwy.Node" in done.stdout


def test_package_snippet(place):
    root, _, _ = place
    run([PYTHON, "-c", BLOCKS[1][1]], place)
    assert (root / "demo1#2.RFL").is_file() and (root / "data" / "strain1#a.tsp").is_file()
    assert sorted(p.name for p in (root / "data").glob("rig1#*.tsp")) == [
        "rig1#force_1.tsp", "rig1#force_2.tsp", "rig1#strain.tsp"]


def test_fleet_snippet(place):
    _, campaign, _ = place
    code = put_in(BLOCKS[2][1], f'Client("{SCHEDULER}")',
                  'Client(LocalCluster(n_workers=2, threads_per_worker=1, host="127.0.0.1", '
                  'dashboard_address=None))')
    code = put_in(code, f'"{SHARED}"', repr(str(campaign)))
    code = "from dask.distributed import LocalCluster\n" + code + "\nassert len(rows) == 4\n"
    run([PYTHON, "-c", code], place)


def test_fleet_command(place):
    root, _, _ = place
    (root / "rows.csv").unlink(missing_ok=True)
    done = run(["bash", "-c", BLOCKS[3][1]], place)
    assert "4 waveforms" in done.stdout and (root / "rows.csv").is_file()


def test_cluster_commands(place):
    """The package's command against a running scheduler; the scheduler and the workers that
    Dask's own commands start are a local cluster here."""
    distributed = pytest.importorskip("dask.distributed")
    root, campaign, _ = place
    lines = [line for line in BLOCKS[4][1].splitlines() if not line.startswith("dask ")]
    assert len(lines) < len(BLOCKS[4][1].splitlines())
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       host="127.0.0.1", dashboard_address=None)
    try:
        script = put_in("\n".join(lines), SCHEDULER, cluster.scheduler_address)
        script = put_in(script, SHARED, str(campaign))
        (root / "rows.csv").unlink(missing_ok=True)
        done = run(["bash", "-c", script], place)
    finally:
        cluster.close()
    assert "4 waveforms" in done.stdout and (root / "rows.csv").is_file()


def test_quick_start_python(place):
    script = (ROOT / "scripts" / "quick-start.sh").read_text()
    found = re.search(r"^(PYTHONPATH=\S+ /usr/bin/python3 .*?<<'PYTHON'\n.*?\nPYTHON)$", script,
                      re.S | re.M)
    assert found, "the quick start no longer counts from Python"
    done = run(["bash", "-c", "sample=build/sample\n" + found.group(1)], place)
    assert "rainflow of node 2" in done.stdout
