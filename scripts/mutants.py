#!/usr/bin/env python3
"""Mutation testing of the program's sources: plants one fault at a time in a
scratch copy of the tree and asks whether the tests notice. A fault they miss
is a line nothing checks.

Operators (each applied wherever it fits on code in src/**/*.cpp: inside a
function body, or in the initialiser of a constexpr definition; never in a
comment, a string or char literal, a preprocessor line, a signature or a
declaration without initialiser):

  delete-call        a call statement on lines of its own, `Foo(a);` or
                     `obj.Foo(a,\\n b);`, is removed; assignments, declarations
                     and `return` statements are not
  flip-comparison    `<` <-> `<=`, `>` <-> `>=`, `==` <-> `!=`; never a
                     template's brackets, `<<`, `>>` or `->`
  swap-logical       `&&` <-> `||` (binary ones only, not `T&&`)
  negate-condition   `if (c)` -> `if (!(c))`, and the same for `while`
  bump-constant      an integer literal N -> N+1 (same base and suffix; not an
                     array size in a declaration); a constexpr constant whose
                     initialiser holds no literal, `K = E` -> `K = (E) + 1`
  flip-boolean       TRUE <-> FALSE, true <-> false
  swap-argument      one argument of a call replaced by the next other
                     argument of the same call on the same line (the previous
                     one for the last); whether it compiles is the compiler's
                     business
  swap-field         a name replaced by its sibling from FIELD_SIBLINGS below,
                     where it is used rather than declared

A mutant's id names the file, line, operator, its occurrence among that
operator's mutants on the line, and the text before and after, e.g.
  src/clock/clock_logic.cpp:22 flip-comparison#1 'nearEdge <= SNAP_DISTANCE' -> 'nearEdge < SNAP_DISTANCE'

Judging, in build/mutants/work-N (a copy of the working tree's files with its
own build/native, build/win64 and Wine prefix), stopping at the first
failure: the native unit tests (ctest), the 64-bit end-to-end suite under
64-bit Wine (first the tests that killed this file's mutants before, then the
rest, fail-fast), the 64-bit soak at a few rounds. Stages the mutated file is
not compiled into are skipped. A mutant that does not compile counts as "not
built"; one whose test run takes more than three times as long as the same
tests on the unmutated tree (at least MIN_TIMEOUT_S, and for the end-to-end
runs E2E_WAITS_ALLOWED of the driver's waits more) is killed by a hang.

Equivalent mutants, which no user or file could ever tell apart, are listed
with their reason in scripts/mutants-equivalent.txt and skipped. An entry
that matches no mutant any more is a warning, not a failure: it can hide
nothing, and if its line only changed, the mutant comes back as a survivor,
which does fail the run. Results are
kept in build/mutants/results.json, keyed by the file's content hash and the
mutant's id, so a stopped run resumes and unchanged files are not judged
again; survivors are judged again once tests/ changes (--rejudge judges
everything again).

Exit status: 0 nothing survived, 1 something survived, 2 could not run (bad
arguments, an unmutated tree that does not build or fails its own tests, a
run stopped by a signal).
"""
import argparse
import collections
import dataclasses
import hashlib
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import xml.etree.ElementTree as ElementTree

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
EQUIVALENT_LIST = "scripts/mutants-equivalent.txt"
STATE_DIR = "build/mutants"
RESULTS_FILE = STATE_DIR + "/results.json"
RESULTS_VERSION = 1
RUNNER_FILES = ("scripts/mutants.py", EQUIVALENT_LIST)

OPERATORS = ("delete-call", "flip-comparison", "swap-logical", "negate-condition",
             "bump-constant", "flip-boolean", "swap-argument", "swap-field")

# Names that are easily confused for one another; each pair swaps both ways.
FIELD_SIBLINGS = (
    ("x", "y"), ("cx", "cy"), ("left", "right"), ("top", "bottom"),
    ("left", "top"), ("right", "bottom"), ("width", "height"),
    ("screenWidth", "screenHeight"), ("lfWidth", "lfHeight"),
    ("crText", "crBackground"),
)
SIBLINGS = collections.defaultdict(list)
for _a, _b in FIELD_SIBLINGS:
    SIBLINGS[_a].append(_b)
    SIBLINGS[_b].append(_a)

COMPARISON_FLIPS = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
BOOLEAN_FLIPS = {"TRUE": "FALSE", "FALSE": "TRUE", "true": "false", "false": "true"}
KEYWORDS = frozenset(
    "if while for switch return sizeof alignof alignas decltype catch throw new "
    "delete case do else static_assert typeid noexcept using typedef operator "
    "template static_cast const_cast reinterpret_cast dynamic_cast goto".split())

SOAK_ROUNDS = 20
# Wine's start-up alone varies by seconds: a short filtered run gets this much.
MIN_TIMEOUT_S = 20
HANG_FACTOR = 3
# An end-to-end test that fails by waiting spends the driver's whole wait on
# each wait it makes: its runs get room for this many such waits on top, so
# that the test is named as the killer instead of stopped as a hang.
E2E_WAITS_ALLOWED = 3
DRIVER_HEADER = "tests/e2e/driver.h"
KILLERS_TRIED_FIRST = 4
SNIPPET_WIDTH = 60
# Bumped when the judging changes, so recorded results are judged again.
JUDGE_VERSION = 1


