"""Test programmes: recorded events with repeats counted as one load history."""

import json
import os

import numpy as np

from . import _torvwy
from ._results import Fields

_SETTINGS = ("name", "partitions", "amplitude", "residue", "gate", "curve", "reliability",
             "mean_correction", "ultimate", "walker_gamma", "frequency")
_EVENT_KEYS = ("source", "repeats", "scale", "label", "duration", "distance", "frequency", "unit",
               "full_scale")


def _text(value):
    """A number as the programme file writes it: the shortest text that reads back the same."""
    if isinstance(value, float):
        return repr(value)
    return str(value)


class ProgrammeResult(Fields):
    """What `torvwy programme --json` gives: `events` (a list of dicts), `cross_event_damage`,
    `total_damage`, `life_programmes`, `life_hours`, `life_km`, `equivalence`, the rainflow
    histogram's fields (`N`, `A`, `counts`, ... as numpy arrays), `fatigue`, and the matrices
    `range_mean`, `damage_matrix` and `from_to` (their `counts` as 2-D numpy arrays)."""

    def __init__(self, json_object):
        fields = dict(json_object)
        for key in ("range_mean", "damage_matrix", "from_to"):
            matrix = dict(fields[key])
            matrix["counts"] = np.array(matrix["counts"], dtype=float)
            fields[key] = matrix
        super().__init__(fields, lambda: json_object)

    def to_pandas(self):
        """The programme's tables as DataFrames: "events" (with the rows "across events" and
        "total"), "equivalence" (rows: the event whose repeats do the damage of one repeat of
        the column's) and "histogram" (partition bounds and counts)."""
        import pandas

        plain = self.to_dict()
        events = pandas.DataFrame(plain["events"])
        total = self.total_damage
        extra = pandas.DataFrame([
            {"label": "across events", "cycles": self.cross_event_cycles,
             "damage": self.cross_event_damage,
             "share": self.cross_event_damage / total if total > 0 else 0.0},
            {"label": "total", "cycles": self.fatigue["total_cycles"], "damage": total,
             "share": 1.0 if total > 0 else 0.0},
        ])
        equivalence = pandas.DataFrame(plain["equivalence"]).T.astype(float)
        n, width = self.N, self.w
        histogram = pandas.DataFrame({"from": np.arange(n) * width,
                                      "to": (np.arange(n) + 1) * width,
                                      "count": np.asarray(self.counts, dtype=float)[:n]})
        return {"events": pandas.concat([events, extra], ignore_index=True),
                "equivalence": equivalence, "histogram": histogram}


class Programme:
    """A test programme: events with repeats, counted as one load history.

    `events` is a list of dicts, each with "source" (a Node, or a 1-D numpy array of values in
    EU) and optionally "repeats" (default 1), "scale" (1.0), "label", "duration" (seconds per
    repeat), "distance" (km per repeat); an array event may also give "frequency" (Hz), "unit"
    and "full_scale" (EU). The settings are those of the programme file: `partitions`,
    `amplitude` ("full", "auto" or a number), `residue`, `gate`, `curve`, `reliability`,
    `mean_correction`, `ultimate`, `walker_gamma`, `frequency`. The core checks every value as
    it checks a file: ValueError/TorvwyError with the section and key."""

    def __init__(self, events, name="", partitions=64, amplitude="full", residue="half", gate=0.0,
                 curve="bs7608:B", reliability=2, mean_correction=None, ultimate=None,
                 walker_gamma=None, frequency=None):
        self.settings = {"name": name, "partitions": partitions, "amplitude": amplitude,
                         "residue": residue, "gate": gate, "curve": curve,
                         "reliability": reliability, "mean_correction": mean_correction,
                         "ultimate": ultimate, "walker_gamma": walker_gamma,
                         "frequency": frequency}
        self.events = [dict(event) for event in events]
        for event in self.events:
            unknown = set(event) - set(_EVENT_KEYS)
            if unknown:
                raise ValueError(f"unknown event key {sorted(unknown)[0]!r}")
            if "source" not in event:
                raise ValueError("every event needs its source: a Node or an array")
        self._folder = os.getcwd()
        self._text = _torvwy.programme_check(self._compose(), self._folder)

    @classmethod
    def from_file(cls, path):
        """The programme of a programme file; its relative Data folders lie beside it."""
        text, folder = _torvwy.programme_read(os.fspath(path))
        programme = cls.__new__(cls)
        programme._text, programme._folder = text, folder
        programme.settings, programme.events = None, None
        return programme

    def _compose(self):
        keys = {"name": "Name", "partitions": "Partitions", "amplitude": "Amplitude",
                "residue": "Residue", "gate": "Gate", "curve": "Curve",
                "reliability": "Reliability", "mean_correction": "MeanCorrection",
                "ultimate": "Ultimate", "walker_gamma": "WalkerGamma", "frequency": "Frequency"}
        lines = ["[Programme]"]
        for key, value in self.settings.items():
            if value is not None:
                lines.append(f"{keys[key]}={_text(value)}")
        for number, event in enumerate(self.events, start=1):
            lines.append(f"[Event {number}]")
            source = event["source"]
            if hasattr(source, "_node"):
                lines += [f"Data={source.data}", f"Test={source.test}", f"Code={source.code}",
                          f"Node={source.name}"]
            else:
                lines += ["Data=array", "Test=array", "Code=1", f"Node={number}"]
            for key, name in (("repeats", "Repeats"), ("scale", "Scale"), ("label", "Label"),
                              ("duration", "Duration"), ("distance", "Distance")):
                if event.get(key) is not None:
                    lines.append(f"{name}={_text(event[key])}")
        return "\n".join(lines) + "\n"

    def _arrays(self):
        arrays = {}
        for number, event in enumerate(self.events or [], start=1):
            if not hasattr(event["source"], "_node"):
                frequency = event.get("frequency")
                arrays[number] = (np.asarray(event["source"]),
                                  None if frequency is None else float(frequency),
                                  str(event.get("unit", "")),
                                  None if event.get("full_scale") is None
                                  else float(event["full_scale"]))
        return arrays

    def text(self):
        """The programme file's text."""
        return self._text

    def save(self, path):
        """Saves the programme file (through the system's one save routine); a programme of
        array events can't be saved: a file names nodes."""
        if self._arrays():
            raise ValueError("a programme of array events can't be saved as a file: "
                             "its events must be nodes")
        _torvwy.programme_save(os.fspath(path), self._text, self._folder)

    def run(self, threads=1):
        """Counts the programme: a ProgrammeResult."""
        return ProgrammeResult(json.loads(
            _torvwy.programme_run(self._text, self._folder, self._arrays(), int(threads))))
