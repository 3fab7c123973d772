#!/usr/bin/python3
"""Turns the technician's part of README.md into README.txt for the release.

The part is the section "Using the wizard", from its heading down to the next
second-level heading. The text is meant for Notepad on Windows 2000, which
wraps no lines by default and knows only CR LF: printable ASCII, CR LF line
ends, at most 78 columns, and no Markdown markup left. Headings are underlined
(= for the section, - below it), lists keep their markers with a hanging
indent, and each row of a two-column table becomes its first cell followed by
the second cell indented below it.

Anything this module does not know how to render fails loudly rather than
leaking markup into the release.

usage: readme_text.py README.md VERSION OUT
"""
import re
import sys

WIDTH = 78
SECTION = "Using the wizard"
TABLE_TERM_INDENT = 2
TABLE_MEANING_INDENT = 6

HEADING = re.compile(r"^(#+)\s+(.*?)\s*#*\s*$")
ORDERED_ITEM = re.compile(r"^(\d+)\.\s+(.*)$")
BULLET_ITEM = re.compile(r"^[-*+]\s+(.*)$")
CODE_SPAN = re.compile(r"`([^`]+)`")
LINK = re.compile(r"\[([^\]]+)\]\(([^)\s]+)\)")
STRONG = re.compile(r"\*\*([^*]+)\*\*")
EMPHASIS = re.compile(r"(?<![\w*])\*([^*\s][^*]*)\*(?![\w*])")
# A Markdown backslash escape: a backslash before ASCII punctuation.
ESCAPE = re.compile(r"\\([!-/:-@\[-`{-~])")
UNESCAPED_PIPE = re.compile(r"(?<!\\)\|")


class ReadmeError(Exception):
    pass


def product_name(markdown):
    for line in markdown.splitlines():
        match = HEADING.match(line)
        if match and len(match.group(1)) == 1:
            return match.group(2)
    raise ReadmeError("README.md has no first-level heading to take the product name from")


def user_part(markdown):
    """The section's lines with their README line numbers, heading included."""
    lines = markdown.splitlines()
    start = None
    for number, line in enumerate(lines):
        match = HEADING.match(line)
        if match and len(match.group(1)) == 2 and match.group(2) == SECTION:
            start = number
            break
    if start is None:
        raise ReadmeError('README.md has no section "## %s"' % SECTION)
    end = len(lines)
    for number in range(start + 1, len(lines)):
        match = HEADING.match(lines[number])
        if match and len(match.group(1)) <= 2:
            end = number
            break
    part = [(number + 1, lines[number]) for number in range(start, end)]
    for number, line in part:
        for column, char in enumerate(line, 1):
            if not " " <= char <= "~":
                raise ReadmeError("README.md line %d column %d: U+%04X is not printable ASCII, "
                                  "which Notepad on Windows 2000 may not show" % (number, column, ord(char)))
    return part


def inline(text, in_table=False):
    """Markdown inline markup to plain text."""
    if in_table:
        # In a table cell \| stands for a pipe even inside a code span.
        text = text.replace("\\|", "|")
    pieces = []
    last = 0
    for match in CODE_SPAN.finditer(text):
        pieces.append(_prose(text[last:match.start()]))
        code = match.group(1).strip()
        # A lone `?` or `|` in running text reads as punctuation unless quoted.
        if not any(char.isalnum() for char in code):
            code = '"%s"' % code
        pieces.append(code)
        last = match.end()
    pieces.append(_prose(text[last:]))
    return "".join(pieces)


def _prose(text):
    if "`" in text:
        raise ReadmeError("unbalanced backtick in %r" % text)
    text = LINK.sub(r"\1 (\2)", text)
    text = STRONG.sub(r"\1", text)
    text = EMPHASIS.sub(r"\1", text)
    return ESCAPE.sub(r"\1", text)


def _words(text, width):
    """Words with a flag saying whether a space goes before them.

    A word wider than the line (a registry path, say) is broken after its
    backslashes, and its pieces join with no space between them.
    """
    words = []
    for word in text.split():
        if len(word) <= width:
            words.append((word, True))
            continue
        pieces = re.findall(r"[^\\]*\\|[^\\]+$", word)
        if any(len(piece) > width for piece in pieces):
            raise ReadmeError("%r is wider than %d columns and has no backslash to break it at"
                              % (word, width))
        words.append((pieces[0], True))
        words.extend((piece, False) for piece in pieces[1:])
    return words


def wrap(text, indent=0, first_prefix=None):
    """Greedy fill to WIDTH columns; first_prefix (a list marker) replaces the
    indent on the first line."""
    first = " " * indent if first_prefix is None else first_prefix
    rest = " " * indent
    lines = []
    current = first
    empty = True
    for word, spaced in _words(text, WIDTH - indent):
        candidate = current + (" " if spaced and not empty else "") + word
        if len(candidate) <= WIDTH or empty:
            current = candidate
        else:
            lines.append(current)
            current = rest + word
        empty = False
    lines.append(current)
    return lines


