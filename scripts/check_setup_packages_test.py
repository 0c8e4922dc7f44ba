#!/usr/bin/python3
"""Tests of scripts/check_setup_packages on made-up dpkg data and strace output, so that they
mean the same on every machine."""

import importlib.machinery
import importlib.util
import os
import pathlib
import tempfile
import unittest

_PATH = pathlib.Path(__file__).resolve().parent / "check_setup_packages"
_LOADER = importlib.machinery.SourceFileLoader("check_setup_packages", str(_PATH))
_SPEC = importlib.util.spec_from_loader("check_setup_packages", _LOADER)
csp = importlib.util.module_from_spec(_SPEC)
_LOADER.exec_module(csp)

# A small installed system. The fields are as dpkg writes them, continuation lines included.
STATUS = """\
Package: base-files
Status: install ok installed
Architecture: amd64
Version: 12.4
Essential: yes
Priority: required
Pre-Depends: awk

Package: mawk
Status: install ok installed
Architecture: amd64
Version: 1.3.4
Priority: required
Provides: awk

Package: libc6
Status: install ok installed
Architecture: amd64
Version: 2.36-9
Priority: optional

Package: core-tool
Status: install ok installed
Architecture: amd64
Version: 1.0
Priority: required
Depends: core-lib (>= 2.0~rc1)

Package: core-lib
Status: install ok installed
Architecture: amd64
Version: 2.0
Priority: optional

Package: app-dev
Status: install ok installed
Architecture: amd64
Version: 1:4.2-1
Depends: libfoo-dev (>= 1.2), liba | libb | libmissing,
 python3:any, virtual-gl,
 newer-dev (>= 3.0) | fallback-dev
Pre-Depends: pre-dev
Recommends: recommended-dev
Suggests: suggested-dev

Package: libfoo-dev
Status: install ok installed
Architecture: amd64
Version: 1.10-1

Package: liba
Status: install ok installed
Architecture: amd64
Version: 1

Package: libb
Status: install ok installed
Architecture: amd64
Version: 1

Package: python3
Status: install ok installed
Architecture: amd64
Version: 3.11.2-1

Package: mesa-gl
Status: install ok installed
Architecture: amd64
Version: 22.3
Provides: virtual-gl, virtual-gles (= 2.0)

Package: newer-dev
Status: install ok installed
Architecture: amd64
Version: 2.9

Package: fallback-dev
Status: install ok installed
Architecture: all
Version: 1.0

Package: pre-dev
Status: install ok installed
Architecture: amd64
Version: 1.0

Package: recommended-dev
Status: install ok installed
Architecture: amd64
Version: 1.0
Priority: important

Package: suggested-dev
Status: install ok installed
Architecture: amd64
Version: 1.0

Package: removed-dev
Status: deinstall ok config-files
Architecture: amd64
Version: 1.0
Priority: required

Package: gl-user
Status: install ok installed
Architecture: amd64
Version: 1.0
Depends: virtual-gles (>= 3.0) | gles-fallback, libx:i386

Package: gles-fallback
Status: install ok installed
Architecture: amd64
Version: 1.0

Package: libx
Status: install ok installed
Architecture: amd64
Version: 1.0

Package: libx
Status: install ok installed
Architecture: i386
Version: 1.0
"""


class VersionOrder(unittest.TestCase):
    def test_versions_sort_as_dpkg_sorts_them(self):
        # The order `dpkg --compare-versions` gives: letters before other signs, ~ before all.
        ascending = ["1.0~rc1", "1.0", "1.0a", "1.0+dfsg", "1.0.1", "1.2", "1.10", "6.4.2+dfsg-9",
                     "6.4.2+dfsg-10", "1:0.9"]
        for lower, higher in zip(ascending, ascending[1:]):
            with self.subTest(lower=lower, higher=higher):
                self.assertLess(csp.compare_versions(lower, higher), 0)
                self.assertGreater(csp.compare_versions(higher, lower), 0)
        self.assertEqual(csp.compare_versions("1.01", "1.1"), 0)
        self.assertEqual(csp.compare_versions("0:2.0-1", "2.0-1"), 0)

    def test_operators_including_the_obsolete_ones(self):
        self.assertTrue(csp.version_satisfies("2.0", ">=", "2.0~rc1"))
        self.assertFalse(csp.version_satisfies("2.0", ">>", "2.0"))
        self.assertTrue(csp.version_satisfies("2.0", "<", "2.0"))  # < means <=
        self.assertTrue(csp.version_satisfies("1:1.0", ">>", "9.9"))


