"""Every file the package writes goes through the core's one save: a regular file is replaced, a
link to one is followed, and anything else at the name (a FIFO, a device, a socket, a folder, a
link to one of those or to nothing) is refused in one line with nothing touched."""

import os
import socket
import stat

import numpy as np
import pandas
import pytest

import torvwy
from test_fleet import _fleet, _one_line_failure, campaign  # noqa: F401 - the fixture
from torvwy import fleet


def kind_at(path):
    """What stands at `path`, without following a link."""
    try:
        mode = os.lstat(path).st_mode
    except FileNotFoundError:
        return "missing"
    for test, name in ((stat.S_ISLNK, "link"), (stat.S_ISREG, "file"), (stat.S_ISFIFO, "fifo"),
                       (stat.S_ISCHR, "char"), (stat.S_ISSOCK, "socket"), (stat.S_ISDIR, "folder")):
        if test(mode):
            return name
    return "other"


class Targets:
    """Makes each kind of thing a save may meet at a name, in its own folder (the folder's listing
    tells whether a save left anything), and keeps the sockets open while they are used."""

    def __init__(self, root):
        self.root = root
        self.sockets = []
        os.mkdir(root / "elsewhere")
        (root / "elsewhere" / "real").write_bytes(b"old")
        os.mkfifo(root / "elsewhere" / "fifo")
        os.mkdir(root / "elsewhere" / "folder")
        self.device = self._device(root / "elsewhere" / "null")
        self._socket(root / "elsewhere" / "socket")

    def _device(self, path):
        # A device as /dev/null is: made here, so that no real device is at stake.
        try:
            os.mknod(path, stat.S_IFCHR | 0o666, os.makedev(1, 3))
            return True
        except PermissionError:
            return False

    def _socket(self, path):
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        sock.bind(str(path))
        self.sockets.append(sock)

    def make(self, kind, path):
        """Puts a `kind` at `path` (in a folder of its own); False when it can't be made here."""
        os.makedirs(path.parent, exist_ok=True)
        elsewhere = self.root / "elsewhere"
        if kind == "file":
            path.write_bytes(b"old")
        elif kind == "fifo":
            os.mkfifo(path)
        elif kind == "char":
            return self._device(path)
        elif kind == "socket":
            self._socket(path)
        elif kind == "folder":
            os.mkdir(path)
        elif kind == "dangling link":
            os.symlink(elsewhere / "nowhere", path)
        else:  # "link to X"
            named = {"file": "real", "fifo": "fifo", "char": "null", "socket": "socket",
                     "folder": "folder"}[kind.split()[-1]]
            if named == "null" and not self.device:
                return False
            os.symlink(elsewhere / named, path)
        return True

    def close(self):
        for sock in self.sockets:
            sock.close()


KINDS = ["file", "link to file", "dangling link", "fifo", "char", "socket", "folder",
         "link to fifo", "link to char", "link to socket", "link to folder"]


@pytest.fixture
def targets(tmp_path):
    made = Targets(tmp_path)
    yield made
    made.close()


def check_save(targets, kind, path, save, files_written=1):
    """Saves through `save` over a `kind` at `path` and checks the outcome the save table gives."""
    if not targets.make(kind, path):
        return
    before = sorted(os.listdir(path.parent))
    if kind in ("file", "link to file"):
        save()
        assert kind_at(path) == ("file" if kind == "file" else "link"), kind
        written = path if kind == "file" else targets.root / "elsewhere" / "real"
        assert written.read_bytes() != b"old", kind
        assert len(os.listdir(path.parent)) == len(before) + files_written - 1, kind
        return
    with pytest.raises(torvwy.TorvwyError) as refused:
        save()
    text = str(refused.value)
    assert "\n" not in text, kind
    reason = "which does not exist" if kind == "dangling link" else "not a regular file"
    assert reason in text and "nothing was written" in text, (kind, text)
    assert kind_at(path) == shape(kind), kind
    assert sorted(os.listdir(path.parent)) == before, kind  # no temporary file, no other part
    assert kind_at(targets.root / "elsewhere" / "nowhere") == "missing"


def shape(kind):
    """What kind_at() tells of a `kind` made by Targets.make."""
    return "link" if "link" in kind else kind


def counted_result():
    return torvwy.rainflow(np.sin(np.linspace(0.0, 40.0, 5000)), partitions=8)


@pytest.mark.parametrize("kind", KINDS)
def test_every_save_meets_every_target_as_the_core_saves_do(targets, kind):
    root = targets.root
    rows = pandas.DataFrame([{"a": 1, "b": "x"}])
    csv = root / "fleet" / "rows.csv"
    check_save(targets, kind, csv, lambda: fleet._save_csv(rows, csv))
    result = counted_result()
    check_save(targets, kind, root / "result" / "r.RFL",
               lambda: result.save(root / "result" / "r.RFL"))
    samples = np.arange(600.0)
    for part in ("tsp", "sts"):
        data = root / f"node-{part}"
        check_save(targets, kind, data / f"t1#1.{part}",
                   lambda: torvwy.write_node(data, "t", "1", "1", samples, 100.0),
                   files_written=2)
    recording = root / "recording.csv"
    recording.write_text("n\n" + "\n".join(str(v) for v in range(600)) + "\n")
    for part in ("tsp", "sts"):
        data = root / f"import-{part}"
        check_save(targets, kind, data / f"t1#n.{part}",
                   lambda: torvwy.import_file(recording, data, "t", "1", rate=100.0,
                                              overwrite=True),
                   files_written=2)


def test_fleet_command_refuses_a_special_csv_before_any_task(campaign, targets):  # noqa: F811
    common = ("--scheduler", "local", "--workers", 1, "--data", campaign, "--test", "camp",
              "--codes", "1", "--nodes", "1", "peak", "--csv")
    root = targets.root
    for kind in ("fifo", "char", "dangling link", "link to folder"):
        csv = root / kind.replace(" ", "-") / "rows.csv"
        if not targets.make(kind, csv):
            continue
        done = _fleet(*common, csv, timeout=60)
        _one_line_failure(done, 1, "nothing was written")
        assert kind_at(csv) == shape(kind), kind
    # A link to a regular file: the file it names gets the rows, the link stays.
    csv = root / "linked" / "rows.csv"
    targets.make("link to file", csv)
    done = _fleet(*common, csv)
    assert done.returncode == 0, done.stderr
    assert kind_at(csv) == "link"
    assert (root / "elsewhere" / "real").read_text().startswith("test,code,node,analysis,error")
    assert os.listdir(csv.parent) == ["rows.csv"]
