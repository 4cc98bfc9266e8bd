"""The faults the runner plants, as the slips people make.

Operators (each applied wherever it fits on code in src/**/*.cpp and
src/**/*.h: inside a function body, or in the initialiser of a constexpr
definition; never in a comment, a preprocessor line, a signature or a
declaration without initialiser, nor inside a literal but by change-literal):

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
                     one for the last), or where it has none there, by the
                     nearest on another line of the call; whether it compiles
                     is the compiler's business
  swap-field         a name replaced by its sibling from FIELD_SIBLINGS below,
                     where it is used rather than declared
  drop-flag          one operand of `A | B | C` left out, each once (bare
                     names only: no call, no member)
  sibling-constant   a named constant (`PREFIX_REST`, in capitals) replaced by
                     the next of its family: the constants with the same
                     prefix that the program uses (src/ and res/resource.h),
                     in name order, the last by the first
  change-literal     a string literal emptied, or one character longer; a
                     character literal made '\\0' (and '\\0' made 'x')
  swap-arithmetic    binary `+` <-> `-`, `*` <-> `/` (and their `=` forms),
                     written with a blank either side; never in a typedef
  scale-argument     a call's argument that counts something (a literal
                     above 0, or a name ending in Ms, Period, Width, Size,
                     Count and the like) halved: `N` -> `N / 2`, `1` -> `2`
  delete-assignment  an assignment statement on lines of its own, `x = y;`
                     or `p->f |= g;`, is removed; declarations are not
  replace-return     `return E;` -> `return !(E);` where E looks like a
                     condition, and `return 0;` where E is not a literal

In the resource script (res/*.rc), apart from comments, preprocessor lines
and the lines that name a file: bump-constant on each number, drop-flag on
each style list, change-literal on each text. In the manifests
(res/*.manifest), apart from comments and the declaration:

  change-attribute   an attribute's value one character longer (xmlns aside)
  bump-constant      the last number of an attribute's value
  flip-boolean       a `true` or `false` element text

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
             "bump-constant", "flip-boolean", "swap-argument", "swap-field", "drop-flag",
             "sibling-constant", "change-literal", "swap-arithmetic", "scale-argument",
             "delete-assignment", "replace-return", "change-attribute")

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

ARITHMETIC_SWAPS = {"+": "-", "-": "+", "*": "/", "/": "*"}
# Arguments that count something: a wait, a size, a number of tries.
NUMERIC_NAME = re.compile(
    r"(?:^|_)(?i:ms|seconds|period|wait|delay|width|height|size|count|length|extent|margin|distance"
    r"|tries|rounds)$|(?<=[a-z])(?:Ms|Seconds|Period|Wait|Delay|Width|Height|Size|Count|Length"
    r"|Extent|Margin|Distance|Tries|Rounds)$")
ASSIGNMENT = re.compile(
    r"\*?[A-Za-z_]\w*(?:\s*(?:\.|->)\s*[A-Za-z_]\w*|\s*\[[^\]\n]*\])*\s*(?:[+\-*/|&^]|<<|>>)?=(?!=)")
BOOLEAN_LOOKING = re.compile(r"==|!=|<=|>=|&&|\|\||^\s*!|\b(?:Is|Has|Same|Equal)\w*\s*\(")
# A resource script's line that names a file: the resource compiler reads
# it, and another name only fails the build.
FILE_LINE = re.compile(r"^\s*\w+\s+\w+\s+\"[^\"]*\"\s*$")
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


def find_mutants(path, text, constants=frozenset()):
    """Every mutant of one source file, in the order of the text; constants
    are the program's named constants, of which sibling-constant picks."""
    if path.endswith(".rc"):
        return find_resource_mutants(path, text)
    if path.endswith(".manifest"):
        return find_manifest_mutants(path, text)
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
    for p in statement_starts(masked, region):
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
        delete_statement(text, p, end + 1 + tail.end(), "delete-call", add)

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
    for match in re.finditer(NUMBER, masked):
        i = match.start()
        if not allowed(i):
            continue
        bracket = masked.rfind("[", 0, i)
        if bracket >= 0 and "]" not in masked[bracket:i] and masked[bracket:i].strip("[ \t") == "" \
                and declared_array.search(masked[masked.rfind("\n", 0, bracket) + 1:bracket]):
            continue
        add("bump-constant", [(i, match.end(1), bumped_number(match.group(1)))])

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
            # A partner on the same line first; in a call spread over
            # lines, the nearest one on another.
            others.sort(key=lambda k: argument_lines[k] != argument_lines[index])
            for other in others:
                if texts[other] != texts[index] and "\n" not in texts[other]:
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

    # drop-flag
    for match in re.finditer(r"(?<![\w|&.>:])[A-Za-z_]\w*(?:\s*\|\s*[A-Za-z_]\w*)+(?![\w|(.:\-])", masked):
        if allowed(match.start()):
            drop_each_flag(text, match, add)

    # sibling-constant
    families = collections.defaultdict(list)
    for name in sorted(constants):
        families[name.split("_")[0]].append(name)
    for match in re.finditer(r"(?<![\w.>:])([A-Z][A-Z0-9]*_[A-Z0-9_]*[A-Z0-9])(?![\w(])", masked):
        name, i = match.group(1), match.start()
        family = families.get(name.split("_")[0], [])
        if not allowed(i) or name not in family or len(family) < 2:
            continue
        add("sibling-constant", [(i, match.end(), family[(family.index(name) + 1) % len(family)])])

    # change-literal
    for match in re.finditer(r'"[ \t]*"|\'[ \t]+\'', masked):
        if allowed(match.start()):
            change_literal(text, match.start(), match.end(), add)

    # swap-arithmetic: binary ones, written with a blank either side
    for match in re.finditer(r"(?<=[\w)\]'\"] )([+\-*/])(=?)(?= )", masked):
        i = match.start(1)
        line = masked[masked.rfind("\n", 0, i) + 1:masked.find("\n", i)]
        if allowed(i) and not re.search(r"\btypedef\b", line):
            add("swap-arithmetic", [(i, i + 1, ARITHMETIC_SWAPS[match.group(1)])])

    # scale-argument, delete-assignment, replace-return
    for match in re.finditer(r"(\w)\s*\(", masked):
        open_index = match.end() - 1
        name = re.search(r"[A-Za-z_]\w*$", masked[:match.start() + 1])
        if not allowed(open_index) or not name or name.group(0) in KEYWORDS:
            continue
        close = matching_paren(masked, open_index)
        for a, b in (split_arguments(masked, open_index, close, brackets) if close > 0 else []):
            argument = text[a:b]
            if re.fullmatch(r"[1-9]\d*", argument) or (
                    re.fullmatch(r"[A-Za-z_]\w*", argument) and NUMERIC_NAME.search(argument)):
                scaled = "2" if argument == "1" else f"{argument} / 2"
                add("scale-argument", [(a, b, scaled)], shorten(argument), shorten(scaled))
    for p in statement_starts(masked, region):
        target = ASSIGNMENT.match(masked, p)
        if target:
            stop = statement_end(masked, target.end())
            if stop > 0:
                delete_statement(text, p, stop, "delete-assignment", add)
    for match in re.finditer(r"\breturn\b(\s+)", masked):
        if not allowed(match.start(), False):
            continue
        a = match.end()
        b = statement_end(masked, a, own_line=False) - 1
        expression = text[a:b].strip()
        if b <= a or re.fullmatch(r"TRUE|FALSE|true|false|nullptr|-?\d+|'.*'|\".*\"", expression):
            continue
        if BOOLEAN_LOOKING.search(masked[a:b]):
            add("replace-return", [(a, b, f"!({expression})")], shorten(f"return {expression}"),
                shorten(f"return !({expression})"))
        add("replace-return", [(a, b, "0")], shorten(f"return {expression}"), "return 0")

    return _mutants_from(path, text, code, masked, found)


