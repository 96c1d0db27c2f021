"""The Python reader of work files against conv2model-inspect's NetCDF export of the same
files, read through netCDF-C's Python binding (netCDF4) and through xarray: the same
variables, dimensions, coordinates, attributes and values, bit for bit; and against
damaged files, refused with the diagnostic the inspector gives.

    usage: reader_test.py PACKAGE_DIR INSPECT CONVERTER SCRATCH GOLDEN_DIR [PREPARE GRIB]

PACKAGE_DIR holds the built package conv2model. The worked conversions' inputs are
converted with CONVERTER; with PREPARE and GRIB the real GFS file is prepared and
converted and its work file compared too.
"""

import os
import shutil
import subprocess
import sys
import unittest
import warnings

import numpy as np

args = sys.argv[1:]
if len(args) not in (5, 7):
    sys.exit(__doc__)
PACKAGE_DIR, INSPECT, CONVERTER, SCRATCH, GOLDEN = args[:5]
REAL = args[5:]
sys.path.insert(0, PACKAGE_DIR)

import conv2model  # noqa: E402
import netCDF4  # noqa: E402
import xarray  # noqa: E402

# The attributes CDO encodes GRIB with: the reader is not for CDO.
CDO_ONLY = {"code", "table", "param"}


def scratch(name):
    d = os.path.join(SCRATCH, name)
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(d)
    return d


def export(work, out):
    """The inspector's export of work to out, and the warnings it gave."""
    run = subprocess.run([INSPECT, "netcdf", work, out], check=True, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True)
    return out, [line.split("warning: ", 1)[1] for line in run.stderr.splitlines()]


_golden = []


def golden_work_files():
    if not _golden:
        _golden.extend(convert_golden_cases())
    return _golden


def convert_golden_cases():
    """The worked conversions' inputs converted afresh (the cases' expected work files
    were written over older, larger ones, which conv2model does not shorten)."""
    d = scratch("golden")
    files = []
    for case in sorted(os.listdir(GOLDEN)):
        inputs = os.path.join(GOLDEN, case, "case")
        if not os.path.isfile(os.path.join(GOLDEN, case, "expected", "x.ORUwrk")):
            continue  # a case whose conversion stops for data
        run = os.path.join(d, case)
        shutil.copytree(inputs, run, ignore=shutil.ignore_patterns("*.ORUwrk*"))
        with open(os.path.join(run, "stdin.txt"), "rb") as stdin:
            subprocess.run([CONVERTER], cwd=run, stdin=stdin, check=True,
                           stdout=subprocess.DEVNULL)
        files.append(os.path.join(run, "x.ORUwrk"))
    return files


