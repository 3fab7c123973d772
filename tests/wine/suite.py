#!/usr/bin/env python3
"""Runs the wizard under Wine once for each scenario in tests/wine/scenarios/ and compares what it
did with what the scenario expects. See scenarios/README.md for the format.

    suite.py --exe build/win64/Verolund.exe --out build/win64/wine-scenarios [NAME ...]

Prints PASS or FAIL per scenario, with a diff for each difference, and ends with the line
"scenarios: N passed, N failed". Exit status 0 only when every scenario passed.
"""

import argparse
import difflib
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winelab  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))

# The wizard's boxes by short name: (text, type).
BOXES = {
    'start': ('Verolund is ready to perform the registry checking and repair.\n\n\t Would you like '
              'to continue.?', 0x24),
    'refusal': ('This utility will run only in Windows 2000 and in Windows XP', 0x10),
    'keyfail': ('Cannot open the Filter Key', 0x10),
    'restart': ('You must restart your system for the configuration changes made to UpperFilter & '
                'LowerFilter to take effect.\n\n\t\tClick Yes to restart now or No if you plan to '
                'restart later', 0x24),
}
CAPTION = b'Verolund Wizard'

# The log that a scenario with "old log: yes" finds from an earlier run.
OLD_LOG = b'Operating System = Windows XP\r\nfrom an earlier run\r\n'


class ScenarioError(Exception):
    pass


class Scenario:
    """One scenario file: the machine, the answers, and what must come out."""

    SETTINGS = {'windows', 'drivers', 'old log', 'temp folder', 'display', 'box', 'list', 'log',
                'reboot', 'exit'}

    def __init__(self, path):
        self.path = path
        self.name = os.path.splitext(os.path.basename(path))[0]
        self.windows = 'winxp'
        self.drivers = []
        self.old_log = False
        self.temp_folder = True
        self.display = True
        self.boxes = []          # (short name, type, answer or None)
        self.list = None         # ('bytes', b'...') | ('unchanged',) | ('absent',) | ('no key',)
        self.log = None          # bytes | 'old' | 'none'
        self.reboot = False
        self.exit_code = 0
        self.registry = ''
        sections = {'registry': [], 'log': None}
        section = None
        seen = set()
        for number, line in enumerate(open(path, encoding='utf-8').read().splitlines(), 1):
            if line.startswith('--- '):
                section = line[4:].strip()
                if section not in sections:
                    raise ScenarioError('%s:%d: unknown section %r' % (path, number, section))
                sections[section] = []
                continue
            if section is not None:
                sections[section].append(line)
                continue
            if not line.strip() or line.startswith('#'):
                continue
            key, sep, value = line.partition(':')
            key, value = key.strip(), value.strip()
            if not sep or key not in self.SETTINGS:
                raise ScenarioError('%s:%d: not a setting: %s' % (path, number, line))
            if key in seen and key != 'box':
                raise ScenarioError('%s:%d: %s given twice' % (path, number, key))
            seen.add(key)
            try:
                self._set(key, value)
            except (ValueError, KeyError) as error:
                raise ScenarioError('%s:%d: %s' % (path, number, error))
        self.registry = '\r\n'.join(sections['registry'])
        if sections['log'] is not None:
            if self.log is not None:
                raise ScenarioError('%s: both a log setting and a log section' % path)
            self.log = b''.join(line.encode('cp1252') + b'\r\n' for line in sections['log']
                                if line.strip())
        for needed in ('list', 'log'):
            if getattr(self, needed) is None:
                raise ScenarioError('%s: says nothing about the %s afterwards' % (path, needed))
        if not self.boxes:
            raise ScenarioError('%s: expects no box at all' % path)

    def _set(self, key, value):
        if key == 'windows':
            self.windows = value
        elif key == 'drivers':
            self.drivers = [] if value == 'none' else value.split()
        elif key in ('old log', 'temp folder', 'display', 'reboot'):
            flag = {'yes': True, 'no': False}[value]
            setattr(self, key.replace(' ', '_'), flag)
        elif key == 'exit':
            self.exit_code = int(value)
        elif key == 'box':
            shown, _, answer = (part.strip() for part in value.partition('->'))
            name, box_type = shown.split()
            if name not in BOXES:
                raise ValueError('unknown box %r (known: %s)' % (name, ', '.join(BOXES)))
            if answer and answer not in winelab.ANSWER_KEYS:
                raise ValueError('unknown answer %r' % answer)
            self.boxes.append((name, int(box_type, 16), answer or None))
        elif key == 'list':
            if value in ('unchanged', 'absent', 'no key'):
                self.list = (value,)
            elif value.startswith('"'):
                self.list = ('bytes', winelab.unescape_bytes(value))
            else:
                self.list = ('bytes', winelab.multi_string(value.split('|')))
        elif key == 'log':
            if value not in ('old', 'none'):
                raise ValueError('log: is "old" or "none"; give lines in a "--- log" section')
            self.log = value


def describe_value(values):
    if values is None:
        return 'no key'
    value = values.get('UpperFilters')
    if value is None:
        return 'absent'
    type_number, data = value
    return '%s %s' % (winelab.TYPE_NAMES.get(type_number, 'type %d' % type_number),
                      winelab.escape_bytes(data))