# ---------------------------------------------------------------- the source

def mask_source(text):
    """Three copies of text of the same length: one with comments,
    preprocessor lines and the insides of string and char literals blanked;
    one with only the comments and preprocessor lines blanked; one like the
    first but with the literals' insides filled, so a literal reads as one
    word."""
    full = list(text)
    code = list(text)
    solid = list(text)
    n = len(text)

    def blank(start, end, both=True):
        for k in range(start, end):
            if text[k] != "\n":
                full[k] = " "
                solid[k] = " " if both else "_"
                if both:
                    code[k] = " "

    i = 0
    line_start = True
    while i < n:
        c = text[i]
        if c == "\n":
            line_start = True
            i += 1
            continue
        if c in " \t\r\f\v":
            i += 1
            continue
        if line_start and c == "#":
            j = i
            while j < n and not (text[j] == "\n" and text[j - 1] != "\\"):
                j += 1
            blank(i, j)
            i = j
            continue
        line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            blank(i, j)
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            blank(i, j)
            i = j
        elif c == '"':
            raw = re.search(r'R$', text[max(0, i - 3):i]) and not re.search(r"\w", text[i - 2:i - 1] or " ")
            if raw:
                delimiter = re.match(r'"([^(\s]*)\(', text[i:])
                closing = ")" + (delimiter.group(1) if delimiter else "") + '"'
                j = text.find(closing, i + 1)
                j = n if j < 0 else j + len(closing) - 1
            else:
                j = i + 1
                while j < n and text[j] != '"' and text[j] != "\n":
                    j += 2 if text[j] == "\\" else 1
            blank(i + 1, min(j, n), both=False)
            i = j + 1
        elif c == "'":
            token = re.search(r"[\w]+$", text[:i])
            if token and token.group(0)[0].isdigit():
                i += 1  # a digit separator
                continue
            j = i + 1
            while j < n and text[j] != "'" and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            blank(i + 1, min(j, n), both=False)
            i = j + 1
        else:
            i += 1
    return "".join(full), "".join(code), "".join(solid)


BODY, CONSTANT = 1, 2


def code_regions(masked):
    """Marks each character BODY (inside a function body), CONSTANT (in a
    constexpr initialiser outside one) or 0; also returns the template
    brackets, so that no comparison operator is taken for one."""
    region = bytearray(len(masked))
    kinds = []
    head_start = 0
    for i, c in enumerate(masked):
        top = kinds[-1] if kinds else "namespace"
        if top == "body":
            region[i] = BODY
            if c == "{":
                kinds.append("body")
            elif c == "}":
                kinds.pop()
                if not kinds or kinds[-1] != "body":
                    region[i] = 0
                    head_start = i + 1
            continue
        if top == "init":
            if c == "{":
                kinds.append("init")
            elif c == "}":
                kinds.pop()
            continue
        if c == "{":
            head = masked[head_start:i]
            if re.search(r"\bnamespace\b[\w\s:]*$|\bextern\s*\"[^\"]*\"\s*$", head):
                kinds.append("namespace")
                head_start = i + 1
            elif re.search(r"=\s*$", head):
                kinds.append("init")
            elif ")" in head:
                kinds.append("body")
            elif re.search(r"\b(class|struct|union|enum)\b", head):
                kinds.append("class")
                head_start = i + 1
            else:
                kinds.append("init")
        elif c == "}":
            if kinds:
                kinds.pop()
            head_start = i + 1
        elif c == ";":
            statement = masked[head_start:i]
            match = re.match(r"\s*(?:(?:static|inline)\s+)*constexpr\b[^=]*?(?<![=!<>])=(?!=)", statement)
            if match:
                for k in range(head_start + match.end(), i):
                    region[k] = CONSTANT
            head_start = i + 1
    return region


def template_brackets(masked):
    """Positions of the `<` and `>` that enclose template arguments."""
    brackets = set()
    for match in re.finditer(r"<", masked):
        i = match.start()
        if masked[i + 1:i + 2] in ("<", "=") or masked[i - 1:i] == "<":
            continue
        depth, j, opened = 1, i + 1, [i]
        while j < len(masked):
            c = masked[j]
            if c == "<":
                depth += 1
                opened.append(j)
            elif c == ">":
                if masked[j + 1:j + 2] == "=" or masked[j - 1:j] == "-":
                    break
                depth -= 1
                if depth == 0:
                    brackets.update(opened)
                    brackets.add(j)
                    break
            elif masked.startswith("&&", j) or not (c.isalnum() or c in "_ \t\n:,*&"):
                break
            j += 1
    return brackets


def matching_paren(masked, open_index):
    depth = 0
    for j in range(open_index, len(masked)):
        if masked[j] in "([{":
            depth += 1
        elif masked[j] in ")]}":
            depth -= 1
            if depth == 0:
                return j
    return -1


def split_arguments(masked, open_index, close_index, brackets):
    """(start, end) of each argument between the parentheses, trimmed."""
    spans = []
    depth = 0
    start = open_index + 1
    for j in range(open_index + 1, close_index + 1):
        c = masked[j]
        if c in "([{" or (c == "<" and j in brackets):
            depth += 1
        elif c in ")]}" or (c == ">" and j in brackets):
            if j == close_index:
                spans.append((start, j))
                break
            depth -= 1
        elif c == "," and depth == 0:
            spans.append((start, j))
            start = j + 1
    trimmed = []
    for a, b in spans:
        while a < b and masked[a].isspace():
            a += 1
        while b > a and masked[b - 1].isspace():
            b -= 1
        trimmed.append((a, b))
    return trimmed