class Relations(unittest.TestCase):
    def test_groups_alternatives_qualifiers_and_constraints(self):
        got = csp.parse_relations("libc6 (>= 2.34), python3:any, a|b (<<2) [amd64], c <!nocheck>")
        self.assertEqual(got, [[("libc6", None, ">=", "2.34")],
                               [("python3", "any", None, None)],
                               [("a", None, None, None), ("b", None, "<<", "2")],
                               [("c", None, None, None)]])

    def test_setup_list_is_read_without_comments(self):
        script = "x=1\npackages=(\n  cmake ninja-build  # build\n  # tools\n  strace\n)\necho\n"
        self.assertEqual(csp.setup_packages(script), ["cmake", "ninja-build", "strace"])
        with self.assertRaises(ValueError):
            csp.setup_packages("apt-get install cmake\n")


class Closure(unittest.TestCase):
    def setUp(self):
        self.db = csp.PackageDb(STATUS)

    def allowed_names(self, names):
        return {k.partition(":")[0] for k in self.db.allowed(names)}

    def test_depends_and_pre_depends_are_followed_but_not_recommends(self):
        allowed = self.allowed_names(["app-dev"])
        self.assertTrue({"app-dev", "libfoo-dev", "python3", "pre-dev"} <= allowed)
        self.assertNotIn("recommended-dev", allowed)
        self.assertNotIn("suggested-dev", allowed)

    def test_every_installed_alternative_counts(self):
        self.assertTrue({"liba", "libb"} <= self.allowed_names(["app-dev"]))

    def test_virtual_packages_resolve_through_provides(self):
        self.assertIn("mesa-gl", self.allowed_names(["app-dev"]))
        # A versioned dependency is not met by an unversioned or too old Provides.
        self.assertIn("gles-fallback", self.allowed_names(["gl-user"]))
        self.assertNotIn("mesa-gl", self.allowed_names(["gl-user"]))

    def test_an_alternative_of_the_wrong_version_does_not_count(self):
        allowed = self.allowed_names(["app-dev"])
        self.assertIn("fallback-dev", allowed)
        self.assertNotIn("newer-dev", allowed)

    def test_minimal_system_is_essential_and_required_and_their_depends(self):
        allowed = self.allowed_names([])
        self.assertEqual(allowed, {"base-files", "mawk", "core-tool", "core-lib"})
        self.assertNotIn("removed-dev", self.db.by_name)  # only its configuration is left

    def test_an_explicit_architecture_picks_that_package_only(self):
        keys = self.db.allowed(["gl-user"])
        self.assertIn("libx:i386", keys)
        self.assertNotIn("libx:amd64", keys)


def _write_lists(info, lists):
    for stem, paths in lists.items():
        pathlib.Path(info, stem + ".list").write_text("".join(p + "\n" for p in paths))


