"""Fixtures of the package's tests: the built package and command line, and the sample test.

TORVWY_BUILD names the build folder (default build/test of the checkout); its python/ folder
holds the package and its bin/ folder the torvwy command."""

import json
import os
import pathlib
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("TORVWY_BUILD", ROOT / "build" / "test")).resolve()
PACKAGE = BUILD / "python"
CLI = BUILD / "bin" / "torvwy"

sys.path.insert(0, str(PACKAGE))
# Dask's worker processes find the package the same way.
os.environ["PYTHONPATH"] = os.pathsep.join(
    [str(PACKAGE)] + [p for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p]
)


@pytest.fixture(scope="session")
def home(tmp_path_factory):
    """A profile folder of the tests' own, so that no user setting changes a count."""
    path = tmp_path_factory.mktemp("home")
    os.environ["TORVWY_HOME"] = str(path)
    return path


def run_cli(*args, check=True, cwd=None):
    """Runs the torvwy command (in `cwd`); returns the completed process."""
    done = subprocess.run([str(CLI), *map(str, args)], capture_output=True, text=True, cwd=cwd)
    if check and done.returncode != 0:
        raise AssertionError(f"torvwy {' '.join(map(str, args))}: {done.stderr}")
    return done


def cli_json(*args):
    """The JSON object of a torvwy command run with --json."""
    return json.loads(run_cli(*args, "--json").stdout)


@pytest.fixture(scope="session")
def sample(home, tmp_path_factory):
    """The built-in sample test: demo, code 1, nodes 1-4, 60 blocks each."""
    data = tmp_path_factory.mktemp("sample")
    run_cli("gen", "--data", data, "--test", "demo", "--code", "1", "--nodes", "4", "--blocks", 60)
    return data