@dataclasses.dataclass
class Mutant:
    path: str
    line: int
    operator: str
    occurrence: int
    before: str
    after: str
    edits: tuple          # ((start, end, replacement), ...) on the file's text
    key_before: str       # the line's code, comments left out, normalised
    key_after: str
    end_line: int         # the last line the change touches
    twin: int = 1         # which of the file's lines with this same code
    twins: int = 1        # how many lines have it

    @property
    def id(self):
        return (f"{self.path}:{self.line} {self.operator}#{self.occurrence} "
                f"'{self.before}' -> '{self.after}'")

    @property
    def equivalence_key(self):
        return (self.path, self.operator, self.key_before, self.key_after, self.twin)

    def apply(self, text):
        return apply_edits(self.edits, text)


def apply_edits(edits, text):
    for start, end, replacement in sorted(edits, reverse=True):
        text = text[:start] + replacement + text[end:]
    return text


def normalise(code):
    return " ".join(code.split())


def shorten(text, width=SNIPPET_WIDTH):
    text = normalise(text)
    return text if len(text) <= width else text[:width - 1] + "…"


def token_context(text, solid, start, end, replacement):
    """The changed text with the word either side of it on its line (solid:
    text with comments blanked and literals as one word)."""
    line_start = text.rfind("\n", 0, start) + 1
    line_end = text.find("\n", end)
    line_end = len(text) if line_end < 0 else line_end
    left = start
    while left > line_start and solid[left - 1] in " \t":
        left -= 1
    while left > line_start and not solid[left - 1].isspace() and solid[left - 1] not in "(,{[":
        left -= 1
    right = end
    while right < line_end and solid[right] in " \t":
        right += 1
    while right < line_end and not solid[right].isspace() and solid[right] not in "),;}]":
        right += 1
    before = text[left:right].strip()
    after = (text[left:start] + replacement + text[end:right]).strip()
    return shorten(before), shorten(after)


