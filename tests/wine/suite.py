#!/usr/bin/env python3
"""Runs the wizard under Wine for each scenario in tests/wine/scenarios/, once per program, and
compares what it did with what the scenario expects. See scenarios/README.md for the format.

    suite.py --exe32 build/win32/Verolund.exe --exe64 build/win64/Verolund.exe \
             --offline build/offline/verolund-offline --out build/win64/wine-scenarios [NAME ...]

The runs of a scenario:
  win32  the shipped 32-bit program in a 32-bit prefix (a 32-bit Windows, as 2000 and XP are);
  win64  the 64-bit program in a 64-bit prefix;
  wow64  the 32-bit program in the 64-bit prefix, as on 64-bit Windows (only where asked for);
  offline  the same machine as a SYSTEM hive and a Windows folder, repaired by verolund-offline,
         held to the same list bytes and log bytes (with --offline).

Prints PASS or FAIL per scenario and run, with a diff for each difference, and ends with the line
"scenarios: N passed, N failed" (counting runs). Exit status 0 only when every run passed.
"""

import argparse
import concurrent.futures
import difflib
import os
import queue
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import offline_run  # noqa: E402
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

# Each run: which program, in which prefix.
RUNS = {'win32': ('win32', 'win32'), 'win64': ('win64', 'win64'), 'wow64': ('win32', 'win64'),
        'offline': (None, None)}
DEFAULT_RUNS = ['win32', 'win64', 'offline']

# How often a run is made when the lab itself fails in it.
LAB_ATTEMPTS = 2

# The log that a scenario with "old log: yes" finds from an earlier run.
OLD_LOG = b'Operating System = Windows XP\r\nfrom an earlier run\r\n'


class ScenarioError(Exception):
    pass


class Scenario:
    """One scenario file: the machine, the answers, and what must come out."""

    SETTINGS = {'windows', 'drivers', 'old log', 'temp folder', 'display', 'box', 'list', 'log',
                'reboot', 'exit', 'runs', 'offline exit'}

    def __init__(self, path):
        self.path = path
        self.name = os.path.splitext(os.path.basename(path))[0]
        self.windows = 'winxp'
        self.runs = list(DEFAULT_RUNS)
        self.drivers = []
        self.old_log = False
        self.temp_folder = True
        self.display = True
        self.boxes = []          # (short name, type, answer or None)
        self.list = None         # ('bytes', b'...') | ('unchanged',) | ('absent',) | ('no key',)
        self.log = None          # bytes | 'old' | 'none'
        self.reboot = False
        self.exit_code = 0
        self.offline_exit = 0
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
        elif key == 'runs':
            self.runs = value.split()
            unknown = [run for run in self.runs if run not in RUNS]
            if unknown or not self.runs:
                raise ValueError('unknown run %r (known: %s)' % (' '.join(unknown), ', '.join(RUNS)))
        elif key == 'drivers':
            self.drivers = [] if value == 'none' else value.split()
        elif key in ('old log', 'temp folder', 'display', 'reboot'):
            flag = {'yes': True, 'no': False}[value]
            setattr(self, key.replace(' ', '_'), flag)
        elif key == 'exit':
            self.exit_code = int(value)
        elif key == 'offline exit':
            self.offline_exit = int(value)
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


def run_scenario(scenario, run, programs, templates, baseline, display, out_dir, keep):
    """Runs one scenario in one of its runs; returns the list of differences (empty when it
    passed). baseline is a fresh prefix's registry, for the offline run."""
    if run == 'offline':
        return offline_run.run(scenario, baseline, programs['offline'],
                               os.path.join(out_dir, run, scenario.name), OLD_LOG)
    program_arch, prefix_arch = RUNS[run]
    program = programs[program_arch]
    work = os.path.join(out_dir, run, scenario.name)
    machine = winelab.Machine(templates[prefix_arch], work, display if scenario.display else None,
                              prefix_arch)
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


def make_templates(archs, out):
    """One template prefix per architecture, made side by side: wineboot mostly waits."""
    with concurrent.futures.ThreadPoolExecutor(max(1, len(archs))) as pool:
        made = {arch: pool.submit(winelab.make_template, os.path.join(out, 'template-' + arch),
                                  os.path.join(out, 'template-%s.log' % arch), arch)
                for arch in archs}
        return {arch: future.result() for arch, future in made.items()}


