"""Judging, in build/mutants/work-N (a copy of the working tree's files with
its own build/native-sanitized, build/win64 and Wine prefix), stopping at the
first failure: the native unit tests (ctest) under AddressSanitizer and
UndefinedBehaviorSanitizer, so that a fault that overruns a buffer or
overflows is caught even where its result looks right, the 64-bit
end-to-end suite under
64-bit Wine (first the tests that killed this file's mutants before, then the
rest, fail-fast), the 64-bit soak at a few rounds. Stages the mutated file is
not compiled into are skipped. A mutant that does not compile counts as "not
built"; one whose test run takes more than three times as long as the same
tests on the unmutated tree (at least MIN_TIMEOUT_S, and for the end-to-end
runs E2E_WAITS_ALLOWED of the driver's waits more) is killed by a hang; the
driver's waits are shortened to E2E_WAIT_MS there, and a test that fails
by waiting that long is run once more alone: if it passes, the machine was
slow and the suite goes on after it. A
resource mutant whose build gives the unmutated program byte for byte (the
resource compiler adds DS_SETFONT to a template with a font, WS_CHILD and
WS_VISIBLE to every control) is equivalent without a run; the soak runs only
for files that can make or free an object."""
import collections
import dataclasses
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import threading
import time
import xml.etree.ElementTree as ElementTree

import test_results  # scripts/, beside this package

from . import RunError, ROOT
from .bookkeeping import (BASELINE_FILE, RESULTS_FILE, STATE_DIR, Results, load_baseline, save_baseline,
                          verdict_digest)

SOAK_ROUNDS = 20
# Wine's start-up alone varies by seconds: a short filtered run gets this much.
MIN_TIMEOUT_S = 20
HANG_FACTOR = 3
# An end-to-end test that fails by waiting spends the driver's whole wait on
# each wait it makes: its runs get room for this many such waits on top, so
# that the test is named as the killer instead of stopped as a hang.
E2E_WAITS_ALLOWED = 3
# The soak's time is mostly counting objects, which another copy's run on
# the other core stretches threefold and more: measured 7.6 s alone, 23 s
# beside an end-to-end run. Its runs get this much on top.
SOAK_ALLOWANCE_S = 60
# The end-to-end driver's longest wait in these runs (VELMORA_E2E_WAIT_MS;
# 30 s in the test command). A fault mostly fails a test by making it wait
# for what never comes, so this is most of what a kill costs; it is still
# twice the longest whole test of the unmutated suite under two copies' load
# (7 s).
E2E_WAIT_MS = 15000
FAILURES_DIR = STATE_DIR + "/failures"
KILLERS_TRIED_FIRST = 4
PROGRAM = "build/win64/Velmora.exe"
# The folder under build/ of each build the judging uses.
BUILD_FOLDERS = {"native": "native-sanitized", "win64": "win64"}
SNIPPET_WIDTH = 60
# Bumped when the judging changes, so recorded results are judged again.
JUDGE_VERSION = 3


@dataclasses.dataclass
class Verdict:
    outcome: str        # killed, hang, survived, not-built
    detail: str
    killer: str = ""    # an end-to-end test's name, remembered for the file
    stage: str = ""     # unit, e2e or soak: the one that killed it
    test: str = ""      # the test that failed, "" for a hang
    log: str = ""       # the name of the failed run's log, kept to read later


class Stopped(Exception):
    pass