def find_mutants(path, text):
    """Every mutant of one source file, in the order of the text."""
    masked, code, solid = mask_source(text)
    region = code_regions(masked)
    brackets = template_brackets(masked)
    found = []  # (start, operator, before, after, edits)

    def allowed(i, operators_in_constants=True):
        return region[i] == BODY or (operators_in_constants and region[i] == CONSTANT)

    def add(operator, edits, before=None, after=None):
        start, end, replacement = edits[0]
        if before is None:
            before, after = token_context(text, solid, start, end, replacement)
        found.append((start, operator, before, after, tuple(edits)))

    # delete-call
    callee = re.compile(r"(?:[A-Za-z_]\w*\s*(?:::|\.|->)\s*)*~?([A-Za-z_]\w*)\s*(\()")
    for match in re.finditer(r"(?m)^[ \t]*(\S)", masked):
        p = match.start(1)
        if region[p] != BODY:
            continue
        prev = masked[:p].rstrip()
        if not prev or prev[-1] not in ";{}:":
            continue
        if prev[-1] == ":" and not re.search(
                r"(\bcase\b[^;{}?]*|\bdefault\s*|\b(public|private|protected)\s*):$",
                prev[prev.rfind("\n") + 1:]):
            continue
        call = callee.match(masked, p)
        first = re.match(r"[A-Za-z_]\w*", masked[p:])
        if not call or not first or first.group(0) in KEYWORDS:
            continue
        end = matching_paren(masked, call.start(2))
        while end > 0:
            rest = re.match(r"\s*(?:\.|->)\s*[A-Za-z_]\w*\s*\(", masked[end + 1:])
            if not rest:
                break
            end = matching_paren(masked, end + rest.end())
        tail = re.match(r"\s*;[ \t]*(?=\n|$)", masked[end + 1:]) if end > 0 else None
        if not tail:
            continue
        stop = end + 1 + tail.end()
        blanked = re.sub(r"[^\n]", "", text[p:stop])
        first_line = text[p:stop].split("\n")[0]
        before = shorten(first_line + (" …" if "\n" in text[p:stop] else ""))
        add("delete-call", [(p, stop, blanked)], before, "")

    # flip-comparison
    for match in re.finditer(r"<<=|>>=|<<|>>|->|<=|>=|==|!=|<|>", masked):
        token, i = match.group(0), match.start()
        if token not in COMPARISON_FLIPS or not allowed(i) or i in brackets:
            continue
        add("flip-comparison", [(i, match.end(), COMPARISON_FLIPS[token])])

    # swap-logical
    for match in re.finditer(r"&&|\|\|", masked):
        i, j = match.start(), match.end()
        if not allowed(i):
            continue
        if masked[i - 1:i] not in (" ", "\t", "\n", ")") or (j < len(masked) and masked[j] not in " \t\n(!"):
            continue
        add("swap-logical", [(i, j, "||" if match.group(0) == "&&" else "&&")])

    # negate-condition
    for match in re.finditer(r"\b(if|while)\s*\(", masked):
        if not allowed(match.start(), False):
            continue
        if re.match(r"\s*constexpr\b", masked[match.end(1):]):
            continue
        open_index = match.end() - 1
        close = matching_paren(masked, open_index)
        if close < 0:
            continue
        condition = text[open_index + 1:close]
        keyword = match.group(1)
        add("negate-condition",
            [(open_index + 1, open_index + 1, "!("), (close, close, ")")],
            shorten(f"{keyword} ({condition})"), shorten(f"{keyword} (!({condition}))"))

    # bump-constant: literals
    declared_array = re.compile(r"[A-Za-z_][\w:<>]*[\s*&]+[A-Za-z_]\w*\s*$")
    for match in re.finditer(r"(?<![\w.'])(0[xX][0-9a-fA-F]+|0[bB][01]+|\d+)([uUlL]*)(?![\w.'])", masked):
        i = match.start()
        if not allowed(i):
            continue
        bracket = masked.rfind("[", 0, i)
        if bracket >= 0 and "]" not in masked[bracket:i] and masked[bracket:i].strip("[ \t") == "" \
                and declared_array.search(masked[masked.rfind("\n", 0, bracket) + 1:bracket]):
            continue
        digits = match.group(1)
        if digits[:2] in ("0x", "0X"):
            bumped = format(int(digits, 16) + 1, "X" if any(c.isupper() for c in digits[2:]) else "x")
            bumped = digits[:2] + bumped
        elif digits[:2] in ("0b", "0B"):
            bumped = digits[:2] + format(int(digits, 2) + 1, "b")
        elif len(digits) > 1 and digits[0] == "0":
            bumped = "0" + format(int(digits, 8) + 1, "o")
        else:
            bumped = str(int(digits) + 1)
        add("bump-constant", [(i, match.end(1), bumped)])

    # bump-constant: named constants without a literal of their own
    for match in re.finditer(r"\bconstexpr\b[^;{}()=]*?\b([A-Za-z_]\w*)\s*(?:\[\s*\])?\s*=(?!=)\s*([^;{}]*?)\s*;", masked):
        init_start, init_end = match.start(2), match.end(2)
        initialiser = masked[init_start:init_end]
        if not initialiser or not allowed(init_start) or re.search(r"[\"'{]|(?<![\w.])\d", initialiser) \
                or initialiser.strip() in BOOLEAN_FLIPS or initialiser.strip() == "nullptr":
            continue
        original = text[init_start:init_end]
        name = match.group(1)
        add("bump-constant", [(init_start, init_end, f"({original}) + 1")],
            shorten(f"{name} = {original}"), shorten(f"{name} = ({original}) + 1"))

    # flip-boolean
    for match in re.finditer(r"\b(TRUE|FALSE|true|false)\b", masked):
        if allowed(match.start()):
            add("flip-boolean", [(match.start(), match.end(), BOOLEAN_FLIPS[match.group(1)])])

    # swap-argument
    for match in re.finditer(r"(\w|>)\s*\(", masked):
        open_index = match.end() - 1
        if not allowed(open_index):
            continue
        before_paren = masked[:match.start() + 1]
        if match.group(1) == ">":
            if match.start() not in brackets:
                continue
        else:
            name = re.search(r"[A-Za-z_]\w*$", before_paren)
            if not name or name.group(0) in KEYWORDS:
                continue
        close = matching_paren(masked, open_index)
        if close < 0:
            continue
        spans = [s for s in split_arguments(masked, open_index, close, brackets)]
        if len(spans) < 2 or any(a == b for a, b in spans):
            continue
        line_of = [text.count("\n", 0, a) for a, _ in spans]
        texts = [text[a:b] for a, b in spans]
        for index, (a, b) in enumerate(spans):
            if "\n" in texts[index]:
                continue
            others = list(range(index + 1, len(spans))) + list(range(index - 1, -1, -1))
            for other in others:
                if line_of[other] == line_of[index] and texts[other] != texts[index] and "\n" not in texts[other]:
                    add("swap-argument", [(a, b, texts[other])], shorten(texts[index]), shorten(texts[other]))
                    break

    # swap-field
    names = "|".join(sorted(SIBLINGS, key=len, reverse=True))
    for match in re.finditer(rf"(?<![\w]){'(' + names + ')'}(?![\w])", masked):
        i = match.start()
        if not allowed(i) or re.match(r"\s*\(", masked[match.end():]):
            continue
        prefix = masked[masked.rfind("\n", 0, i) + 1:i]
        declaration = re.search(r"([A-Za-z_][\w:]*|>)(\s+|[*&]+\s*)$", prefix)
        if declaration and declaration.group(1) not in KEYWORDS:
            continue
        for sibling in SIBLINGS[match.group(1)]:
            add("swap-field", [(i, match.end(), sibling)])

    found.sort(key=lambda item: item[0])
    line_starts = [0] + [k + 1 for k, c in enumerate(text) if c == "\n"]
    code_lines = code.split("\n")
    # Lines of the same code (two `Release();` in two functions) are told
    # apart by their order in the file.
    twin_of, seen = [], collections.Counter()
    for row in code_lines:
        seen[normalise(row)] += 1
        twin_of.append(seen[normalise(row)])
    counters = collections.Counter()
    mutants = []
    for start, operator, before, after, edits in found:
        line = _line_of(line_starts, start)
        counters[(line, operator)] += 1
        key_after = apply_edits(edits, code).split("\n")[line - 1]
        end_line = _line_of(line_starts, max(end for _, end, _ in edits))
        key_before = normalise(code_lines[line - 1])
        mutants.append(Mutant(path, line, operator, counters[(line, operator)], before, after, edits,
                              key_before, normalise(key_after), end_line,
                              twin_of[line - 1], seen[key_before]))
    return mutants


