#!/usr/bin/python3
"""Tests of scripts/make_layouts.py --check on a copy of res/, so that res/ itself is never
written."""

import contextlib
import importlib.util
import io
import pathlib
import shutil
import tempfile
import unittest

_PATH = pathlib.Path(__file__).resolve().parent / "make_layouts.py"
_SPEC = importlib.util.spec_from_file_location("make_layouts", _PATH)
ml = importlib.util.module_from_spec(_SPEC)
_SPEC.loader.exec_module(ml)


class LayoutCheck(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.res = pathlib.Path(self.tmp.name) / "res"
        shutil.copytree(ml.ROOT / "res", self.res, ignore=shutil.ignore_patterns("*.png", "*.svg"))
        self.saved_res = ml.RES
        ml.RES = self.res

    def tearDown(self):
        ml.RES = self.saved_res
        self.tmp.cleanup()

    def check(self):
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            differing = ml.check_layouts()
        return differing, out.getvalue()

    def test_an_edited_layout_is_shown_and_left_as_it_is(self):
        msg = self.res / "msg.xml"
        edited = msg.read_text(encoding="utf-8").replace("<width>", "<width>1", 1)
        msg.write_text(edited, encoding="utf-8")
        differing, diff = self.check()
        self.assertEqual(differing, 1)
        self.assertIn("--- res/msg.xml", diff)
        self.assertIn("+++ res/msg.xml (generated)", diff)
        self.assertEqual(msg.read_text(encoding="utf-8"), edited)

    def test_a_missing_layout_counts_as_different(self):
        (self.res / "DPImsg.xml").unlink()
        differing, _ = self.check()
        self.assertEqual(differing, 1)
        self.assertFalse((self.res / "DPImsg.xml").exists())


if __name__ == "__main__":
    unittest.main()
