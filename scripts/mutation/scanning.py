"""Reading C++ sources as the operators need them: the code apart from its
comments, preprocessor lines and literals, where function bodies and
constant initialisers stand, the brackets of templates, calls' arguments."""
import re

SNIPPET_WIDTH = 60
BODY, CONSTANT = 1, 2

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
            # A class before a function: a template's parameter list may
            # hold parentheses too, but no paren follows the class's name.
            elif re.search(r"\b(class|struct|union|enum)\b[^()]*$", head):
                kinds.append("class")
                head_start = i + 1
            elif ")" in head:
                kinds.append("body")
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


def function_names(masked):
    """The name of the function whose body holds each line (by index from
    0), "" outside every function; a lambda or a local class belongs to the
    function around it."""
    names = []
    depth, current, on_line, head_start = 0, "", "", 0
    region = code_regions(masked)
    for i, c in enumerate(masked):
        if c == "{" and depth == 0 and region[i] == 0 and i + 1 < len(masked) and region[i + 1] == BODY:
            head = masked[head_start:i]
            called = re.search(r"(~?[A-Za-z_][\w:~]*)\s*\(", head)
            current = called.group(1).split("::")[-1] if called else ""
            depth = 1
        elif depth:
            depth += (c == "{") - (c == "}")
            if depth == 0:
                head_start = i + 1
        elif c in ";{}":
            head_start = i + 1
        on_line = on_line or (current if depth else "")
        if depth == 0:
            current = ""
        if c == "\n":
            names.append(on_line)
            on_line = current if depth else ""
    names.append(on_line)
    return names


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


def line_of(line_starts, offset):
    low, high = 0, len(line_starts) - 1
    while low < high:
        middle = (low + high + 1) // 2
        if line_starts[middle] <= offset:
            low = middle
        else:
            high = middle - 1
    return low + 1