def _line_of(line_starts, offset):
    low, high = 0, len(line_starts) - 1
    while low < high:
        middle = (low + high + 1) // 2
        if line_starts[middle] <= offset:
            low = middle
        else:
            high = middle - 1
    return low + 1


# ------------------------------------------------------- choosing the mutants

def changed_lines(base, root=ROOT):
    """{path: set of line numbers} changed since the git commit base, with
    new untracked sources counted whole."""
    diff = subprocess.run(["git", "diff", "-U0", base, "--", "src"], cwd=root,
                          capture_output=True, text=True)
    if diff.returncode != 0:
        raise RunError(f"git diff {base} failed: {diff.stderr.strip()}")
    lines = collections.defaultdict(set)
    path = None
    for row in diff.stdout.splitlines():
        if row.startswith("+++ "):
            path = None if row[4:] == "/dev/null" else row[6:]
        elif row.startswith("@@") and path:
            hunk = re.match(r"@@ -\S+ \+(\d+)(?:,(\d+))? @@", row)
            first, count = int(hunk.group(1)), int(hunk.group(2) or 1)
            lines[path].update(range(first, first + count))
    untracked = subprocess.run(["git", "ls-files", "-o", "--exclude-standard", "src"], cwd=root,
                               capture_output=True, text=True).stdout.split()
    for name in untracked:
        lines[name].update(range(1, 1 << 30))
    return {p: s for p, s in lines.items() if p.endswith(".cpp") and s}


def mutant_lines(mutant):
    return range(mutant.line, mutant.end_line + 1)


def sample_mutants(mutants_by_file, line_counts, count, seed):
    """count mutants spread over the files in proportion to their lines (each
    file's share filled at random within it), the same for the same seed
    and sources."""
    files = sorted(f for f in mutants_by_file if mutants_by_file[f])
    room = {f: len(mutants_by_file[f]) for f in files}
    quota = dict.fromkeys(files, 0)
    left = min(count, sum(room.values()))
    # Largest remainders; a file with fewer mutants than its share passes the
    # rest on to the others.
    while left > 0:
        open_files = [f for f in files if quota[f] < room[f]]
        weight = sum(line_counts[f] or 1 for f in open_files)
        exact = {f: left * (line_counts[f] or 1) / weight for f in open_files}
        add = {f: min(int(exact[f]), room[f] - quota[f]) for f in open_files}
        if all(add[f] == int(exact[f]) for f in open_files):
            spare = left - sum(add.values())
            by_remainder = sorted((f for f in open_files if quota[f] + add[f] < room[f]),
                                  key=lambda f: (-(exact[f] - int(exact[f])), f))
            for f in by_remainder[:spare]:
                add[f] += 1
        if not any(add.values()):
            break  # cannot happen while the shares add up; never loop forever
        for f, extra in add.items():
            quota[f] += extra
            left -= extra
    chosen = []
    for f in files:
        generator = random.Random(f"{seed}:{f}")
        picked = generator.sample(range(room[f]), quota[f])
        chosen.extend(mutants_by_file[f][k] for k in sorted(picked))
    return chosen


# ------------------------------------------------------- equivalent mutants

@dataclasses.dataclass
class Equivalent:
    path: str
    operator: str
    before: str
    after: str
    reason: str
    line: int  # in the list, for messages
    twin: int = 1

    @property
    def key(self):
        return (self.path, self.operator, self.before, self.after, self.twin)


def parse_equivalents(text):
    """The list's entries. Each is four lines:
         FILE OPERATOR [@N]
         - the line as it is
         + the line as the mutant makes it
         why: the one-line reason no one could tell the difference
    compared with comments left out and white space collapsed; @N picks the
    Nth of several lines of the file with the same code (the first when
    left out)."""
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
            problems.append(f"{EQUIVALENT_LIST}:{number}: expected 'FILE OPERATOR [@N]', '- line', '+ line', "
                            "'why: reason'")
            k += 1
            while k < len(rows) and not _is_entry_head(rows[k][1]):
                k += 1
            continue
        before = block[1][1].lstrip()[1:]
        after = block[2][1].lstrip()[1:]
        reason = block[3][1].lstrip()[4:].strip()
        if not reason:
            problems.append(f"{EQUIVALENT_LIST}:{number}: no reason given")
        twin = int(fields[2][1:]) if len(fields) == 3 else 1
        entries.append(Equivalent(fields[0], fields[1], normalise(before), normalise(after), reason, number, twin))
        k += 4
    return entries, problems


def _is_entry_head(row):
    fields = row.split()
    return (len(fields) in (2, 3) and fields[1] in OPERATORS
            and (len(fields) == 2 or re.fullmatch(r"@[1-9]\d*", fields[2]) is not None))