class Worker:
    """One scratch copy with its builds, display and Wine prefix."""

    def __init__(self, number, jobs, stop):
        self.number = number
        self.root = os.path.join(ROOT, STATE_DIR, f"work-{number}")
        self.logs = os.path.join(self.root, "build", "mutant-logs")
        self.build_jobs = max(1, (os.cpu_count() or 1) // jobs)
        self.stop = stop
        self.process = None
        self.holder = None
        self.display = None
        self.prefix = os.path.join(self.root, "build", "wineprefix64")
        self.sources = {"native": set(), "win64": set()}
        self.timings = collections.Counter()
        self.program_digest = None  # the unmutated Velmora.exe's

    # -- the copy and its builds

    def refresh(self, files):
        """Copies the files whose content differs, so the builds stay
        incremental, and removes those no longer in the tree."""
        os.makedirs(self.root, exist_ok=True)
        manifest = os.path.join(self.root, ".mutants-manifest")
        try:
            with open(manifest, encoding="utf-8") as previous:
                old = set(previous.read().split("\n")) - {""}
        except OSError:
            old = set()
        copied = 0
        for name in files:
            source, target = os.path.join(ROOT, name), os.path.join(self.root, name)
            if os.path.isfile(target) and _same_content(source, target):
                continue
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(source, target)
            shutil.copymode(source, target)
            copied += 1
        for name in old - set(files):
            try:
                os.remove(os.path.join(self.root, name))
            except OSError:
                pass
        with open(manifest, "w", encoding="utf-8") as out:
            out.write("\n".join(files) + "\n")
        os.makedirs(self.logs, exist_ok=True)
        return copied

    def configure(self):
        # With the test command's own settings for these builds.
        for build, folder in BUILD_FOLDERS.items():
            log = os.path.join(self.logs, f"configure-{build}.log")
            status, _ = self.run(["bash", "scripts/build.sh", "--configure", folder], log, None)
            if status != 0:
                raise RunError(f"cmake could not configure {self.root}/build/{folder}: see {log}")
            with open(os.path.join(self.root, "build", folder, "compile_commands.json"), encoding="utf-8") as commands:
                self.sources[build] = {os.path.relpath(os.path.join(c["directory"], c["file"]), self.root)
                                       for c in json.load(commands)}
        # The compile commands name no header and no resource: a header may
        # reach either build, the resources only the Windows one.
        for folder, _, names in os.walk(os.path.join(self.root, "src")):
            headers = {os.path.relpath(os.path.join(folder, n), self.root) for n in names if n.endswith(".h")}
            self.sources["native"] |= headers
            self.sources["win64"] |= headers
        self.sources["win64"] |= {os.path.join("res", n) for n in os.listdir(os.path.join(self.root, "res"))}

    def build(self, build):
        """(True, "") or (False, the first error line)."""
        command = ["cmake", "--build", f"build/{BUILD_FOLDERS[build]}", "-j", str(self.build_jobs)]
        if build == "win64":
            command += ["--target", "velmora_e2e", "velmora_soak"]
        log = os.path.join(self.logs, f"build-{build}.log")
        # A link stopped half way leaves a program newer than its objects,
        # which the next build takes as done: after a stopped build, the
        # next one starts clean.
        interrupted = os.path.join(self.root, "build", f".{build}-stopped")
        if os.path.exists(interrupted):
            self.run(["cmake", "--build", f"build/{BUILD_FOLDERS[build]}", "--target", "clean"], log, None)
            os.remove(interrupted)
        try:
            status, _ = self.run(command, log, None)
        except Stopped:
            open(interrupted, "w").close()
            raise
        if status == 0:
            return True, ""
        with open(log, encoding="utf-8", errors="replace") as output:
            errors = [row.strip() for row in output if "error" in row.lower()]
        return False, (errors[0] if errors else f"exit status {status}")[:200]

    def program(self):
        """The digest of the built Velmora.exe, or None."""
        try:
            with open(os.path.join(self.root, PROGRAM), "rb") as built:
                return hashlib.sha256(built.read()).hexdigest()
        except OSError:
            return None

    # -- the display and the prefix, kept for the whole run

    def start_environment(self):
        script = (
            "source scripts/wine-env.sh\n"
            "trap stop_wine_environment EXIT\n"
            "start_virtual_display || exit 1\n"
            "use_wine_bits 64\n"
            "prepare_wine_prefix || exit 1\n"
            'echo "ready $DISPLAY"\n'
            "read -r _\n")
        log = open(os.path.join(self.logs, "environment.log"), "wb")
        self.holder = subprocess.Popen(["bash", "-c", script], cwd=self.root, env=self.environment(),
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log,
                                       start_new_session=True)
        line = self.holder.stdout.readline().decode().split()
        if len(line) != 2 or line[0] != "ready":
            self.holder.wait()
            raise RunError(f"no display or Wine prefix for {self.root}: see {log.name}")
        self.display = line[1]

    def stop_environment(self):
        if self.holder:
            try:
                self.holder.stdin.close()
                self.holder.wait(timeout=60)
            except (OSError, subprocess.TimeoutExpired):
                os.killpg(self.holder.pid, signal.SIGKILL)
            self.holder = None

    def environment(self):
        env = dict(os.environ, VELMORA_ROOT=self.root)
        if self.display:
            env["DISPLAY"] = self.display
        return env

    def end_wine_processes(self):
        env = dict(os.environ, WINEPREFIX=self.prefix)
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
        try:
            subprocess.run(["wineserver", "-w"], env=env, capture_output=True, timeout=60)
        except subprocess.TimeoutExpired:
            pass  # the next run starts a server of its own

    # -- running

    def run(self, command, log_path, timeout):
        """(exit status or None after a timeout, seconds); the seconds are
        added to the mutant's timings under the log's name."""
        if self.stop.is_set():
            raise Stopped()
        started = time.monotonic()
        with open(log_path, "wb") as log:
            self.process = subprocess.Popen(command, cwd=self.root, env=self.environment(),
                                            stdin=subprocess.DEVNULL, stdout=log,
                                            stderr=subprocess.STDOUT, start_new_session=True)
            try:
                status = self.process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                _kill_group(self.process)
                status = None
            finally:
                self.process = None
        if self.stop.is_set():
            raise Stopped()
        seconds = time.monotonic() - started
        self.timings[os.path.splitext(os.path.basename(log_path))[0]] += seconds
        return status, seconds

    def unit_tests(self, timeout):
        report = os.path.join(self.logs, "unit.xml")
        _remove(report)
        status, seconds = self.run(
            ["ctest", "--test-dir", f"build/{BUILD_FOLDERS['native']}", "--no-tests=error", "--stop-on-failure",
             "-E", "^(mutants_runner|setup_apt)$", "--output-junit", report],
            os.path.join(self.logs, "unit.log"), timeout)
        return status, seconds, _failed_tests(report, status)

    def wine_tests(self, program, arguments, timeout, name, rounds=None):
        report = os.path.join(self.logs, f"{name}.xml")
        _remove(report)
        if program == "velmora_e2e.exe":
            run = (f"export VELMORA_E2E_WAIT_MS={E2E_WAIT_MS}\n"
                   'run_with_zone_file "$VELMORA_WINE" build/win64/velmora_e2e.exe "$@"')
        else:
            run = f'VELMORA_SOAK_ROUNDS={rounds} "$VELMORA_WINE" build/win64/{program} "$@"'
        # Relative: GoogleTest under Wine takes a path without a drive letter
        # for one relative to the current folder.
        command = ["bash", "-c", f"source scripts/wine-env.sh\nuse_wine_bits 64\n{run}", "_",
                   "--gtest_fail_fast", f"--gtest_output=xml:{os.path.relpath(report, self.root)}",
                   *arguments]
        log = os.path.join(self.logs, f"{name}.log")
        status, seconds = self.run(command, log, timeout)
        if status != 0:
            self.end_wine_processes()
        return status, seconds, _failed_tests(report, status, log), _test_times(report)


# The calls that make or free an object the soak counts, or that start what
# does (a dialog, a menu, a themed scope).
OBJECT_CALL = re.compile(r"\b(?:\w*(?:Create|create|Delete|Destroy|Release|Adopt|Free|Load|Select)\w*"
                         r"|EndDialog|DialogBox\w*|GetWindowDC|GetDC|TrackPopupMenu|\w*ActCtx)\s*\(")


def can_leak(path, text):
    """Whether a fault in this file could leave an object behind: the soak
    is run only for those. A source that makes and frees no object (the
    settings, the arithmetic) cannot; a header or a resource may."""
    return not path.endswith(".cpp") or OBJECT_CALL.search(text) is not None


def _same_content(a, b):
    if os.path.getsize(a) != os.path.getsize(b):
        return False
    with open(a, "rb") as first, open(b, "rb") as second:
        return first.read() == second.read()


def _remove(path):
    try:
        os.remove(path)
    except OSError:
        pass


def _kill_group(process):
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    process.wait()


def _failed_tests(report, status, log=None):
    """Names of the failed tests in a GoogleTest or CTest JUnit report; for a
    run that crashed before its report, those GoogleTest printed, or how the
    run ended."""
    try:
        tree = ElementTree.parse(report)
    except (OSError, ElementTree.ParseError):
        if status == 0:
            return []
        printed = []
        if log:
            with open(log, encoding="utf-8", errors="replace") as output:
                printed = re.findall(r"^\[  FAILED  \] (\S+) \(", output.read(), re.MULTILINE)
        return printed or [f"the run (exit status {status}, no report)"]
    # Read as the test command reads the same reports.
    failed = [test_results.test_name(case) for case in tree.iter("testcase")
              if test_results.outcome(case) == "failed"]
    if not failed and status not in (0, None):
        failed.append(f"the run (exit status {status})")
    return failed


def _test_times(report):
    try:
        tree = ElementTree.parse(report)
    except (OSError, ElementTree.ParseError):
        return {}
    return {f"{c.get('classname')}.{c.get('name')}": float(c.get("time") or 0)
            for c in tree.iter("testcase") if c.get("result", "completed") != "suppressed"}


class Runner:
    def __init__(self):
        self.workers = []
        self.stop = threading.Event()
        self.print_lock = threading.Lock()
        self.results = Results(os.path.join(ROOT, RESULTS_FILE))
        self.baseline = {}
        self.wait_seconds = E2E_WAIT_MS / 1000

    def say(self, text):
        with self.print_lock:
            print(text, flush=True)

    def judge(self, worker, mutant, original):
        """The verdict on one mutant, with the seconds each step took."""
        target = os.path.join(worker.root, mutant.path)
        worker.timings = collections.Counter()
        try:
            _write(target, mutant.apply(original))
            verdict = self.run_stages(worker, mutant, can_leak(mutant.path, original))
        finally:
            _write(target, original)
        return verdict, {step: round(seconds, 1) for step, seconds in worker.timings.items()}

    def run_stages(self, worker, mutant, soak=True):
        baseline = self.baseline
        if mutant.path in worker.sources["native"]:
            built, error = worker.build("native")
            if not built:
                return Verdict("not-built", error)
            status, seconds, failed = worker.unit_tests(_timeout(baseline["unit"]))
            if status is None:
                return Verdict("hang", f"a hang in the unit tests (stopped after {seconds:.0f} s)",
                               stage="unit", log="unit")
            if status != 0:
                return Verdict("killed", f"unit test {failed[0]}", stage="unit", test=failed[0], log="unit")
        if mutant.path in worker.sources["win64"]:
            built, error = worker.build("win64")
            if not built:
                return Verdict("not-built", error)
            # A resource reaches the tests only through the program's
            # resource section: the same program, the same tests.
            if mutant.path.startswith("res/") and worker.program() == worker.program_digest:
                return Verdict("equivalent", "the built program is byte for byte the unmutated one")
            verdict = self.end_to_end(worker, mutant)
            if verdict or not soak:
                return verdict or Verdict("survived", "")
            status, seconds, failed, _ = worker.wine_tests(
                "velmora_soak.exe", [], _timeout(baseline["soak"]) + SOAK_ALLOWANCE_S, "soak", SOAK_ROUNDS)
            if status is None:
                return Verdict("hang", f"a hang in the soak (stopped after {seconds:.0f} s)", stage="soak",
                               log="soak")
            if status != 0:
                return Verdict("killed", f"soak test {failed[0]}", stage="soak", test=failed[0], log="soak")
        return Verdict("survived", "")

    def end_to_end(self, worker, mutant):
        """The tests that killed this file's mutants before, then the rest."""
        times = self.baseline["e2e_tests"]
        overhead = self.baseline["e2e_overhead"]
        first = [name for name in self.results.killers(mutant.path) if name in times][:KILLERS_TRIED_FIRST]
        runs = []
        if first:
            runs.append(("e2e-first", [f"--gtest_filter={':'.join(first)}"], first))
            rest = [name for name in times if name not in first]
            runs.append(("e2e", [f"--gtest_filter=-{':'.join(first)}"], rest))
        else:
            runs.append(("e2e", [], list(times)))
        queue = collections.deque(runs)
        while queue:
            name, arguments, tests = queue.popleft()
            expected = overhead + sum(times[t] for t in tests)
            limit = _timeout(expected) + E2E_WAITS_ALLOWED * self.wait_seconds
            status, seconds, failed, took = worker.wine_tests("velmora_e2e.exe", arguments, limit, name)
            if status is None:
                return Verdict("hang", f"a hang in the end-to-end suite (stopped after {seconds:.0f} s)",
                               stage="e2e", log=name)
            if status == 0:
                continue
            test = failed[0]
            if test in times and took.get(test, 0) >= self.wait_seconds and self.passes_alone(worker, test):
                # It failed by waiting, and alone it passes: the machine was
                # slow, not the fault found. The tests after it go on.
                self.say(f"flaky       {mutant.id}: {test} failed by waiting and passed alone")
                keep_log(os.path.join(worker.logs, name + ".log"), mutant, "-flaky")
                after = tests[tests.index(test) + 1:]
                if after:
                    queue.appendleft((name, [f"--gtest_filter={':'.join(after)}"], after))
                continue
            killer = test if test in times else ""
            return Verdict("killed", f"end-to-end test {test}", killer, "e2e", test, name)
        return None

    def passes_alone(self, worker, test):
        expected = self.baseline["e2e_overhead"] + self.baseline["e2e_tests"][test]
        limit = _timeout(expected) + E2E_WAITS_ALLOWED * self.wait_seconds
        status, _, _, _ = worker.wine_tests("velmora_e2e.exe", [f"--gtest_filter={test}"], limit, "e2e-again")
        return status == 0

    def measure_baseline(self, worker):
        """The unmutated tree's own run: it must pass, and its times bound
        the mutants' runs."""
        times = {}
        if worker.sources["native"]:
            status, times["unit"], failed = worker.unit_tests(None)
            if status != 0:
                raise RunError(f"the unmutated tree fails its unit tests ({', '.join(failed)}): "
                               f"see {worker.logs}/unit.log")
        status, seconds, failed, tests = worker.wine_tests("velmora_e2e.exe", [], None, "e2e")
        if status != 0:
            raise RunError(f"the unmutated tree fails its end-to-end tests ({', '.join(failed)}): "
                           f"see {worker.logs}/e2e.log")
        times["e2e"] = seconds
        times["e2e_tests"] = tests
        times["e2e_overhead"] = max(0.0, seconds - sum(tests.values()))
        status, times["soak"], failed, _ = worker.wine_tests("velmora_soak.exe", [], None, "soak", SOAK_ROUNDS)
        if status != 0:
            raise RunError(f"the unmutated tree fails its soak ({', '.join(failed)}): see {worker.logs}/soak.log")
        return times

    def prepare(self, worker, files):
        worker.refresh(files)
        worker.configure()
        for build in ("native", "win64"):
            built, error = worker.build(build)
            if not built:
                raise RunError(f"the unmutated tree does not build in {worker.root}/build/{BUILD_FOLDERS[build]}: "
                               f"{error}")
        worker.program_digest = worker.program()

    def run_all(self, pending, originals, tree_hash, tests_hash, files, jobs):
        workers = self.workers = [Worker(k, jobs, self.stop) for k in range(jobs)]
        failures = []

        def in_parallel(step):
            threads = [threading.Thread(target=_catching, args=(step, w, failures)) for w in workers]
            for thread in threads:
                thread.start()
            _join(threads)
            if failures:
                raise failures[0]

        try:
            self.say(f"building {len(workers)} scratch cop{'y' if jobs == 1 else 'ies'} under {STATE_DIR}/")
            in_parallel(lambda w: self.prepare(w, files))
            for worker in workers:  # one at a time: displays are numbered first come
                worker.start_environment()
            baseline_path = os.path.join(ROOT, BASELINE_FILE)
            stored = load_baseline(baseline_path)
            if stored.get("tree") == tree_hash and stored.get("judge") == JUDGE_VERSION \
                    and stored.get("e2e_tests"):
                self.baseline = stored
                self.say("the unmutated tree passed its tests before; its times are kept")
            else:
                self.say("running the unmutated tree's tests")
                measured = []
                in_parallel(lambda w: measured.append(self.measure_baseline(w)))
                if self.stop.is_set():
                    return  # stopped before every copy had its times
                baseline = {"tree": tree_hash, "tests": tests_hash, "judge": JUDGE_VERSION}
                for name in ("unit", "e2e", "e2e_overhead", "soak"):
                    baseline[name] = max(m.get(name, 0.0) for m in measured)
                baseline["e2e_tests"] = {t: max(m["e2e_tests"].get(t, 0.0) for m in measured)
                                         for t in measured[0]["e2e_tests"]}
                self.baseline = baseline
                save_baseline(baseline_path, baseline)
                self.say(f"unmutated: unit tests {baseline['unit']:.0f} s, end-to-end {baseline['e2e']:.0f} s, "
                         f"soak {baseline['soak']:.0f} s")
            queue = collections.deque(pending)
            queue_lock = threading.Lock()
            done = []

            def work(worker):
                while not self.stop.is_set():
                    with queue_lock:
                        if not queue:
                            return
                        index, mutant, key = queue.popleft()
                    verdict, timings = self.judge(worker, mutant, originals[mutant.path])
                    result = {"id": mutant.id, "outcome": verdict.outcome, "detail": verdict.detail,
                              "tests": tests_hash, "seconds": round(sum(timings.values()), 1),
                              "steps": timings}
                    if verdict.stage:
                        result["stage"], result["test"] = verdict.stage, verdict.test
                        result["rests_on"] = verdict_digest(worker.root, verdict.stage, verdict.test)
                    self.results.record(key, result, mutant.path, verdict.killer)
                    if verdict.log:
                        keep_log(os.path.join(worker.logs, verdict.log + ".log"), mutant)
                    done.append(index)
                    self.say(result_line(mutant, result, f"[{len(done)}/{len(pending)}] "))

            in_parallel(work)
        finally:
            for worker in workers:
                if worker.process:
                    _kill_group(worker.process)
                worker.stop_environment()

    def interrupt(self, *_):
        # The running steps end now; each worker then puts its file back.
        self.stop.set()
        for worker in self.workers:
            process = worker.process
            if process:
                try:
                    os.killpg(process.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass


def _catching(step, worker, failures):
    try:
        step(worker)
    except Stopped:
        pass
    except Exception as error:  # reported by the main thread
        failures.append(error)


def _join(threads):
    # Joined with a timeout so the main thread still takes signals.
    for thread in threads:
        while thread.is_alive():
            thread.join(0.5)


def _timeout(expected):
    return max(MIN_TIMEOUT_S, HANG_FACTOR * expected)


def keep_log(log, mutant, suffix=""):
    """The failed run's output, kept under the mutant's id: a kill that
    looks wrong (a test failing that the line cannot reach) is read there."""
    folder = os.path.join(ROOT, FAILURES_DIR)
    os.makedirs(folder, exist_ok=True)
    try:
        shutil.copyfile(log, os.path.join(folder, re.sub(r"[^\w.-]+", "_", mutant.id)[:150] + suffix + ".log"))
    except OSError:
        pass


def _write(path, text):
    with open(path, "w", encoding="utf-8", newline="") as out:
        out.write(text)


def result_line(mutant, result, prefix=""):
    outcome = result["outcome"]
    seconds = result.get("seconds")
    timing = f" ({seconds:.0f} s)" if seconds is not None else ""
    if outcome == "killed":
        text = f"killed      {mutant.id}  by {result['detail']}{timing}"
    elif outcome == "hang":
        text = f"killed      {mutant.id}  by {result['detail']}"
    elif outcome == "not-built":
        text = f"not built   {mutant.id}  {result['detail']}"
    elif outcome == "equivalent":
        text = f"equivalent  {mutant.id}  {result['detail']}"
    else:
        text = f"survived    {mutant.id}{timing}"
    return prefix + text
