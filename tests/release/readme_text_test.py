#!/usr/bin/python3
"""Tests of readme_text: the README's user part as plain text for Notepad.

usage: /usr/bin/python3 -m unittest discover -s tests/release -p '*_test.py'
"""
import os
import sys
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "release"))
import readme_text  # noqa: E402


def readme(body, after="## Next\n\nNot for technicians.\n"):
    return "# Widget Tool\n\nDeveloper intro.\n\n## Using the wizard\n\n" + body + "\n" + after


def body_lines(markdown):
    """What follows the title and the section heading."""
    return readme_text.render(markdown, "2.3.4")[6:]


class RenderTest(unittest.TestCase):
    def test_title_and_section_bounds(self):
        lines = readme_text.render(readme("Some text."), "2.3.4")
        self.assertEqual(lines, ["Widget Tool 2.3.4", "=================", "",
                                 "Using the wizard", "================", "", "Some text."])

    def test_blocks(self):
        cases = [
            ("subheading", "### When to run it", ["When to run it", "--------------"]),
            ("code spans lose their backticks, punctuation alone is quoted",
             "Open `regedit`; the `|` separates, a `?` is dropped.",
             ['Open regedit; the "|" separates, a "?" is dropped.']),
            ("escapes, links and emphasis", r"A \| pipe, **bold**, *soft* and [a link](http://x.example/).",
             ["A | pipe, bold, soft and a link (http://x.example/)."]),
            ("numbered list with hanging indent and continuation lines",
             "1. First item that goes on long enough to need a second line when it is wrapped\n"
             "   at seventy-eight.\n2. Second.",
             ["1. First item that goes on long enough to need a second line when it is",
              "   wrapped at seventy-eight.", "2. Second."]),
            ("bullets", "- one\n- two", ["- one", "- two"]),
            ("a line of exactly 78 columns stays whole", "x" * 38 + " " + "y" * 39,
             ["x" * 38 + " " + "y" * 39]),
            ("one column more wraps", "x" * 38 + " " + "y" * 40, ["x" * 38, "y" * 40]),
            ("indented code kept as it is", "    regedit /E a.reg  \"HKLM\"", ['    regedit /E a.reg  "HKLM"']),
            ("a table row becomes the line and its meaning below it",
             "| line | meaning |\n|---|---|\n| `A\\|B` | the list, split by `\\|` |\n| `C` | other |",
             ["  A|B", '      the list, split by "|"', "", "  C", "      other"]),
            ("a path wider than a line breaks after a backslash",
             "Go to `HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
             "{4D36E967-E325-11CE-BFC1-08002BE10318}` now.",
             ["Go to HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\",
              "{4D36E967-E325-11CE-BFC1-08002BE10318} now."]),
        ]
        for name, markdown, expected in cases:
            with self.subTest(name):
                self.assertEqual(body_lines(readme(markdown)), expected)

    def test_paragraphs_are_rewrapped_to_78_columns(self):
        words = ["word%d" % n for n in range(60)]
        # Source lines of 5 and 55 words: one too short, one too long.
        lines = body_lines(readme(" ".join(words[:5]) + "\n" + " ".join(words[5:])))
        self.assertTrue(all(len(line) <= 78 for line in lines), lines)
        self.assertGreater(min(len(line) for line in lines[:-1]), 70)
        self.assertEqual(" ".join(lines), " ".join(words))

    def test_crlf_and_ascii_bytes(self):
        text = readme_text.to_text(readme("One.\n\nTwo."), "1.0.0")
        self.assertEqual(text.count(b"\r\n"), text.count(b"\n"))
        self.assertTrue(text.endswith(b"Two.\r\n"))


class RefusalTest(unittest.TestCase):
    def test_refuses_what_it_cannot_render(self):
        cases = [
            ("non-ASCII", readme("Caf\u00e9 au lait."), "line 7 column 4: U+00E9"),
            ("tab", readme("a\tb"), "U+0009"),
            ("no section", "# Widget Tool\n\n## Other\n", 'no section "## Using the wizard"'),
            ("no product name", "## Using the wizard\n\nText.\n", "first-level heading"),
            ("three columns", readme("| a | b | c |\n|---|---|---|\n| 1 | 2 | 3 |"), "two-column"),
            ("fenced code", readme("```\ncode\n```"), "fenced code"),
            ("unbalanced backtick", readme("a ` b"), "backtick"),
            ("unbreakable word", readme("x" * 79), "wider than"),
            ("wide code line", readme("    " + "y" * 75), "code line wider"),
        ]
        for name, markdown, message in cases:
            with self.subTest(name):
                with self.assertRaises(readme_text.ReadmeError) as raised:
                    readme_text.render(markdown, "1.0.0")
                self.assertIn(message, str(raised.exception))

    def test_non_ascii_outside_the_part_is_no_concern(self):
        lines = readme_text.render(readme("Fine.", after="## Next\n\n\u00e9\n"), "1.0.0")
        self.assertEqual(lines[-1], "Fine.")


if __name__ == "__main__":
    unittest.main()
