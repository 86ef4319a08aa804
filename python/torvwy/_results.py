"""Result objects of the torvwy package: the command line's JSON fields, arrays as numpy arrays."""

import json

import numpy as np


def _value(value, json_object):
    if isinstance(value, dict):
        return Fields(value, json_object)
    if isinstance(value, list) and all(
        isinstance(v, (int, float)) and not isinstance(v, bool) or v is None for v in value
    ):
        return np.array([np.nan if v is None else v for v in value], dtype=float)
    return value


class Fields:
    """Named fields of a JSON object: `obj.N`, `obj["N"]`; lists of numbers are numpy arrays.

    `fields` holds the values (numpy arrays or lists of numbers, dicts, scalars); `json_object`,
    when given, is called once, on the first to_dict(), for the JSON object of the same fields;
    without it `fields` is that object."""

    def __init__(self, fields, json_object=None):
        self._json_object = json_object if json_object is not None else (lambda: fields)
        self._json = None
        self._fields = {
            key: _value(value, lambda key=key: self._object()[key]) for key, value in fields.items()
        }

    def __getattr__(self, name):
        try:
            return self.__dict__["_fields"][name]
        except KeyError:
            raise AttributeError(name) from None

    def __getitem__(self, key):
        return self._fields[key]

    def __contains__(self, key):
        return key in self._fields

    def keys(self):
        return self._fields.keys()

    def _object(self):
        if self._json is None:
            self._json = self._json_object()
        return self._json

    def to_dict(self):
        """The fields as the command line's JSON gives them (lists, not arrays; null as None)."""
        return json.loads(json.dumps(self._object()))

    def __repr__(self):
        shown = ", ".join(
            f"{k}={v!r}" for k, v in self._fields.items() if not isinstance(v, (np.ndarray, Fields))
        )
        return f"{type(self).__name__}({shown})"


class Result(Fields):
    """A peak, range or rainflow result: the fields of `torvwy peak|range|rainflow --json`
    (with "fatigue" when a life estimate was asked for). The fields come straight from the
    counted record; to_dict() is the command line's JSON object. `save(path)` writes the
    result file. `damage_history` is the damage of an actual life estimate over the record."""

    def __init__(self, handle, fatigue=None, cycles=None):
        # fatigue: the estimate's FatigueChoice; cycles: a callable giving the cycle list the
        # histogram was counted from, called once, when something needs it.
        listed = []

        def cycle_list():
            if not listed:
                listed.append(cycles())
            return listed[0]

        needed = None
        if fatigue is not None and fatigue.needs_cycles:
            if cycles is None:
                raise ValueError("a mean correction needs the cycle list of the count")
            needed = cycle_list()
        fields = handle.fields()
        if fatigue is not None:
            fields["fatigue"] = handle.fatigue(fatigue, needed)

        def json_object():
            out = json.loads(handle.json())
            if fatigue is not None:
                out["fatigue"] = json.loads(handle.fatigue_json(fatigue, needed))
            return out

        super().__init__(fields, json_object)
        self.__dict__["_handle"] = handle
        self.__dict__["_history"] = None
        self.__dict__["_history_of"] = (
            None if fatigue is None or fatigue.method != "actual" or cycles is None
            else lambda: Table(handle.damage_history(fatigue, cycle_list()))
        )

    @property
    def node(self):
        """Test, code and node names, unit and the record's whole blocks."""
        return self._handle.node

    @property
    def damage_history(self):
        """The cumulative damage against time of an actual life estimate, a Table with one row
        per closed cycle in the order of its end sample and one last row for the residue at
        the last sample: seconds, sample (the record's index), range, mean, count, damage (what
        the row adds), cumulative (ending at the total damage) and residue (True on the last
        row, whose range and mean are 0 and count its half cycles x 0.5). None without a life
        estimate or with the fitting method, whose damage is not of the counted cycles. The
        cycles are read when it is first asked for (a node's waveform again, an array's values
        as they are then)."""
        if self.__dict__["_history"] is None and self.__dict__["_history_of"] is not None:
            self.__dict__["_history"] = self.__dict__["_history_of"]()
        return self.__dict__["_history"]

    def save(self, path):
        """Writes the result file (.PCM, .DCM or .RFL layout of the analysis) atomically. A
        result read by open_result is not saved again (TorvwyError), as on the command line."""
        self._handle.save(str(path))


class LiveResult(Result):
    """A result of a follow: the Result of the blocks counted so far, with three attributes
    besides its fields: `live` (False on the last result of a follow), `blocks_counted` and
    `samples_behind` (samples in the waveform file not counted yet). to_dict() holds the fields
    of the offline result only."""

    def __init__(self, handle, fatigue=None, live=True, blocks_counted=0, samples_behind=0):
        super().__init__(handle, fatigue)
        self.__dict__.update(live=bool(live), blocks_counted=int(blocks_counted),
                             samples_behind=int(samples_behind))

    def __repr__(self):
        return (f"LiveResult(live={self.live}, blocks_counted={self.blocks_counted}, "
                f"samples_behind={self.samples_behind}, {super().__repr__()})")


class Rows(list):
    """Statistics rows, one dict per row, with the keys of `torvwy stats --json`."""

    def __init__(self, rows, content=0):
        super().__init__(rows)
        self.content = content

    def to_pandas(self):
        import pandas

        return pandas.DataFrame(list(self))


class Table:
    """Columns of one length, each a numpy array: `table.damage`, `table["damage"]`; len() is
    the rows, iteration gives the column names, to_pandas() a DataFrame of the columns."""

    def __init__(self, columns):
        self.__dict__["_columns"] = dict(columns)

    def __getattr__(self, name):
        try:
            return self.__dict__["_columns"][name]
        except KeyError:
            raise AttributeError(name) from None

    def __getitem__(self, key):
        return self._columns[key]

    def __contains__(self, key):
        return key in self._columns

    def __iter__(self):
        return iter(self._columns)

    def __len__(self):
        return len(next(iter(self._columns.values()))) if self._columns else 0

    def keys(self):
        return self._columns.keys()

    @property
    def columns(self):
        """The column names, in order."""
        return list(self._columns)

    def to_dict(self):
        """The columns as lists."""
        return {key: column.tolist() for key, column in self._columns.items()}

    def to_pandas(self):
        import pandas

        return pandas.DataFrame(self._columns)

    def __repr__(self):
        return f"Table({len(self)} rows: {', '.join(self._columns)})"