def _blocks(part):
    """Splits the section into (kind, payload, line number) blocks."""
    blocks = []
    index = 0
    while index < len(part):
        number, line = part[index]
        if not line.strip():
            index += 1
            continue
        heading = HEADING.match(line)
        if heading:
            blocks.append(("heading", (len(heading.group(1)), heading.group(2)), number))
            index += 1
            continue
        if line.startswith("```") or line.startswith("~~~"):
            raise ReadmeError("README.md line %d: fenced code is not rendered; indent it by four spaces"
                              % number)
        if line.startswith("    "):
            code = []
            while index < len(part) and (part[index][1].startswith("    ") or not part[index][1].strip()):
                code.append(part[index][1][4:])
                index += 1
            while code and not code[-1].strip():
                code.pop()
            blocks.append(("code", code, number))
            continue
        if line.startswith("|"):
            rows = []
            while index < len(part) and part[index][1].startswith("|"):
                rows.append(part[index])
                index += 1
            blocks.append(("table", rows, number))
            continue
        item = ORDERED_ITEM.match(line) or BULLET_ITEM.match(line)
        if item:
            marker = line[:item.start(item.lastindex)].rstrip()
            text = [item.group(item.lastindex)]
            index += 1
            # Continuation lines: anything up to a blank line or the next item.
            while index < len(part):
                following = part[index][1]
                if (not following.strip() or ORDERED_ITEM.match(following)
                        or BULLET_ITEM.match(following) or HEADING.match(following)):
                    break
                text.append(following.strip())
                index += 1
            blocks.append(("item", (marker, " ".join(text)), number))
            continue
        text = []
        while index < len(part):
            following = part[index][1]
            if (not following.strip() or HEADING.match(following) or following.startswith("|")
                    or ORDERED_ITEM.match(following) or BULLET_ITEM.match(following)):
                break
            text.append(following.strip())
            index += 1
        blocks.append(("paragraph", " ".join(text), number))
    return blocks


def _cells(row):
    text = row.strip()
    if text.startswith("|"):
        text = text[1:]
    if text.endswith("|") and not text.endswith("\\|"):
        text = text[:-1]
    return [cell.strip() for cell in UNESCAPED_PIPE.split(text)]


def _table(rows):
    header = _cells(rows[0][1])
    if len(rows) < 2 or not all(re.fullmatch(r":?-+:?", cell) for cell in _cells(rows[1][1])):
        raise ReadmeError("README.md line %d: a table needs a header and a --- row" % rows[0][0])
    if len(header) != 2:
        raise ReadmeError("README.md line %d: only two-column tables are rendered, this one has %d"
                          % (rows[0][0], len(header)))
    out = []
    # The header names the columns of a grid; with each row laid out as a
    # term and its meaning it has nothing left to name.
    for number, row in rows[2:]:
        cells = _cells(row)
        if len(cells) != 2:
            raise ReadmeError("README.md line %d: %d cells in a two-column table" % (number, len(cells)))
        if out:
            out.append("")
        out.extend(wrap(inline(cells[0], in_table=True), TABLE_TERM_INDENT))
        out.extend(wrap(inline(cells[1], in_table=True), TABLE_MEANING_INDENT))
    return out


def render(markdown, version):
    """README.txt's lines, without line ends."""
    title = "%s %s" % (product_name(markdown), version)
    out = [title, "=" * len(title)]
    previous = None
    for kind, payload, number in _blocks(user_part(markdown)):
        # Items of one list stay together; everything else is set apart.
        if not (kind == "item" and previous == "item"):
            out.append("")
        if kind == "heading":
            level, text = payload
            text = inline(text)
            if len(text) > WIDTH:
                raise ReadmeError("README.md line %d: heading wider than %d columns" % (number, WIDTH))
            out.extend([text, ("=" if level <= 2 else "-") * len(text)])
        elif kind == "paragraph":
            out.extend(wrap(inline(payload)))
        elif kind == "item":
            marker, text = payload
            out.extend(wrap(inline(text), len(marker) + 1, marker + " "))
        elif kind == "code":
            for offset, line in enumerate(payload):
                if len(line) + 4 > WIDTH:
                    raise ReadmeError("README.md line %d: code line wider than %d columns"
                                      % (number + offset, WIDTH))
                out.append(("    " + line).rstrip())
        elif kind == "table":
            out.extend(_table(payload))
        previous = kind
    for line in out:
        if "`" in line or "\\|" in line:
            raise ReadmeError("Markdown markup left in %r" % line)
    return out


def to_text(markdown, version):
    return "".join(line + "\r\n" for line in render(markdown, version)).encode("ascii")


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__.strip().splitlines()[-1])
    source, version, target = sys.argv[1:]
    with open(source, encoding="utf-8") as readme:
        markdown = readme.read()
    try:
        text = to_text(markdown, version)
    except ReadmeError as error:
        sys.exit("readme_text: %s" % error)
    with open(target, "wb") as out:
        out.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