def fresh_registry(templates, out):
    """The class key and the services of a fresh prefix, as REGEDIT4 text for the offline runs."""
    arch = 'win64' if 'win64' in templates else 'win32'
    machine = winelab.Machine(templates[arch], os.path.join(out, 'fresh-registry'), None, arch)
    try:
        machine.start('winxp', [])
        tree = {}
        for key in (winelab.CLASS_KEY, winelab.SERVICES_KEY):
            tree.update(machine.export_tree(key, fold_case=False) or {})
    finally:
        machine.close()
    return offline_run.baseline_fragment(tree)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--exe32', required=True, help='the 32-bit Verolund.exe to run')
    parser.add_argument('--exe64', required=True, help='the 64-bit Verolund.exe to run')
    parser.add_argument('--offline', help='verolund-offline, for the offline runs (without it '
                        'they are left out)')
    parser.add_argument('--out', required=True, help='where each scenario leaves its records')
    parser.add_argument('--keep', action='store_true', help="keep each scenario's Wine prefix")
    parser.add_argument('--jobs', type=int, default=2,
                        help='runs at a time, each on its own X display (default: %(default)s)')
    parser.add_argument('--only', choices=sorted(RUNS), action='append',
                        help='make only this run of each scenario (may be given more than once)')
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

    programs = {'win32': os.path.abspath(options.exe32), 'win64': os.path.abspath(options.exe64)}
    for arch, program in programs.items():
        if not os.path.isfile(program):
            sys.exit('no program at %s' % program)
        if winelab.program_arch(program) != arch:
            sys.exit('%s is not a %s program' % (program, arch))
    if options.offline:
        programs['offline'] = os.path.abspath(options.offline)
        if not os.access(programs['offline'], os.X_OK):
            sys.exit('no program at %s' % programs['offline'])
    out = os.path.abspath(options.out)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    started = time.monotonic()
    jobs = [(scenario, run) for scenario in scenarios for run in scenario.runs
            if (not options.only or run in options.only) and (run != 'offline' or options.offline)]
    archs = {RUNS[run][1] for _, run in jobs if RUNS[run][1]}
    offline = any(run == 'offline' for _, run in jobs)
    templates = make_templates(sorted(archs | ({'win64'} if offline and not archs else set())), out)
    baseline = fresh_registry(templates, out) if offline else None
    print('template prefixes ready (%.0f s)' % (time.monotonic() - started), flush=True)
    passed, failed = 0, []
    displays = queue.Queue()
    servers = []
    try:
        # One worker per display: every Wine command of a run uses its worker's display.
        for number in range(max(1, min(options.jobs, len(jobs)))):
            servers.append(winelab.Xvfb(os.path.join(out, 'xvfb-%d.log' % number)))
            displays.put(servers[-1].display)

        def run_job(job):
            scenario, run = job
            display = displays.get()
            begun = time.monotonic()
            problems = []
            try:
                # A Wine command of the lab's own that hangs (seen once in a few hundred runs
                # of 32-bit regedit under the emulator) says nothing about the program: such a
                # run is made once more on a fresh machine. A program that hangs is no LabError.
                for attempt in range(LAB_ATTEMPTS):
                    try:
                        problems += run_scenario(scenario, run, programs, templates, baseline,
                                                 display, out, options.keep)
                        break
                    except winelab.LabError as error:
                        retried = attempt + 1 < LAB_ATTEMPTS
                        print('lab: %s %s: %s%s' % (scenario.name, run, error,
                                                    '; made once more' if retried else ''),
                              flush=True)
                        if not retried:
                            problems.append('  the lab: %s' % error)
            finally:
                displays.put(display)
            return problems, time.monotonic() - begun

        with concurrent.futures.ThreadPoolExecutor(len(servers)) as pool:
            futures = {pool.submit(run_job, job): job for job in jobs}
            for future in concurrent.futures.as_completed(futures):
                scenario, run = futures[future]
                problems, seconds = future.result()
                print('%s %s %s (%.1f s)' % ('FAIL' if problems else 'PASS', scenario.name, run,
                                             seconds), flush=True)
                for line in problems:
                    print(line)
                if problems:
                    failed.append('%s/%s' % (scenario.name, run))
                else:
                    passed += 1
    finally:
        for server in servers:
            server.stop()
        for template in templates.values():
            shutil.rmtree(template, ignore_errors=True)
    print('time: %.0f s%s' % (time.monotonic() - started,
                              '; failed: ' + ' '.join(sorted(failed)) if failed else ''))
    print('scenarios: %d passed, %d failed' % (passed, len(failed)))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
