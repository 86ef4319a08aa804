"""Every command and Python block of the README and the user guide (docs/*.md), and the Python of
the quick start, run as written with Debian's interpreter, /usr/bin/python3, in a folder laid
out as the pages expect (build/release/python, build/sample, strain.npy, lab/, ...). Only what
a page can't hold is put in: the scheduler's address, the shared data folder, a live record of
seconds instead of minutes. A block is taken by its mark (see doc_blocks.py); a block that is
neither run nor marked as not run fails the first test."""

import json
import os
import pathlib
import re
import subprocess

import numpy as np
import pytest

from conftest import CLI, PACKAGE, ROOT, run_cli
from doc_blocks import RUN_LANGUAGES, all_blocks, doc_block

PYTHON = "/usr/bin/python3"
SCHEDULER = "tcp://scheduler:8786"
SHARED = "/shared/campaign"


def test_every_block_is_run_or_marked_not_run():
    blocks = all_blocks()
    unmarked = [b.where() for b in blocks if b.language in RUN_LANGUAGES and b.mark is None]
    assert not unmarked, f"blocks neither run nor marked '<!-- not run: why -->': {unmarked}"
    mislabelled = [b.where() for b in blocks if b.mark and b.language not in RUN_LANGUAGES]
    assert not mislabelled, f"marks on blocks that are not sh or python: {mislabelled}"
    names = [b.name for b in blocks if b.mark == "run"]
    assert len(names) == len(set(names)), f"a run name is used twice: {sorted(names)}"
    # A block marked to run must be taken by a test: doc_block("name") in python/tests.
    tests = "".join(p.read_text() for p in (ROOT / "python" / "tests").glob("test_*.py"))
    untaken = [n for n in names if f'doc_block("{n}")' not in tests]
    assert not untaken, f"blocks marked to run that no test runs: {untaken}"
    # The README is the front door: short, and every guide page in its table of contents.
    readme = (ROOT / "README.md").read_text()
    assert readme.count("\n") <= 320
    pages = sorted(p.name for p in (ROOT / "docs").glob("*.md"))
    assert len(pages) >= 6
    missing = [p for p in pages if f"](docs/{p})" not in readme]
    assert not missing, f"guide pages missing from the README's contents: {missing}"


def test_links_between_pages_lead_somewhere():
    for page in [ROOT / "README.md"] + sorted((ROOT / "docs").glob("*.md")):
        text = page.read_text()
        for target in re.findall(r"\]\(([^)#\s]+\.(?:md|png))(?:#[^)]*)?\)", text):
            assert (page.parent / target).is_file(), f"{page.name} links to {target}"
        for target, anchor in re.findall(r"\]\(([^)#\s]*\.md)#([^)]+)\)", text):
            headings = (page.parent / target).read_text()
            slugs = {re.sub(r"[^\w\- ]", "", h.lower()).strip().replace(" ", "-")
                     for h in re.findall(r"^#+ (.+)$", headings, re.M)}
            assert anchor in slugs, f"{page.name} links to {target}#{anchor}"


@pytest.fixture(scope="module")
def place(home, tmp_path_factory):
    """The project folder as the pages see it: the package, the sample test, a CSV recording,
    the campaign of the fleet examples, and a PATH whose torvwy is the built one and whose
    python3 is Debian's."""
    root = tmp_path_factory.mktemp("readme")
    (root / "build" / "release").mkdir(parents=True)
    (root / "build" / "release" / "python").symlink_to(PACKAGE)
    # The quick start's sample test, whose numbers the fatigue page quotes.
    run_cli("gen", "--data", root / "build" / "sample", "--test", "demo", "--code", 1, "--nodes",
            4, "--blocks", 200)
    rng = np.random.default_rng(11)
    np.save(root / "strain.npy", np.cumsum(rng.normal(0.0, 2.0, 10_000)))
    times = np.arange(6000) / 1000.0
    strain = 80.0 * np.sin(2 * np.pi * 3 * times) + rng.normal(0.0, 20.0, times.size)
    (root / "strain.csv").write_text(
        "time,strain\n" + "".join(f"{t:g},{s:.3f}\n" for t, s in zip(times, strain)))
    readme = (ROOT / "README.md").read_text()
    assert (root / "strain.csv").read_text()[:30] in readme  # the lines the README shows
    scipy_io = pytest.importorskip("scipy.io")
    scipy_io.savemat(root / "rig.mat", {"strain": rng.normal(0.0, 5.0, 3000),
                                        "force": rng.normal(0.0, 1.0, (3000, 2)), "fs": 500.0})
    campaign = root / "campaign"
    for code in (1, 2):
        run_cli("gen", "--data", campaign, "--test", "T", "--code", code, "--nodes", 2,
                "--blocks", 20)
    (root / "bin").mkdir()
    (root / "bin" / "python3").symlink_to(PYTHON)
    (root / "bin" / "torvwy").symlink_to(CLI)
    env = dict(os.environ, PATH=f"{root / 'bin'}{os.pathsep}{os.environ['PATH']}",
               PYTHONPATH=str(root / "build" / "release" / "python"))
    return root, campaign, env


def run(args, place, stdin=None, cwd=None):
    root, _, env = place
    done = subprocess.run(args, cwd=cwd or root, env=env, input=stdin, capture_output=True,
                          text=True, timeout=300)
    assert done.returncode == 0, f"{args}\n{done.stdout}\n{done.stderr}"
    return done


def put_in(text, old, new):
    assert old in text, f"the page no longer says {old}"
    return text.replace(old, new)


