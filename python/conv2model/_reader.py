"""A work file read through its info file, as conv2model-inspect's NetCDF export writes
it: the same variable names, coordinates, attributes and values."""

import os
import warnings

import numpy as np

from . import _info
from ._fields import KNOWN, MISSING_VALUE, Field

INFO_SUFFIX = ".gdsinfo"

# kgds(6) and kgds(11) flags.
_INCREMENTS_GIVEN = 128
_I_NEGATIVE = 128
_J_POSITIVE = 64
_J_CONSECUTIVE = 32


def _squeeze(text):
    return " ".join(text.split())


def _split_name(info_name):
    """The info file's name of a field without its units, blanks folded, and the units in
    its last parentheses."""
    name, units = info_name, ""
    open_at = info_name.rfind("(")
    if open_at >= 0 and info_name.find(")", open_at) >= 0:
        name = info_name[:open_at]
        units = _squeeze(info_name[open_at + 1:info_name.find(")", open_at)])
    return _squeeze(name), units


def _short_name(long_name):
    """A name for a field the inspector does not know: lower-case letters, digits and
    underscores, starting with a letter."""
    out = ""
    for c in long_name:
        if c.isascii() and c.isalnum():
            out += c.lower()
        elif out and out[-1] != "_":
            out += "_"
    out = out.rstrip("_")
    if not out or not out[0].isalpha():
        out = "f_" + out
    return out


def describe_field(info_name):
    """The Field of an info-file field name (see _fields.Field)."""
    long_name, units = _split_name(info_name)
    known = KNOWN.get(long_name)
    if known is not None:
        return long_name, known
    cf_units = "1" if units in ("", "0-1") else units
    return long_name, Field(_short_name(long_name), "", units, cf_units, 1.0, "", 0)


def _axis(n, first, last):
    """n points evenly from first to last (millidegrees), in degrees."""
    if n < 2:
        return np.full(n, first / 1000.0)
    k = np.arange(n, dtype=np.float64)
    return (first + (last - first) * k / (n - 1)) / 1000.0


def grid_axes(info, name):
    """Latitudes and longitudes of the grid, as conv2model-inspect places them: evenly
    from the first point to the last, longitudes across 0/360 where the scanning mode
    says so. Disagreements of the description integers are warned about."""
    k = info.kgds
    if k[1] != 0:
        raise _info.WorkFileError("%s: data representation type kgds(1) = %d is not a "
                                  "latitude/longitude grid" % (name, k[1]))
    if k[11] & _J_CONSECUTIVE:
        raise _info.WorkFileError("%s: scanning mode kgds(11) = %d has j varying fastest, but "
                                  "work-file records run along i" % (name, k[11]))
    lon_first, lon_last = float(k[5]), float(k[8])
    east = (k[11] & _I_NEGATIVE) == 0
    if info.im > 1:
        if east and lon_last <= lon_first:
            lon_last += 360000.0
        if not east and lon_last >= lon_first:
            lon_last -= 360000.0
    lat = _axis(info.jm, float(k[4]), float(k[7]))
    lon = _axis(info.im, lon_first, lon_last)
    north = (k[11] & _J_POSITIVE) != 0
    if info.jm > 1 and k[4] != k[7] and north != (k[7] > k[4]):
        warnings.warn("%s: the scanning mode kgds(11) = %d has rows running %s, but the first "
                      "latitude %g is %s of the last %g; the rows are placed from the first "
                      "latitude to the last" % (
                          name, k[11], "south to north" if north else "north to south",
                          k[4] / 1000.0, "north" if north else "south", k[7] / 1000.0),
                      stacklevel=4)
    if k[6] & _INCREMENTS_GIVEN:
        for what, n_kgds, stated, points, first, last in (
                ("longitude", 9, k[9], info.im, lon_first, lon_last),
                ("latitude", 10, k[10], info.jm, float(k[4]), float(k[7]))):
            if points >= 2 and abs(abs(stated) - abs(last - first) / (points - 1)) > 0.5:
                warnings.warn("%s: the %s increment kgds(%d) = %d millidegrees disagrees with "
                              "the first and last points, %d points %.9g degrees apart; the "
                              "points are used" % (name, what, n_kgds, stated, points,
                                                   abs(last - first) / (points - 1) / 1000.0),
                              stacklevel=4)
    return lat, lon


class Variable:
    """One variable: its dimensions' names, its values (a numpy array) and attributes."""

    def __init__(self, dims, data, attrs):
        self.dims = tuple(dims)
        self.data = data
        self.attrs = dict(attrs)

    def __repr__(self):
        return "Variable(%s, %s %s)" % (self.dims, self.data.dtype, self.data.shape)