def match_equivalents(entries, mutants_by_file):
    """{equivalence key: reason} of the entries that apply, and the entries
    that match no mutant of their file any more."""
    keys = {m.equivalence_key for mutants in mutants_by_file.values() for m in mutants}
    applying = {e.key: e.reason for e in entries if e.key in keys}
    stale = [e for e in entries if e.key not in keys]
    return applying, stale


def equivalent_entry(mutant):
    twin = f" @{mutant.twin}" if mutant.twins > 1 else ""
    return (f"{mutant.path} {mutant.operator}{twin}\n  - {mutant.key_before}\n"
            f"  + {mutant.key_after}\n  why: ")


# --------------------------------------------------------------- the judging

class RunError(Exception):
    """The run cannot go on: exit status 2."""


def sha256(data):
    return hashlib.sha256(data).hexdigest()


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
    """build/mutants/results.json, rewritten whole after every change."""

    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()
        self.data = {"version": RESULTS_VERSION, "baseline": {}, "killers": {}, "mutants": {}}
        try:
            with open(path, encoding="utf-8") as stored:
                data = json.load(stored)
            if data.get("version") == RESULTS_VERSION:
                self.data = data
        except (OSError, ValueError):
            pass

    def save(self):
        os.makedirs(os.path.dirname(self.path), exist_ok=True)
        with tempfile.NamedTemporaryFile("w", dir=os.path.dirname(self.path), delete=False,
                                         encoding="utf-8") as out:
            json.dump(self.data, out, indent=1, sort_keys=True)
        os.replace(out.name, self.path)

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


@dataclasses.dataclass
class Verdict:
    outcome: str        # killed, hang, survived, not-built
    detail: str
    killer: str = ""    # an end-to-end test's name, remembered for the file


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
        settings = {
            "native": ["-DCMAKE_BUILD_TYPE=Debug"],
            "win64": ["-DCMAKE_BUILD_TYPE=MinSizeRel",
                      "-DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake"],
        }
        for build, options in settings.items():
            log = os.path.join(self.logs, f"configure-{build}.log")
            status, _ = self.run(["cmake", "-S", ".", "-B", f"build/{build}", *options,
                                  "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON"], log, None)
            if status != 0:
                raise RunError(f"cmake could not configure {self.root}/build/{build}: see {log}")
            with open(os.path.join(self.root, "build", build, "compile_commands.json"), encoding="utf-8") as commands:
                self.sources[build] = {os.path.relpath(os.path.join(c["directory"], c["file"]), self.root)
                                       for c in json.load(commands)}

    def build(self, build):
        """(True, "") or (False, the first error line)."""
        command = ["cmake", "--build", f"build/{build}", "-j", str(self.build_jobs)]
        if build == "win64":
            command += ["--target", "velmora_e2e", "velmora_soak"]
        log = os.path.join(self.logs, f"build-{build}.log")
        status, _ = self.run(command, log, None)
        if status == 0:
            return True, ""
        with open(log, encoding="utf-8", errors="replace") as output:
            errors = [row.strip() for row in output if "error" in row.lower()]
        return False, (errors[0] if errors else f"exit status {status}")[:200]

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
            ["ctest", "--test-dir", "build/native", "--no-tests=error", "--stop-on-failure",
             "-E", "^mutants_runner$", "--output-junit", report],
            os.path.join(self.logs, "unit.log"), timeout)
        return status, seconds, _failed_tests(report, status)

    def wine_tests(self, program, arguments, timeout, name, rounds=None):
        report = os.path.join(self.logs, f"{name}.xml")
        _remove(report)
        if program == "velmora_e2e.exe":
            run = 'run_with_zone_file "$VELMORA_WINE" build/win64/velmora_e2e.exe "$@"'
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
    failed = []
    for case in tree.iter("testcase"):
        if case.find("failure") is not None or case.get("status") == "fail" or case.find("error") is not None:
            name = case.get("name")
            classname = case.get("classname")
            failed.append(name if not classname or classname == name else f"{classname}.{name}")
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


# ---------------------------------------------------------------- the runner

