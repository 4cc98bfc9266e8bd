"""What a run keeps and what it is told.

Equivalent mutants, which no user or file could ever tell apart, are listed
with their reason in scripts/mutants-equivalent.txt and skipped. An entry
names the function that holds its line, so identical lines elsewhere in the
file change nothing it covers; one that matches no mutant any more fails the
run. Verdicts are kept in scripts/mutants-results.json, in the tree, keyed
by the file's content hash and the mutant's id, so a stopped run resumes on
any machine with the same sources and unchanged files are not judged again;
survivors are judged again once tests/ changes (--rejudge judges everything
again). The unmutated tree's times are this machine's own and stay in
build/mutants/baseline.json."""
import dataclasses
import hashlib
import json
import os
import re
import subprocess
import tempfile
import threading

from . import RunError, ROOT
from .operators import OPERATORS, normalise
from .scanning import mask_source

EQUIVALENT_LIST = "scripts/mutants-equivalent.txt"
STATE_DIR = "build/mutants"
RESULTS_FILE = "scripts/mutants-results.json"
BASELINE_FILE = STATE_DIR + "/baseline.json"
RESULTS_VERSION = 2
# Where each stage's tests live.
STAGE_FOLDERS = {"unit": "tests/unit", "e2e": "tests/e2e", "soak": "tests/soak"}
SUITE_DEFINITION = re.compile(r"^\s*(?:TEST|TEST_F|TEST_P)\s*\(\s*(\w+)\s*,", re.MULTILINE)

@dataclasses.dataclass
class Equivalent:
    path: str
    operator: str
    before: str
    after: str
    reason: str
    line: int  # in the list, for messages
    function: str = ""
    twin: int = 1

    @property
    def key(self):
        return (self.path, self.operator, self.before, self.after, self.function, self.twin)


def parse_equivalents(text):
    """The list's entries. Each is four lines:
         FILE OPERATOR [in FUNCTION] [@N]
         - the line as it is
         + the line as the mutant makes it
         why: the one-line reason no one could tell the difference
    compared with comments left out and white space collapsed. FUNCTION is
    the one whose body holds the line (left out for a line outside every
    function); @N picks the Nth of several lines of that function with the
    same code (the first when left out)."""
    entries, problems = [], []
    rows = [(k + 1, row) for k, row in enumerate(text.splitlines())
            if row.strip() and not row.lstrip().startswith("#")]
    k = 0
    while k < len(rows):
        number, head = rows[k]
        block = rows[k:k + 4]
        fields = head.split()
        if (len(block) < 4 or not _is_entry_head(head)
                or not block[1][1].lstrip().startswith("- ") and block[1][1].strip() != "-"
                or not block[2][1].lstrip().startswith("+") or not block[3][1].lstrip().startswith("why:")):
            problems.append(f"{EQUIVALENT_LIST}:{number}: expected 'FILE OPERATOR [in FUNCTION] [@N]', "
                            "'- line', '+ line', 'why: reason'")
            k += 1
            while k < len(rows) and not _is_entry_head(rows[k][1]):
                k += 1
            continue
        before = block[1][1].lstrip()[1:]
        after = block[2][1].lstrip()[1:]
        reason = block[3][1].lstrip()[4:].strip()
        if not reason:
            problems.append(f"{EQUIVALENT_LIST}:{number}: no reason given")
        function = fields[3] if len(fields) > 3 and fields[2] == "in" else ""
        twin = int(fields[-1][1:]) if fields[-1].startswith("@") else 1
        entries.append(Equivalent(fields[0], fields[1], normalise(before), normalise(after), reason, number,
                                  function, twin))
        k += 4
    return entries, problems


def _is_entry_head(row):
    return re.fullmatch(rf"\S+ ({'|'.join(OPERATORS)})( in [~\w]+)?( @[1-9]\d*)?", row.strip()) is not None


def match_equivalents(entries, mutants_by_file):
    """{equivalence key: reason} of the entries that apply, and the entries
    that match no mutant of their file any more."""
    keys = {m.equivalence_key for mutants in mutants_by_file.values() for m in mutants}
    applying = {e.key: e.reason for e in entries if e.key in keys}
    stale = [e for e in entries if e.key not in keys]
    return applying, stale