class WorkFile:
    """A work file without xarray: coords (plev, lat, lon) and data_vars, each a dict of
    name to Variable, and the file's attrs. ws["ta"].data is a numpy array."""

    def __init__(self, coords, data_vars, attrs):
        self.coords = coords
        self.data_vars = data_vars
        self.attrs = attrs

    def __getitem__(self, name):
        if name in self.data_vars:
            return self.data_vars[name]
        return self.coords[name]

    def __contains__(self, name):
        return name in self.data_vars or name in self.coords

    def __iter__(self):
        return iter(self.data_vars)

    def __repr__(self):
        return "WorkFile(%s)" % ", ".join(
            "%s%s" % (n, v.data.shape) for n, v in self.data_vars.items())


def _read_records(path, info):
    """The work file's records as an array (record, row, column) of float32; refuses a
    file whose size is not what the info file describes."""
    records = 5 * info.lm + 12
    size = records * info.im * info.jm * 4
    try:
        with open(path, "rb") as f:
            st = os.fstat(f.fileno())
            if not os.path.stat.S_ISREG(st.st_mode):
                raise _info.WorkFileError("%s: work file is not a regular file" % path)
            if st.st_size != size:
                raise _info.WorkFileError(
                    "%s: work file is %d bytes, but its info file describes %d records of "
                    "%d x %d floats (%d bytes)%s" % (
                        path, st.st_size, records, info.im, info.jm, size,
                        "; conv2model does not shorten an existing work file, so its tail "
                        "may be records of an earlier, larger conversion"
                        if st.st_size > size else ""))
            values = np.fromfile(f, dtype="<f4", count=records * info.im * info.jm)
    except IsADirectoryError:
        raise _info.WorkFileError("%s: work file is not a regular file" % path) from None
    except OSError as e:
        raise _info.WorkFileError("%s: cannot open work file: %s" % (path, e.strerror)) from None
    if values.size != records * info.im * info.jm:
        raise _info.WorkFileError("%s: work file was cut while it was read" % path)
    return values.astype(np.float32).reshape(records, info.jm, info.im)


def _field_attrs(long_name, field, mask_missing):
    attrs = {"long_name": long_name, "units": field.cf_units}
    if field.standard_name:
        attrs["standard_name"] = field.standard_name
    if not mask_missing:
        attrs["_FillValue"] = np.float32(MISSING_VALUE)
    return attrs


def _values(record, field, mask_missing):
    """A record's values as the export writes them: pressures in Pa (multiplied in
    float, as the export does), the missing value kept or made NaN."""
    out = record.copy()
    missing = out == np.float32(MISSING_VALUE)
    if field.pa_per_unit != 1.0:
        out *= np.float32(field.pa_per_unit)
        out[missing] = np.float32(MISSING_VALUE)
    if mask_missing:
        out[missing] = np.nan
    return out


def read_workfile(path, mask_missing):
    """The coordinates, variables and attributes of the work file at path."""
    path = os.fspath(path)
    info_path = path + INFO_SUFFIX
    info = _info.read(info_path)
    lat, lon = grid_axes(info, info_path)
    records = _read_records(path, info)

    coords = {
        "plev": Variable(("plev",), np.array(info.pressure_pa, dtype=np.float32), {
            "long_name": "pressure", "standard_name": "air_pressure", "units": "Pa",
            "positive": "down", "axis": "Z"}),
        "lat": Variable(("lat",), lat, {
            "long_name": "latitude", "standard_name": "latitude", "units": "degrees_north",
            "axis": "Y"}),
        "lon": Variable(("lon",), lon, {
            "long_name": "longitude", "standard_name": "longitude", "units": "degrees_east",
            "axis": "X"}),
    }
    data_vars = {}
    for f, info_name in enumerate(info.names_3d):
        long_name, field = describe_field(info_name)
        levels = records[f * info.lm:(f + 1) * info.lm]
        data_vars[field.name] = Variable(("plev", "lat", "lon"),
                                         _values(levels, field, mask_missing),
                                         _field_attrs(long_name, field, mask_missing))
    for k, info_name in enumerate(info.names_2d):
        long_name, field = describe_field(info_name)
        record = records[5 * info.lm + k]
        data_vars[field.name] = Variable(("lat", "lon"), _values(record, field, mask_missing),
                                         _field_attrs(long_name, field, mask_missing))
    attrs = {
        "Conventions": "CF-1.8",
        "title": "conv2model work file " + path,
        "source": "conv2model work file and its info file " + info_path,
    }
    return coords, data_vars, attrs