def _mutants_from(path, text, code, masked, found):
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


def statement_starts(masked, region):
    """Where a statement begins a line of its own inside a function body."""
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
        yield p


def statement_end(masked, start, own_line=True):
    """Just past the `;` that ends the statement (and its line, if
    own_line), or -1."""
    depth = 0
    for j in range(start, len(masked)):
        c = masked[j]
        if c in "([":
            depth += 1
        elif c in ")]":
            depth -= 1
        elif c in "{}" and depth == 0:
            return -1
        elif c == ";" and depth == 0:
            return j + 1 if not own_line or re.match(r"[ \t]*(?:\n|$)", masked[j + 1:]) else -1
    return -1


def delete_statement(text, start, stop, operator, add):
    blanked = re.sub(r"[^\n]", "", text[start:stop])
    first_line = text[start:stop].split("\n")[0]
    add(operator, [(start, stop, blanked)], shorten(first_line + (" …" if "\n" in text[start:stop] else "")), "")


def drop_each_flag(text, match, add):
    """`A | B | C` without A, without B, without C."""
    base = match.start()
    operands = [(base + m.start(), base + m.end()) for m in re.finditer(r"[A-Za-z_]\w*", match.group(0))]
    chain = text[match.start():match.end()]
    for k, (a, b) in enumerate(operands):
        start, end = (a, operands[1][0]) if k == 0 else (operands[k - 1][1], b)
        after = text[match.start():start] + text[end:match.end()]
        add("drop-flag", [(start, end, "")], shorten(chain), shorten(after))