def real_work_file():
    """The GFS file through conv2model-prepare and conv2model."""
    prepare, grib = REAL
    d = scratch("gfs")
    subprocess.run([prepare, "-o", "gfs.bin", grib], cwd=d, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([CONVERTER], cwd=d, input=b"gfs.bin\nx\n", check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(d, "gfs.bin.ORUwrk")


def same_bits(a, b):
    a, b = np.asarray(a), np.asarray(b)
    return a.dtype == b.dtype and a.shape == b.shape and np.array_equal(
        a.view(np.uint8), b.view(np.uint8))


class AgainstTheExport(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = golden_work_files()
        if REAL:
            cls.files.append(real_work_file())
        cls.exports, cls.notes = {}, {}
        for w in cls.files:
            cls.exports[w], cls.notes[w] = export(w, w + ".nc")

    def setUp(self):
        # Warned about once in the test of the warnings.
        warnings.simplefilter("ignore")

    def test_has_the_golden_and_real_files(self):
        self.assertGreaterEqual(len(self.files), 2 + bool(REAL))
        self.assertEqual(bool(REAL), any("gfs" in w for w in self.files))

    def test_a_grid_description_at_odds_with_itself_is_warned_about_as_the_inspector_does(self):
        warnings.simplefilter("always")
        for work in self.files:
            with self.subTest(work=os.path.basename(work)):
                with warnings.catch_warnings(record=True) as caught:
                    warnings.simplefilter("always")
                    conv2model.open_workfile(work)
                self.assertEqual([str(w.message) for w in caught], self.notes[work])
        self.assertTrue(any(self.notes.values()))

    def test_raw_values_names_dims_and_attributes_equal_the_export_bit_for_bit(self):
        for work in self.files:
            with self.subTest(work=os.path.basename(work)):
                ws = conv2model.open_workfile(work, use_xarray=False, mask_missing=False)
                with netCDF4.Dataset(self.exports[work]) as nc:
                    nc.set_auto_mask(False)
                    coords = [n for n in nc.variables if n in nc.dimensions]
                    fields = [n for n in nc.variables if n not in nc.dimensions]
                    self.assertEqual(list(ws.coords), coords)
                    self.assertEqual(list(ws.data_vars), fields)
                    for name in coords + fields:
                        v = nc.variables[name]
                        mine = ws[name]
                        self.assertEqual(mine.dims, v.dimensions, name)
                        self.assertTrue(same_bits(mine.data, v[...]), name)
                        theirs = {k: v.getncattr(k) for k in v.ncattrs() if k not in CDO_ONLY}
                        self.assertEqual(set(mine.attrs), set(theirs), name)
                        for k, value in theirs.items():
                            self.assertTrue(np.array_equal(mine.attrs[k], value), (name, k))
                    for k in ("Conventions", "title", "source"):
                        self.assertEqual(ws.attrs[k], nc.getncattr(k))

    def test_the_dataset_equals_xarrays_reading_of_the_export(self):
        for work in self.files:
            with self.subTest(work=os.path.basename(work)):
                ds = conv2model.open_workfile(work)
                self.assertIsInstance(ds, xarray.Dataset)
                with xarray.open_dataset(self.exports[work]) as nc:
                    nc = nc.load()
                xarray.testing.assert_equal(ds, nc)
                for name in list(nc.coords) + list(nc.data_vars):
                    theirs = {k: v for k, v in nc[name].attrs.items() if k not in CDO_ONLY}
                    self.assertEqual(ds[name].attrs, theirs, name)
                    self.assertTrue(same_bits(ds[name].values, nc[name].values), name)

    def test_pressures_are_in_pa_and_missing_points_nan_where_the_work_file_has_minus_99999(self):
        for work in self.files:
            with self.subTest(work=os.path.basename(work)):
                info = conv2model._info.read(work + ".gdsinfo")
                raw = np.fromfile(work, dtype="<f4").reshape(-1, info.jm, info.im)
                ds = conv2model.open_workfile(work)
                psl = raw[5 * info.lm + 1]
                expected = np.where(psl == -99999.0, np.nan, psl * np.float32(100))
                np.testing.assert_array_equal(ds["psl"].values, expected)
                ta = raw[4 * info.lm:5 * info.lm]
                np.testing.assert_array_equal(ds["ta"].values,
                                              np.where(ta == -99999.0, np.nan, ta))
                self.assertEqual(ds["ta"].dims, ("plev", "lat", "lon"))
                self.assertEqual(ds["orog"].dims, ("lat", "lon"))

    def test_without_xarray_the_fields_come_as_numpy_arrays(self):
        work = self.files[0]
        saved = sys.modules.get("xarray")
        sys.modules["xarray"] = None  # what an import finds where xarray is not installed
        try:
            ws = conv2model.open_workfile(work)
        finally:
            sys.modules["xarray"] = saved
        self.assertIsInstance(ws, conv2model.WorkFile)
        ds = conv2model.open_workfile(work)
        for name in ds.data_vars:
            np.testing.assert_array_equal(ws[name].data, ds[name].values)


class DamagedFiles(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = scratch("damaged")
        cls.good = golden_work_files()[0]
        with open(cls.good + ".gdsinfo", encoding="latin-1") as f:
            cls.info_text = f.read()

    def case(self, name, info_text=None, work_bytes=None):
        """A copy of a good work file, with info_text for its info file and work_bytes
        for its records where they are given."""
        work = os.path.join(self.dir, name + ".ORUwrk")
        shutil.copyfile(self.good, work)
        if work_bytes is not None:
            with open(work, "wb") as f:
                f.write(work_bytes)
        with open(work + ".gdsinfo", "w", encoding="latin-1") as f:
            f.write(self.info_text if info_text is None else info_text)
        return work

    def refused(self, work, *words):
        """The reader's diagnostic: it names the file and equals the inspector's."""
        with self.assertRaises(conv2model.WorkFileError) as raised:
            conv2model.open_workfile(work)
        message = str(raised.exception)
        for w in words:
            self.assertIn(w, message)
        inspector = subprocess.run([INSPECT, "stats", work], capture_output=True, text=True)
        self.assertEqual(inspector.returncode, 2)
        self.assertEqual(inspector.stderr.strip(), "conv2model-inspect: " + message)
        return message

    def test_an_info_file_cut_short_is_refused_naming_it(self):
        lines = self.info_text.splitlines(True)
        work = self.case("cut", "".join(lines[:12]))
        self.refused(work, work + ".gdsinfo: ends before kgds(10)")

    def test_a_garbled_line_is_refused_naming_the_file_and_the_line(self):
        work = self.case("garbled", self.info_text.replace("kgds(3)", "kgds(3", 1))
        self.refused(work, work + ".gdsinfo: line 6: expected an integer and \"kgds(3)\"")
        work = self.case("pressure", self.info_text.replace("85040.0000", "85040.0000x"))
        self.refused(work, work + ".gdsinfo: line 3: expected a pressure in Pa")

    def test_a_level_count_beyond_the_file_is_refused_before_anything_is_sized(self):
        work = self.case("levels", self.info_text.replace("  1  =>", "999999999  =>", 1))
        self.refused(work, "ends before the 999999999 pressures of its level count")

    def test_a_field_list_of_another_length_is_refused(self):
        work = self.case("fields", self.info_text.replace(" Topography                (m)\n", ""))
        self.refused(work, "lists 5 3-D and 11 surface fields, expected 5 and 12")

    def test_bytes_that_are_not_text_are_refused_as_a_bad_line(self):
        work = self.case("binary", "\x01\xff\x00garbage\n")
        with self.assertRaises(conv2model.WorkFileError) as raised:
            conv2model.open_workfile(work)
        self.assertTrue(str(raised.exception).startswith(work + ".gdsinfo: line 1: "))

    def test_a_missing_info_file_and_a_work_file_of_the_wrong_size_are_named(self):
        work = self.case("missing")
        os.remove(work + ".gdsinfo")
        with self.assertRaises(conv2model.WorkFileError) as raised:
            conv2model.open_workfile(work)
        self.assertEqual(str(raised.exception),
                         work + ".gdsinfo: cannot open info file: No such file or directory")
        with open(self.good, "rb") as f:
            data = f.read()
        work = self.case("short", self.info_text, data[:-4])
        self.refused(work, work + ": work file is %d bytes" % (len(data) - 4))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
