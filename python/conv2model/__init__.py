"""Reading conv2model's work files in Python.

    import conv2model
    ds = conv2model.open_workfile("eu.bin.ORUwrk")   # reads eu.bin.ORUwrk.gdsinfo too
    ds["ta"].sel(plev=85000)                          # an xarray.Dataset where xarray is

The fields have the names, units and coordinates of conv2model-inspect's NetCDF export
(ua va zg hus ta on pressure levels plev in Pa, bottom first; sftlf psl ps orog and the
soil layers tsl1..tsl4, mrsov1..mrsov4; psl and ps in Pa), with the same values.
"""

from ._info import WorkFileError
from ._reader import Variable, WorkFile, read_workfile

__all__ = ["open_workfile", "WorkFileError", "WorkFile", "Variable"]


def open_workfile(path, use_xarray=None, mask_missing=True):
    """Reads the work file at path and its info file (path + ".gdsinfo").

    Returns an xarray.Dataset when xarray is installed (or use_xarray is True), else a
    WorkFile: dicts coords and data_vars of Variable (dims, data: a numpy array, attrs).
    With mask_missing (the default) points holding conv2model's missing value -99999
    are NaN, as xarray shows the NetCDF export; without it they keep -99999 and each
    field has the attribute _FillValue. Raises WorkFileError, naming the file and what
    is wrong, for a damaged info file or a work file whose size does not match it.
    """
    coords, data_vars, attrs = read_workfile(path, mask_missing)
    if use_xarray is None:
        try:
            import xarray  # noqa: F401
            use_xarray = True
        except ImportError:
            use_xarray = False
    if not use_xarray:
        return WorkFile(coords, data_vars, attrs)
    import xarray
    ds = xarray.Dataset(coords={name: (v.dims, v.data, v.attrs) for name, v in coords.items()},
                        attrs=attrs)
    for name, v in data_vars.items():
        # xarray keeps the fill value among a variable's encoding, as it reads NetCDF.
        attrs = dict(v.attrs)
        fill = attrs.pop("_FillValue", None)
        ds[name] = xarray.Variable(v.dims, v.data, attrs)
        if fill is not None:
            ds[name].encoding["_FillValue"] = fill
    return ds