class Owners(unittest.TestCase):
    def test_merged_usr_spellings_meet(self):
        with tempfile.TemporaryDirectory() as info:
            _write_lists(info, {
                "liba:amd64": ["/lib/x86_64-linux-gnu/pkgconfig/a.pc"],
                "libb": ["/usr/lib/cmake/B/BConfig.cmake"],
            })
            found = csp.owners({
                "/usr/lib/x86_64-linux-gnu/pkgconfig/a.pc": {"/usr/lib/x86_64-linux-gnu/pkgconfig/a.pc"},
                "/lib/cmake/B/BConfig.cmake": {"/lib/cmake/B/BConfig.cmake"},
                "/work/src/own.cmake": {"/work/src/own.cmake"},
            }, info)
        self.assertEqual(found, {"/usr/lib/x86_64-linux-gnu/pkgconfig/a.pc": {"liba:amd64"},
                                 "/lib/cmake/B/BConfig.cmake": {"libb"}})

    def test_verdict_names_the_files_outside_the_closure(self):
        db = csp.PackageDb(STATUS)
        with tempfile.TemporaryDirectory() as tmp:
            info = os.path.join(tmp, "info")
            os.mkdir(info)
            files = {}
            for name in ("FooConfig.cmake", "rec.pc", "base.pc", "notes.txt"):
                path = os.path.join(tmp, name)
                pathlib.Path(path).write_text("")
                files[path] = {path}
            _write_lists(info, {"libfoo-dev:amd64": [os.path.join(tmp, "FooConfig.cmake")],
                                "recommended-dev": [os.path.join(tmp, "rec.pc")],
                                "base-files": [os.path.join(tmp, "base.pc")],
                                "suggested-dev": [os.path.join(tmp, "notes.txt")]})
            bad, good = csp.unaccounted(files, db, ["app-dev"], info)
        self.assertEqual(bad, {os.path.join(tmp, "rec.pc"): ["recommended-dev:amd64"]})
        self.assertEqual(sorted(why for _, _, why in good), ["dependency", "minimal system"])


    def test_reads_of_forbidden_packages_are_named(self):
        with tempfile.TemporaryDirectory() as tmp:
            info = os.path.join(tmp, "info")
            os.mkdir(info)
            files = {}
            for name in ("GTestConfig.cmake", "Qt6Config.cmake"):
                path = os.path.join(tmp, name)
                pathlib.Path(path).write_text("")
                files[path] = {path}
            _write_lists(info, {"libgtest-dev:amd64": [os.path.join(tmp, "GTestConfig.cmake")],
                                "qt6-base-dev": [os.path.join(tmp, "Qt6Config.cmake")]})
            hits = csp.forbidden_reads(files, {"libgtest-dev", "libxcb1-dev"}, info)
        self.assertEqual(hits, {os.path.join(tmp, "GTestConfig.cmake"): "libgtest-dev"})

class Trace(unittest.TestCase):
    TRACE = """\
100   openat(AT_FDCWD</src>, "/usr/lib/cmake/Qt6/Qt6Config.cmake", O_RDONLY) = 3</usr/lib/cmake/Qt6/Qt6Config.cmake>
100   openat(AT_FDCWD</src>, "/usr/lib/cmake/Gone/GoneConfig.cmake", O_RDONLY) = -1 ENOENT (No such file or directory)
100   openat(AT_FDCWD</src>, "/usr/lib/cmake", O_RDONLY|O_NONBLOCK|O_CLOEXEC|O_DIRECTORY) = 3</usr/lib/cmake>
100   openat(AT_FDCWD</src>, "build/CMakeCache.txt", O_WRONLY|O_CREAT|O_TRUNC, 0666) = 4</src/build/CMakeCache.txt>
101   openat(AT_FDCWD</src>, "/usr/share/pkgconfig/x.pc", O_RDONLY <unfinished ...>
100   openat(AT_FDCWD</src>, "cmake/local.cmake", O_RDONLY) = 5</src/cmake/local.cmake>
100   openat(AT_FDCWD</src>, "/opt/a \\"b\\303\\251.pc", O_RDONLY) = 6</opt/a \\"b\\303\\251\\76.pc>
101   <... openat resumed>) = 3</usr/share/pkgconfig/x.pc>
101   +++ exited with 0 +++
102   open("/lib/pkgconfig/every.pc", O_RDONLY) = 3</usr/lib/pkgconfig/every.pc>
102   +++ exited with 1 +++
100   +++ exited with 0 +++
"""

    def test_reads_of_processes_that_ended_well(self):
        files, status = csp.read_trace(self.TRACE.splitlines())
        self.assertEqual(status, 0)
        self.assertEqual(files, {
            "/usr/lib/cmake/Qt6/Qt6Config.cmake": {"/usr/lib/cmake/Qt6/Qt6Config.cmake"},
            "/usr/share/pkgconfig/x.pc": {"/usr/share/pkgconfig/x.pc"},
            "/src/cmake/local.cmake": {"/src/cmake/local.cmake"},
            '/opt/a "b\u00e9.pc': {'/opt/a "b\u00e9.pc', '/opt/a "b\u00e9>.pc'},
        })

    def test_a_failed_configure_is_reported(self):
        _, status = csp.read_trace(self.TRACE.replace("100   +++ exited with 0", "100   +++ exited with 1")
                                   .splitlines())
        self.assertEqual(status, 1)


if __name__ == "__main__":
    unittest.main()
