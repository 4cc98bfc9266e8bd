"""The faults the runner plants, as the slips people make.

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
"""
import collections
import dataclasses
import re

from .scanning import (BODY, CONSTANT, code_regions, function_names, line_of, mask_source, matching_paren, normalise,
                       shorten, split_arguments, template_brackets, token_context)

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
    function: str = ""    # whose body holds it, "" outside every function
    twin: int = 1         # which of the function's lines with this same code
    twins: int = 1        # how many lines of the function have it

    @property
    def id(self):
        return (f"{self.path}:{self.line} {self.operator}#{self.occurrence} "
                f"'{self.before}' -> '{self.after}'")

    @property
    def equivalence_key(self):
        return (self.path, self.operator, self.key_before, self.key_after, self.function, self.twin)

    def apply(self, text):
        return apply_edits(self.edits, text)


def apply_edits(edits, text):
    for start, end, replacement in sorted(edits, reverse=True):
        text = text[:start] + replacement + text[end:]
    return text


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
        argument_lines = [text.count("\n", 0, a) for a, _ in spans]
        texts = [text[a:b] for a, b in spans]
        for index, (a, b) in enumerate(spans):
            if "\n" in texts[index]:
                continue
            others = list(range(index + 1, len(spans))) + list(range(index - 1, -1, -1))
            for other in others:
                if argument_lines[other] == argument_lines[index] and texts[other] != texts[index] and "\n" not in texts[other]:
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
    # apart by the function that holds them, and only within one function
    # by their order: a twin added elsewhere in the file changes no key.
    functions = function_names(masked)
    twin_of, seen = [], collections.Counter()
    for row, function in zip(code_lines, functions):
        seen[(function, normalise(row))] += 1
        twin_of.append(seen[(function, normalise(row))])
    counters = collections.Counter()
    mutants = []
    for start, operator, before, after, edits in found:
        line = line_of(line_starts, start)
        counters[(line, operator)] += 1
        key_after = apply_edits(edits, code).split("\n")[line - 1]
        end_line = line_of(line_starts, max(end for _, end, _ in edits))
        key_before = normalise(code_lines[line - 1])
        function = functions[line - 1]
        mutants.append(Mutant(path, line, operator, counters[(line, operator)], before, after, edits,
                              key_before, normalise(key_after), end_line, function,
                              twin_of[line - 1], seen[(function, key_before)]))
    return mutants