def quoted_lines(page, after):
    """The lines of the first text block after `after` on a page (README.md or a guide page)."""
    text = (page if isinstance(page, pathlib.Path) else ROOT / "docs" / page).read_text()
    block = text[text.index(after):]
    block = block[block.index("```text\n") + 8:]
    return [line for line in block[:block.index("```")].splitlines() if line != "..."]


def bash(script, place, cwd=None):
    return run(["bash", "-e", "-c", script], place, cwd=cwd)


# The README's faces, on the CSV recording.

def test_readme_command_line_python_and_fleet(place):
    root, _, _ = place
    done = bash(doc_block("readme-command-line"), place)
    for line in quoted_lines(ROOT / "README.md", "<!-- run: readme-command-line -->"):
        if line != "  ...":
            assert line in done.stdout, line
    life = json.loads((root / "life.json").read_text())
    assert life["analysis"] == "rainflow" and life["fatigue"]["total_damage"] > 0
    assert len(life["counts"]) == 32
    done = run([PYTHON, "-c", doc_block("readme-python")], place)
    assert done.stdout.strip()
    (root / "rows.csv").unlink(missing_ok=True)
    bash(doc_block("readme-fleet"), place)
    assert (root / "rows.csv").read_text().count("\n") == 2  # the header and the one waveform


def test_command_line_session(place, tmp_path):
    bash(doc_block("cli-session"), place, cwd=tmp_path)
    assert (tmp_path / "d" / "demo1#2.RFL").is_file()
    assert json.loads((tmp_path / "rainflow.json").read_text())["N"] == 12


def test_counting_method_examples(place):
    for block in (doc_block("counting-peak"), doc_block("counting-range"),
                  doc_block("counting-rainflow"), doc_block("counting-residue"),
                  doc_block("counting-from-to")):
        run([PYTHON, "-c", block], place)


def test_fatigue_worked_example_prints_what_the_page_says(place):
    root, _, _ = place
    done = bash(doc_block("fatigue-category-71"), place)
    for line in quoted_lines("fatigue.md", "<!-- run: fatigue-category-71 -->"):
        if not line.startswith(("list file:", "  ...")):
            assert line in done.stdout, line
    assert (root / "matrix.csv").read_text().startswith("range_from,range_to,")
    done = bash(doc_block("fatigue-curve-file"), place)
    for line in quoted_lines("fatigue.md", "<!-- run: fatigue-curve-file -->"):
        assert line in done.stdout, line


def test_programme_worked_example_prints_what_the_page_says(place, tmp_path):
    root, _, _ = place
    (tmp_path / "build").mkdir()
    (tmp_path / "build" / "sample").symlink_to(root / "build" / "sample")
    done = bash(doc_block("programme-track"), place, cwd=tmp_path)
    for line in quoted_lines("programmes.md", "<!-- run: programme-track -->"):
        assert line in done.stdout, line
    table = (tmp_path / "events.csv").read_text()
    for line in quoted_lines("programmes.md", "`events.csv` holds the table"):
        assert line in table, line


def test_programme_in_python(place):
    done = run([PYTHON, "-c", doc_block("python-programme")], place)
    assert "damage" in done.stdout and "brake stop" in done.stdout


def test_follow_of_a_rig(place, tmp_path):
    """The live example with a record of three seconds; the follow starts once the .tsp is
    there, as a rig's follow would be started on a running node."""
    script = put_in(doc_block("follow-a-rig"), "--live 600 &", "--live 3 &")
    script = put_in(script, "# a simulated rig\n",
                    "\nwhile [ ! -e rig/run1#1.tsp ]; do sleep 0.1; done\n")
    done = bash(script + "\nwait\n", place, cwd=tmp_path)
    assert "live:" in done.stdout and "total damage" in done.stdout


# The Python pages.

def test_interpreter_setup(place):
    # The interpreter started as the page starts it finds the package; its input here is a
    # line instead of a person.
    done = run(["bash", "-c", doc_block("python-setup")], place,
               stdin="import torvwy; print(torvwy.Node)\n")
    assert "torvwy.Node" in done.stdout


def test_package_snippet(place):
    root, _, _ = place
    run([PYTHON, "-c", doc_block("python-package")], place)
    assert (root / "demo1#2.RFL").is_file() and (root / "data" / "strain1#a.tsp").is_file()
    assert sorted(p.name for p in (root / "data").glob("rig1#*.tsp")) == [
        "rig1#force_1.tsp", "rig1#force_2.tsp", "rig1#strain.tsp"]


def test_fleet_snippet(place):
    _, campaign, _ = place
    code = put_in(doc_block("fleet-python"), f'Client("{SCHEDULER}")',
                  'Client(LocalCluster(n_workers=2, threads_per_worker=1, host="127.0.0.1", '
                  'dashboard_address=None))')
    code = put_in(code, f'"{SHARED}"', repr(str(campaign)))
    code = "from dask.distributed import LocalCluster\n" + code + "\nassert len(rows) == 4\n"
    run([PYTHON, "-c", code], place)


def test_fleet_command(place):
    root, _, _ = place
    (root / "rows.csv").unlink(missing_ok=True)
    done = run(["bash", "-c", doc_block("fleet-command")], place)
    assert "4 waveforms" in done.stdout and (root / "rows.csv").is_file()


def test_cluster_commands(place):
    """The package's command against a running scheduler; the scheduler and the workers that
    Dask's own commands start are a local cluster here."""
    distributed = pytest.importorskip("dask.distributed")
    root, campaign, _ = place
    block = doc_block("fleet-cluster")
    lines = [line for line in block.splitlines() if not line.startswith("dask ")]
    assert len(lines) < len(block.splitlines())
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