class Runner:
    def __init__(self):
        self.workers = []
        self.stop = threading.Event()
        self.print_lock = threading.Lock()
        self.results = Results(os.path.join(ROOT, RESULTS_FILE))
        self.baseline = {}
        self.wait_seconds = driver_wait_seconds()

    def say(self, text):
        with self.print_lock:
            print(text, flush=True)

    def judge(self, worker, mutant, original):
        """The verdict on one mutant, with the seconds each step took."""
        target = os.path.join(worker.root, mutant.path)
        worker.timings = collections.Counter()
        try:
            _write(target, mutant.apply(original))
            verdict = self.run_stages(worker, mutant)
        finally:
            _write(target, original)
        return verdict, {step: round(seconds, 1) for step, seconds in worker.timings.items()}

    def run_stages(self, worker, mutant):
        baseline = self.baseline
        if mutant.path in worker.sources["native"]:
            built, error = worker.build("native")
            if not built:
                return Verdict("not-built", error)
            status, seconds, failed = worker.unit_tests(_timeout(baseline["unit"]))
            if status is None:
                return Verdict("hang", f"a hang in the unit tests (stopped after {seconds:.0f} s)")
            if status != 0:
                return Verdict("killed", f"unit test {failed[0]}")
        if mutant.path in worker.sources["win64"]:
            built, error = worker.build("win64")
            if not built:
                return Verdict("not-built", error)
            verdict = self.end_to_end(worker, mutant)
            if verdict:
                return verdict
            status, seconds, failed, _ = worker.wine_tests(
                "velmora_soak.exe", [], _timeout(baseline["soak"]), "soak", SOAK_ROUNDS)
            if status is None:
                return Verdict("hang", f"a hang in the soak (stopped after {seconds:.0f} s)")
            if status != 0:
                return Verdict("killed", f"soak test {failed[0]}")
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
        for name, arguments, tests in runs:
            expected = overhead + sum(times[t] for t in tests)
            limit = _timeout(expected) + E2E_WAITS_ALLOWED * self.wait_seconds
            status, seconds, failed, _ = worker.wine_tests("velmora_e2e.exe", arguments, limit, name)
            if status is None:
                return Verdict("hang", f"a hang in the end-to-end suite (stopped after {seconds:.0f} s)")
            if status != 0:
                killer = failed[0] if failed[0] in times else ""
                return Verdict("killed", f"end-to-end test {failed[0]}", killer)
        return None

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
                raise RunError(f"the unmutated tree does not build in {worker.root}/build/{build}: {error}")

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
            stored = self.results.data.get("baseline", {})
            if stored.get("tree") == tree_hash and stored.get("judge") == JUDGE_VERSION \
                    and stored.get("e2e_tests"):
                self.baseline = stored
                self.say("the unmutated tree passed its tests before; its times are kept")
            else:
                self.say("running the unmutated tree's tests")
                measured = []
                in_parallel(lambda w: measured.append(self.measure_baseline(w)))
                baseline = {"tree": tree_hash, "tests": tests_hash, "judge": JUDGE_VERSION}
                for name in ("unit", "e2e", "e2e_overhead", "soak"):
                    baseline[name] = max(m.get(name, 0.0) for m in measured)
                baseline["e2e_tests"] = {t: max(m["e2e_tests"].get(t, 0.0) for m in measured)
                                         for t in measured[0]["e2e_tests"]}
                self.baseline = baseline
                with self.results.lock:
                    self.results.data["baseline"] = baseline
                    self.results.save()
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
                    self.results.record(key, result, mutant.path, verdict.killer)
                    done.append(index)
                    self.say(_line(mutant, result, f"[{len(done)}/{len(pending)}] "))

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


def driver_wait_seconds(root=ROOT):
    """The end-to-end driver's WAIT_TIMEOUT_MS, in seconds."""
    with open(os.path.join(root, DRIVER_HEADER), encoding="utf-8") as header:
        found = re.search(r"\bWAIT_TIMEOUT_MS\s*=\s*(\d+)", header.read())
    if not found:
        raise RunError(f"no WAIT_TIMEOUT_MS in {DRIVER_HEADER}")
    return int(found.group(1)) / 1000


def _write(path, text):
    with open(path, "w", encoding="utf-8", newline="") as out:
        out.write(text)


def _line(mutant, result, prefix=""):
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


def summary_line(counts):
    killed = counts["killed"] + counts["hang"]
    judged = killed + counts["survived"]
    score = f"{100.0 * killed / judged:.1f}%" if judged else "n/a"
    return (f"{killed} killed, {counts['survived']} survived, {counts['equivalent']} equivalent, "
            f"{counts['not-built']} not built; score {score}")


# ------------------------------------------------------------------- main

def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        description="Plants one fault at a time in a scratch copy of the tree and runs the tests on it.")
    parser.add_argument("--all", action="store_true", help="every mutant of every file")
    parser.add_argument("--changed", metavar="BASE", help="every mutant on the src/ lines changed since git BASE")
    parser.add_argument("--sample", metavar="N", type=int, help="N mutants spread over the files by their lines")
    parser.add_argument("--seed", default="0", help="the sample's seed (default 0)")
    parser.add_argument("--file", metavar="F", help="only src/**/*.cpp file F (all its mutants, or --sample of them)")
    parser.add_argument("--match", metavar="TEXT", help="only the mutants whose id contains TEXT")
    parser.add_argument("--list", action="store_true", help="print the mutants and their count; run nothing")
    parser.add_argument("--jobs", type=int, default=min(2, os.cpu_count() or 1),
                        help="mutants judged at once, each in its own copy (default min(2, cores))")
    parser.add_argument("--rejudge", action="store_true", help="judge again mutants with a recorded result")
    arguments = parser.parse_args(argv)
    modes = [arguments.changed is not None, arguments.sample is not None, arguments.file is not None]
    if (arguments.changed is not None and any(modes[1:])) or arguments.all == any(modes):
        parser.error("give --all, --changed BASE, --sample N, --file F or --file F --sample N")
    if arguments.sample is not None and arguments.sample < 1 or arguments.jobs < 1:
        parser.error("--sample and --jobs take a positive number")
    return arguments


def source_paths():
    paths = []
    for folder, _, names in os.walk(os.path.join(ROOT, "src")):
        paths += [os.path.relpath(os.path.join(folder, n), ROOT) for n in names if n.endswith(".cpp")]
    return sorted(paths)


def main(argv=None):
    try:
        arguments = parse_arguments(argv)
    except SystemExit as exit_:
        return 2 if exit_.code else 0
    try:
        return run(arguments)
    except RunError as error:
        print(f"mutants: {error}", file=sys.stderr)
        return 2