def change_literal(text, start, end, add):
    """A string emptied, or one character longer; a character made NUL."""
    literal, inside = text[start:end], text[start + 1:end - 1]
    if literal[0] == '"':
        if inside:
            add("change-literal", [(start + 1, end - 1, "")], shorten(literal), '""')
        add("change-literal", [(end - 1, end - 1, "x")], shorten(literal), shorten(literal[:-1] + 'x"'))
    else:
        changed = "x" if inside == "\\0" else "\\0"
        add("change-literal", [(start + 1, end - 1, changed)], shorten(literal), f"'{changed}'")


def find_resource_mutants(path, text):
    """A resource script: numbers bumped, style flags dropped, texts changed,
    anywhere but in comments, preprocessor lines and the names of files."""
    masked, code, solid = mask_source(text)
    found = []
    lines = text.split("\n")

    def add(operator, edits, before=None, after=None):
        start, end, replacement = edits[0]
        if before is None:
            before, after = token_context(text, solid, start, end, replacement)
        found.append((start, operator, before, after, tuple(edits)))

    def names_a_file(i):
        return FILE_LINE.match(lines[text.count("\n", 0, i)]) is not None

    for match in re.finditer(NUMBER, masked):
        if not names_a_file(match.start()):
            add("bump-constant", [(match.start(), match.end(1), bumped_number(match.group(1)))])
    for match in re.finditer(r"(?<![\w|&])[A-Za-z_]\w*(?:\s*\|\s*[A-Za-z_]\w*)+(?![\w|(])", masked):
        drop_each_flag(text, match, add)
    for match in re.finditer(r'"[ \t]*"', masked):
        if not names_a_file(match.start()):
            change_literal(text, match.start(), match.end(), add)
    return _mutants_from(path, text, code, masked, found)


def find_manifest_mutants(path, text):
    """A manifest: each attribute's value changed, its last number bumped,
    a true or false flipped; comments and the declaration are left alone."""
    masked = re.sub(r"<!--.*?-->|<\?.*?\?>", lambda m: re.sub(r"[^\n]", " ", m.group(0)), text, flags=re.S)
    found = []
    for match in re.finditer(r'([\w:]+)="([^"]*)"', masked):
        name, value, a, b = match.group(1), match.group(2), match.start(2), match.end(2)
        if name == "xmlns" or name.startswith("xmlns:"):
            continue
        before = shorten(match.group(0))
        found.append((b, "change-attribute", before, shorten(f'{name}="{value}x"'), ((b, b, "x"),)))
        number = list(re.finditer(r"\d+", value))
        if number:
            n = number[-1]
            bumped = str(int(n.group(0)) + 1)
            after = value[:n.start()] + bumped + value[n.end():]
            found.append((a + n.start(), "bump-constant", before, shorten(f'{name}="{after}"'),
                          ((a + n.start(), a + n.end(), bumped),)))
    for match in re.finditer(r">\s*(true|false)\s*<", masked):
        word = match.group(1)
        found.append((match.start(1), "flip-boolean", word, BOOLEAN_FLIPS[word],
                      ((match.start(1), match.end(1), BOOLEAN_FLIPS[word]),)))
    return _mutants_from(path, text, masked, masked, found)


def bumped_number(digits):
    if digits[:2] in ("0x", "0X"):
        bumped = format(int(digits, 16) + 1, "X" if any(c.isupper() for c in digits[2:]) else "x")
        return digits[:2] + bumped
    if digits[:2] in ("0b", "0B"):
        return digits[:2] + format(int(digits, 2) + 1, "b")
    if len(digits) > 1 and digits[0] == "0":
        return "0" + format(int(digits, 8) + 1, "o")
    return str(int(digits) + 1)


NUMBER = r"(?<![\w.'])(0[xX][0-9a-fA-F]+|0[bB][01]+|\d+)([uUlL]*)(?![\w.'])"