def describe_box(call):
    owner, text, caption, box_type = call.box()
    name = next((n for n, (t, ty) in BOXES.items() if t.encode() == text and ty == box_type), None)
    shown = name if name else 'text=' + (winelab.escape_bytes(text) if text is not None else 'NULL')
    line = 'MessageBoxA %s type=%#x' % (shown, box_type)
    if caption != CAPTION:
        line += ' caption=' + (winelab.escape_bytes(caption) if caption is not None else 'NULL')
    if owner != 0:
        line += ' owner=%#x' % owner
    if call.truncated:
        line += ' [text cut by the relay trace]'
    return line + ' -> %s' % ('no return' if call.result is None else call.result)


def describe_calls(calls):
    lines = []
    for call in calls:
        if call.function == 'MessageBoxA':
            lines.append(describe_box(call))
        else:
            lines.append('ExitWindowsEx flags=%#x reason=%#x' % (call.args[0][0], call.args[1][0]))
    return lines


def expected_calls(scenario):
    lines = []
    for name, box_type, answer in scenario.boxes:
        result = winelab.ANSWER_RESULTS[answer if scenario.display else None]
        lines.append('MessageBoxA %s type=%#x -> %d' % (name, box_type, result))
    if scenario.reboot:
        lines.append('ExitWindowsEx flags=0x2 reason=0x0')
    return lines


def log_lines(data):
    if data is None:
        return ['(no log file)']
    return [winelab.escape_bytes(line) for line in data.split(b'\n')]


def diff(what, expected, actual):
    if expected == actual:
        return []
    return ['  ' + line.rstrip('\n') for line in difflib.unified_diff(
        expected, actual, 'expected ' + what, 'actual ' + what, lineterm='', n=5)]


def run_scenario(scenario, program, template, display, out_dir, keep):
    """Runs one scenario; returns the list of differences (empty when it passed)."""
    work = os.path.join(out_dir, scenario.name)
    machine = winelab.Machine(template, work, display if scenario.display else None)
    try:
        for driver in scenario.drivers:
            machine.add_driver(driver)
        if scenario.old_log:
            machine.write_log(OLD_LOG)
        if not scenario.temp_folder:
            machine.remove_temp()
        regs = []
        if scenario.registry.strip():
            regs.append(machine.write('scenario.reg',
                                      winelab.expand_fragment(scenario.registry).encode('cp1252')))
        machine.start(scenario.windows, regs)
        before = machine.export(winelab.CLASS_KEY) if scenario.list == ('unchanged',) else None
        answers = [answer for _, _, answer in scenario.boxes]
        result = machine.run(program, answers, shots_dir=work)
        after = machine.export(winelab.CLASS_KEY)
        log = machine.log_bytes()
    finally:
        machine.close(keep=keep)

    problems = ['  the lab: ' + problem for problem in result.problems]
    problems += diff('calls', expected_calls(scenario), describe_calls(result.calls))
    if scenario.list == ('unchanged',):
        expected_list = describe_value(before)
    elif scenario.list[0] == 'bytes':
        expected_list = 'REG_MULTI_SZ ' + winelab.escape_bytes(scenario.list[1])
    else:
        expected_list = scenario.list[0]
    problems += diff('UpperFilters', [expected_list], [describe_value(after)])
    expected_log = {'old': OLD_LOG, 'none': None}.get(scenario.log, scenario.log)
    if expected_log != log:
        problems += diff('log', log_lines(expected_log), log_lines(log)) or [
            '  log differs in its bytes']
    problems += diff('exit code', [str(scenario.exit_code)], [str(result.exit_code)])
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--exe', required=True, help='the 64-bit Verolund.exe to run')
    parser.add_argument('--out', required=True, help='where each scenario leaves its records')
    parser.add_argument('--keep', action='store_true', help="keep each scenario's Wine prefix")
    parser.add_argument('names', nargs='*', help='scenarios to run (default: all)')
    options = parser.parse_args()

    directory = os.path.join(HERE, 'scenarios')
    paths = sorted(os.path.join(directory, f) for f in os.listdir(directory) if f.endswith('.txt'))
    if options.names:
        paths = [p for p in paths if os.path.splitext(os.path.basename(p))[0] in options.names]
        if len(paths) != len(set(options.names)):
            sys.exit('unknown scenario among: %s' % ' '.join(options.names))
    try:
        scenarios = [Scenario(p) for p in paths]
    except ScenarioError as error:
        sys.exit(str(error))
    if not scenarios:
        sys.exit('no scenarios in %s' % directory)

    program = os.path.abspath(options.exe)
    if not os.path.isfile(program):
        sys.exit('no program at %s' % program)
    out = os.path.abspath(options.out)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    started = time.monotonic()
    template = winelab.make_template(os.path.join(out, 'template'), os.path.join(out, 'template.log'))
    print('template prefix ready (%.0f s)' % (time.monotonic() - started), flush=True)
    passed, failed = 0, []
    try:
        with winelab.Xvfb(os.path.join(out, 'xvfb.log')) as xvfb:
            for scenario in scenarios:
                begun = time.monotonic()
                try:
                    problems = run_scenario(scenario, program, template, xvfb.display, out,
                                            options.keep)
                except winelab.LabError as error:
                    problems = ['  the lab: %s' % error]
                status = 'FAIL' if problems else 'PASS'
                print('%s %s (%.1f s)' % (status, scenario.name, time.monotonic() - begun), flush=True)
                for line in problems:
                    print(line)
                if problems:
                    failed.append(scenario.name)
                else:
                    passed += 1
    finally:
        shutil.rmtree(template, ignore_errors=True)
    print('time: %.0f s%s' % (time.monotonic() - started,
                              '; failed: ' + ' '.join(failed) if failed else ''))
    print('scenarios: %d passed, %d failed' % (passed, len(failed)))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