def run(arguments):
    paths = source_paths()
    if arguments.file:
        wanted = os.path.relpath(os.path.abspath(arguments.file), ROOT)
        if wanted not in paths:
            raise RunError(f"{arguments.file} is not a source file under src/")
        paths = [wanted]
    originals = {}
    for path in source_paths():
        with open(os.path.join(ROOT, path), encoding="utf-8", newline="") as source:
            originals[path] = source.read()
    every = {p: find_mutants(p, originals[p]) for p in originals}
    by_file = {p: every[p] for p in paths}
    if arguments.changed is not None:
        lines = changed_lines(arguments.changed)
        by_file = {p: [m for m in every.get(p, []) if lines.get(p, set()).intersection(mutant_lines(m))]
                   for p in sorted(lines) if p in every}
    if arguments.sample is not None:
        line_counts = {p: originals[p].count("\n") + 1 for p in by_file}
        chosen = sample_mutants(by_file, line_counts, arguments.sample, arguments.seed)
    else:
        chosen = [m for p in sorted(by_file) for m in by_file[p]]
    if arguments.match:
        chosen = [m for m in chosen if arguments.match in m.id]

    try:
        with open(os.path.join(ROOT, EQUIVALENT_LIST), encoding="utf-8") as listed:
            entries, problems = parse_equivalents(listed.read())
    except OSError:
        entries, problems = [], []
    for problem in problems:
        print(f"warning: {problem}", file=sys.stderr)
    equivalents, stale = match_equivalents(entries, every)
    for entry in stale:
        print(f"warning: {EQUIVALENT_LIST}:{entry.line}: {entry.path} {entry.operator} "
              f"'{entry.before}' matches no mutant any more", file=sys.stderr)

    if arguments.list:
        for mutant in chosen:
            reason = equivalents.get(mutant.equivalence_key)
            print(mutant.id + (f"  [equivalent: {reason}]" if reason else ""))
        per_operator = collections.Counter(m.operator for m in chosen)
        print("per operator: " + ", ".join(f"{op} {per_operator[op]}" for op in OPERATORS))
        if len(by_file) > 1:
            per_file = collections.Counter(m.path for m in chosen)
            for path in sorted(per_file):
                print(f"  {path}: {per_file[path]}")
        print(f"{len(chosen)} mutants in {len({m.path for m in chosen})} files")
        return 0

    files = tree_files()
    # The runner's own files and the documents change no build and no
    # test's outcome.
    judged = [f for f in files if f not in RUNNER_FILES and not f.startswith(("tests/mutants/", "docs/"))
              and not f.endswith(".md")]
    tree_hash = digest_of(ROOT, judged)
    tests_hash = sha256(f"{digest_of(ROOT, [f for f in judged if f.startswith('tests/')])}"
                        f":{SOAK_ROUNDS}:{JUDGE_VERSION}".encode())
    runner = Runner()
    file_hashes = {p: sha256(originals[p].encode()) for p in originals}
    outcomes = []  # (mutant, result)
    pending = []
    for mutant in chosen:
        key = f"{file_hashes[mutant.path]}:{mutant.id}"
        reason = equivalents.get(mutant.equivalence_key)
        if reason is not None:
            outcomes.append((mutant, {"outcome": "equivalent", "detail": reason}))
            continue
        recorded = runner.results.data["mutants"].get(key)
        if recorded and not arguments.rejudge and (recorded["outcome"] != "survived"
                                                   or recorded.get("tests") == tests_hash):
            outcomes.append((mutant, recorded))
            continue
        pending.append((len(pending), mutant, key))
    for mutant, result in outcomes:
        print(_line(mutant, result, "recorded    " if result["outcome"] != "equivalent" else ""))
    print(f"{len(chosen)} mutants: {len(outcomes)} known, {len(pending)} to judge", flush=True)

    if pending:
        jobs = min(arguments.jobs, len(pending))
        previous = {s: signal.signal(s, runner.interrupt) for s in (signal.SIGINT, signal.SIGTERM)}
        try:
            runner.run_all(pending, originals, tree_hash, tests_hash, files, jobs)
        finally:
            for s, handler in previous.items():
                signal.signal(s, handler)
        if runner.stop.is_set():
            print("mutants: stopped; the results so far are kept and the next run goes on from them",
                  file=sys.stderr)
            return 2
        for _, mutant, key in pending:
            outcomes.append((mutant, runner.results.data["mutants"][key]))

    counts = collections.Counter()
    per_file = collections.defaultdict(collections.Counter)
    survivors = []
    for mutant, result in outcomes:
        counts[result["outcome"]] += 1
        per_file[mutant.path][result["outcome"]] += 1
        if result["outcome"] == "survived":
            survivors.append(mutant)
    if len(per_file) > 1:
        for path in sorted(per_file):
            print(f"  {path}: {summary_line(per_file[path])}")
    if survivors:
        print(f"survivors ({len(survivors)}); one that no user or file could tell apart goes into "
              f"{EQUIVALENT_LIST} as:")
        for mutant in sorted(survivors, key=lambda m: (m.path, m.line)):
            print(f"  {mutant.id}")
        print(equivalent_entry(survivors[0]) + "...")
    print(summary_line(counts))
    return 1 if survivors else 0


if __name__ == "__main__":
    sys.exit(main())
