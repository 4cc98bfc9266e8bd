# The verdict on a mutant from what each stage gave, with a stand-in for the
# scratch copy's builds and test runs, and failed tests read from reports.
import os
import tempfile
import threading
import unittest

from sample_tree import judging


class StandInCopy:
    """Answers as a scratch copy would; records what it was asked to run."""

    def __init__(self, native=True, win64=True, builds=(True, True), unit=0, e2e=(0,), soak=0, took=None):
        self.sources = {"native": {"src/a.cpp"} if native else set(),
                        "win64": {"src/a.cpp"} if win64 else set()}
        self.builds = dict(zip(("native", "win64"), builds))
        self.unit, self.e2e, self.soak = unit, list(e2e), soak
        self.took = took or {}  # the failed tests' seconds in a failing run
        self.logs = tempfile.mkdtemp(prefix="mutants-logs-")
        self.ran = []
        self.e2e_arguments = []
        self.program_digest = "unmutated"
        self.built_program = "mutated"

    def program(self):
        return self.built_program

    def build(self, build):
        self.ran.append("build " + build)
        return (True, "") if self.builds[build] else (False, "error: planted")

    def unit_tests(self, timeout):
        self.ran.append("unit")
        return self.unit, 1.0, ["Suite.Unit"] if self.unit else []

    def wine_tests(self, program, arguments, timeout, name, rounds=None):
        self.ran.append(name)
        if program == "velmora_e2e.exe":
            self.e2e_arguments.append(arguments)
        status = self.e2e.pop(0) if program == "velmora_e2e.exe" else self.soak
        failed = ["Suite.First"] if status else []
        return status, 1.0, failed, self.took if status else {}


class Mutant:
    def __init__(self, path="src/a.cpp"):
        self.path = path
        self.id = path + ":1 sample"


class Killers:
    def __init__(self, first):
        self.first = first

    def killers(self, path):
        return self.first


def judged(copy, first=(), soak=True, path="src/a.cpp"):
    runner = judging.Runner.__new__(judging.Runner)
    runner.results = Killers(list(first))
    runner.print_lock = threading.Lock()
    runner.wait_seconds = 30
    runner.baseline = {"unit": 1, "soak": 1, "e2e_overhead": 1,
                       "e2e_tests": {"Suite.First": 1, "Suite.Second": 1}}
    verdict = runner.run_stages(copy, Mutant(path), soak)
    return verdict.outcome, verdict.stage, verdict.test, copy.ran


class Stages(unittest.TestCase):
    def test_the_first_failure_decides_and_the_rest_is_not_run(self):
        rows = [
            (StandInCopy(), ("survived", "", "", ["build native", "unit", "build win64", "e2e", "soak"])),
            (StandInCopy(unit=8), ("killed", "unit", "Suite.Unit", ["build native", "unit"])),
            (StandInCopy(unit=None), ("hang", "unit", "", ["build native", "unit"])),
            (StandInCopy(builds=(False, True)), ("not-built", "", "", ["build native"])),
            (StandInCopy(native=False, e2e=(1,)), ("killed", "e2e", "Suite.First", ["build win64", "e2e"])),
            (StandInCopy(native=False, e2e=(None,)), ("hang", "e2e", "", ["build win64", "e2e"])),
            (StandInCopy(native=False, soak=1),
             ("killed", "soak", "Suite.First", ["build win64", "e2e", "soak"])),
            (StandInCopy(win64=False), ("survived", "", "", ["build native", "unit"])),
        ]
        for copy, expected in rows:
            with self.subTest(expected=expected):
                self.assertEqual(judged(copy), expected)

    def test_a_test_that_failed_by_waiting_is_run_again_alone(self):
        waited = {"Suite.First": 30}
        rows = [
            # passes alone: the machine was slow, and the suite goes on after it
            (StandInCopy(native=False, e2e=(1, 0, 0), took=waited),
             ("survived", "", "", ["build win64", "e2e", "e2e-again", "e2e", "soak"])),
            (StandInCopy(native=False, e2e=(1, 1), took=waited),
             ("killed", "e2e", "Suite.First", ["build win64", "e2e", "e2e-again"])),
            # failed without waiting: no second run
            (StandInCopy(native=False, e2e=(1,), took={"Suite.First": 5}),
             ("killed", "e2e", "Suite.First", ["build win64", "e2e"])),
        ]
        for copy, expected in rows:
            with self.subTest(expected=expected):
                self.assertEqual(judged(copy), expected)
        self.assertEqual(rows[0][0].e2e_arguments,
                         [[], ["--gtest_filter=Suite.First"], ["--gtest_filter=Suite.Second"]])

    def test_the_soak_only_where_a_fault_can_leave_an_object_behind(self):
        self.assertEqual(judged(StandInCopy(native=False, soak=1), soak=False),
                         ("survived", "", "", ["build win64", "e2e"]))
        rows = [("src/a.cpp", "int F() { return width + 1; }", False),
                ("src/a.cpp", "void F() { brush.Release(); }", True),
                ("src/a.cpp", "void F() { RecreateClockFont(hwnd); }", True),
                ("src/a.cpp", "void F() { DialogBoxParamA(0, 0, 0, 0, 0); }", True),
                ("src/a.h", "", True), ("res/a.rc", "", True)]
        for path, text, leaks in rows:
            with self.subTest(text=text):
                self.assertEqual(judging.can_leak(path, text), leaks)

    def test_a_resource_that_builds_the_same_program_is_equivalent(self):
        for path, built, outcome in [("res/a.rc", "unmutated", "equivalent"), ("res/a.rc", "mutated", "survived"),
                                     ("src/a.cpp", "unmutated", "survived")]:
            with self.subTest(path=path, built=built):
                copy = StandInCopy(native=False)
                copy.sources["win64"].add(path)
                copy.built_program = built
                self.assertEqual(judged(copy, path=path)[0], outcome)

    def test_the_file_s_earlier_killers_run_first_and_then_the_rest(self):
        copy = StandInCopy(native=False, e2e=(0, 1))
        self.assertEqual(judged(copy, ["Suite.Second", "Gone.Test"]),
                         ("killed", "e2e", "Suite.First", ["build win64", "e2e-first", "e2e"]))


class Reports(unittest.TestCase):
    def read(self, text, status):
        with tempfile.NamedTemporaryFile("w", suffix=".xml", delete=False) as report:
            report.write(text)
        try:
            return judging._failed_tests(report.name, status)
        finally:
            os.remove(report.name)

    def test_failed_tests_in_either_dialect_or_how_the_run_ended(self):
        gtest = ('<testsuites><testsuite name="S"><testcase name="A" classname="S"/>'
                 '<testcase name="B" classname="S"><failure message="x"/></testcase>'
                 '<testcase name="C" classname="S" result="skipped"><skipped/></testcase>'
                 '</testsuite></testsuites>')
        ctest = ('<testsuite><testcase name="Unit.C" classname="Unit.C" status="fail"/>'
                 '<testcase name="Unit.D" classname="Unit.D" status="run"/></testsuite>')
        self.assertEqual(self.read(gtest, 1), ["S.B"])
        self.assertEqual(self.read(ctest, 8), ["Unit.C"])
        self.assertEqual(self.read("<testsuites/>", 3), ["the run (exit status 3)"])
        self.assertEqual(self.read("not xml", 0), [])
        self.assertEqual(self.read("not xml", 139), ["the run (exit status 139, no report)"])


if __name__ == "__main__":
    unittest.main()