def equivalent_entry(mutant):
    where = f" in {mutant.function}" if mutant.function else ""
    twin = f" @{mutant.twin}" if mutant.twins > 1 else ""
    return (f"{mutant.path} {mutant.operator}{where}{twin}\n  - {mutant.key_before}\n"
            f"  + {mutant.key_after}\n  why: ")


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def source_digest(path, text):
    """What a file's verdicts are kept under: a source's code without its
    comments (a comment reworded keeps them; one that adds a line moves the
    ids anyway), a resource's every byte."""
    if not path.endswith((".cpp", ".h")):
        return sha256(text.encode())
    code = mask_source(text)[1].split("\n")
    rows = [row if row.lstrip().startswith("#") else code[k] for k, row in enumerate(text.split("\n"))]
    return sha256("\n".join(rows).encode())


def tree_files(root=ROOT):
    listing = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=root,
                             capture_output=True)
    if listing.returncode != 0:
        raise RunError(f"git could not list the tree's files: {listing.stderr.decode().strip()}")
    listed = listing.stdout.split(b"\0")
    files = sorted(name.decode() for name in listed if name)
    return [f for f in files if os.path.isfile(os.path.join(root, f))
            and not os.path.islink(os.path.join(root, f))]


def digest_of(root, files):
    total = hashlib.sha256()
    for name in files:
        with open(os.path.join(root, name), "rb") as source:
            total.update(name.encode() + b"\0" + hashlib.sha256(source.read()).digest())
    return total.hexdigest()


class Results:
    """scripts/mutants-results.json, rewritten whole after every change,
    one mutant a line so that a commit of it reads as what was judged."""

    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()
        self.data = {"version": RESULTS_VERSION, "killers": {}, "mutants": {}}
        try:
            with open(path, encoding="utf-8") as stored:
                data = json.load(stored)
            if data.get("version") == RESULTS_VERSION:
                self.data = data
        except (OSError, ValueError):
            pass

    def save(self):
        rows = [f"  {json.dumps(key)}: {json.dumps(value, sort_keys=True)}"
                for key, value in sorted(self.data["mutants"].items())]
        text = (f'{{"version": {RESULTS_VERSION},\n "killers": {json.dumps(self.data["killers"], sort_keys=True)},'
                f'\n "mutants": {{\n' + ",\n".join(rows) + "\n }\n}\n")
        _replace(self.path, text)

    def forget_other_versions(self, file_hashes):
        """Drops the verdicts on sources as they no longer are, so the file
        holds what the tree can still use."""
        current = set(file_hashes.values())
        with self.lock:
            mutants = self.data["mutants"]
            gone = [key for key in mutants if key.split(":", 1)[0] not in current]
            for key in gone:
                del mutants[key]
            return len(gone)

    def record(self, key, result, path, killer):
        with self.lock:
            self.data["mutants"][key] = result
            if killer:
                order = self.data["killers"].setdefault(path, [])
                if killer in order:
                    order.remove(killer)
                order.insert(0, killer)
            self.save()

    def killers(self, path):
        with self.lock:
            return list(self.data["killers"].get(path, []))


def load_baseline(path):
    try:
        with open(path, encoding="utf-8") as stored:
            return json.load(stored)
    except (OSError, ValueError):
        return {}


def save_baseline(path, baseline):
    _replace(path, json.dumps(baseline, indent=1, sort_keys=True) + "\n")


def _replace(path, text):
    # Whole or not at all: a run stopped mid-write leaves the last good file.
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with tempfile.NamedTemporaryFile("w", dir=os.path.dirname(path), delete=False, encoding="utf-8") as out:
        out.write(text)
    os.replace(out.name, path)


def verdict_sources(root, stage, test):
    """The files a kill rests on: the one that defines the failed test's
    suite and every helper of its folder (each file there that defines no
    test); the whole folder for a hang, or a test no file defines."""
    folder = STAGE_FOLDERS[stage]
    names = sorted(os.path.join(folder, n) for n in os.listdir(os.path.join(root, folder))
                   if os.path.isfile(os.path.join(root, folder, n)))
    suite = test.split(".")[0].split("/")[-1]
    defining, helpers = [], []
    for name in names:
        with open(os.path.join(root, name), encoding="utf-8", errors="replace") as source:
            suites = set(SUITE_DEFINITION.findall(source.read()))
        if suite and suite in suites:
            defining.append(name)
        elif not suites:
            helpers.append(name)
    return defining + helpers if defining else names


def verdict_digest(root, stage, test):
    """Changes whenever a file the kill rests on changes."""
    return digest_of(root, verdict_sources(root, stage, test))
