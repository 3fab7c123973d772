#!/usr/bin/env python3
"""Shows the wizard's main job under Wine: a throwaway prefix set up as a broken machine, the real
program run with its boxes answered, and the list before and after, the boxes and the log printed.
A screenshot of each box is saved. Started by scripts/demo, which builds the program first.

    demo.py --exe Verolund.exe --out build/demo [--win2000] [--answers yes,no] [MACHINE.reg ...]

The MACHINE.reg files are regedit exports of a machine's disk-drive class key and services key
(default: demo/broken-xp.reg, a broken Windows XP machine).
"""

import argparse
import os
import shutil
import sys
import textwrap

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winelab  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEFAULT_MACHINE = os.path.join(ROOT, 'demo', 'broken-xp.reg')

BUTTONS = {0: 'OK', 4: 'Yes/No'}
ICONS = {0x10: 'error icon', 0x20: 'question icon'}


def shown_path(path):
    path = os.path.abspath(path)
    return os.path.relpath(path, ROOT) if path.startswith(ROOT + os.sep) else path


def show_list(label, values):
    if values is None:
        print('%s: no disk-drive class key' % label)
        return
    value = values.get('UpperFilters')
    if value is None:
        print('%s: no UpperFilters value' % label)
        return
    type_number, data = value
    type_name = winelab.TYPE_NAMES.get(type_number, 'type %d' % type_number)
    shown = winelab.entries_of(data) if type_number == 7 else winelab.escape_bytes(data)
    print('%s: %s   (%s, %d bytes: %s)' % (label, shown or '(empty)', type_name, len(data),
                                            winelab.escape_bytes(data)))


def show_box(number, call, screenshot):
    owner, text, caption, box_type = call.box()
    style = ', '.join(filter(None, [BUTTONS.get(box_type & 0xF, 'buttons %#x' % (box_type & 0xF)),
                                    ICONS.get(box_type & 0xF0)]))
    answer = {6: 'Yes', 7: 'No', 1: 'OK', -1: 'no box could be shown'}.get(call.result, call.result)
    print('box %d: "%s" (%s, type %#x) -> %s' % (number, (caption or b'').decode('cp1252'), style,
                                                 box_type, answer))
    for line in (text or b'').decode('cp1252').split('\n'):
        print('    | ' + line.replace('\t', '    '))
    if screenshot:
        print('    screenshot: %s' % shown_path(screenshot))


def main():
    parser = argparse.ArgumentParser(
        description='Runs the wizard under Wine on a broken machine and shows what it did.')
    parser.add_argument('--exe', required=True,
                        help='the Verolund.exe to run: a 32-bit one runs in a 32-bit prefix, '
                             'a 64-bit one in a 64-bit prefix')
    parser.add_argument('--out', required=True, help='where the screenshots and records go')
    parser.add_argument('--win2000', action='store_true',
                        help='make the machine Windows 2000 (default: Windows XP)')
    parser.add_argument('--answers', default='yes,no',
                        help='the answers to the boxes in order, comma-separated (default: yes,no: '
                             'go on, do not restart); e.g. no, or yes,yes')
    parser.add_argument('--drivers', default='PartMgr.sys,Diskperf.sys',
                        help='driver files present in system32\\drivers (default: %(default)s)')
    parser.add_argument('machine', nargs='*', default=[DEFAULT_MACHINE],
                        help='regedit exports of the class key and the services key')
    options = parser.parse_args()
    answers = [a.strip().lower() for a in options.answers.split(',') if a.strip()]
    for answer in answers:
        if answer not in winelab.ANSWER_KEYS:
            parser.error('unknown answer %r (use yes, no or ok)' % answer)

    if not os.path.isfile(options.exe):
        parser.error('no program at %s' % options.exe)
    out = os.path.abspath(options.out)
    os.makedirs(out, exist_ok=True)
    for old in os.listdir(out):
        if old.startswith('box-') and old.endswith('.png'):
            os.remove(os.path.join(out, old))
    windows = 'win2k' if options.win2000 else 'winxp'
    print('machine: Windows %s from %s' % ('2000' if options.win2000 else 'XP',
                                           ', '.join(map(shown_path, options.machine))))
    print('answers: %s' % ', '.join(answers))

    template = os.path.join(out, 'template')
    try:
        arch = winelab.program_arch(options.exe)
        print('making the Wine prefix (%s) ...' % arch, flush=True)
        winelab.make_template(template, os.path.join(out, 'template.log'), arch)
        with winelab.Xvfb(os.path.join(out, 'xvfb.log')) as xvfb:
            machine = winelab.Machine(template, os.path.join(out, 'machine'), xvfb.display, arch)
            try:
                regs, keys = [], 0
                for number, export in enumerate(options.machine, 1):
                    regs.append('machine-%d.reg' % number)
                    keys += winelab.machine_fragment(export, os.path.join(machine.lab, regs[-1]))
                for driver in filter(None, options.drivers.split(',')):
                    machine.add_driver(driver.strip())
                machine.start(windows, regs)
                print('imported %d keys; driver files: %s' % (keys, options.drivers or 'none'))
                print()
                show_list('UpperFilters before', machine.export(winelab.CLASS_KEY))
                print()
                result = machine.run(options.exe, answers, shots_dir=out, steady_shots=True)
                boxes = [c for c in result.calls if c.function == 'MessageBoxA']
                for number, call in enumerate(boxes, 1):
                    shot = result.screenshots[number - 1] if number <= len(result.screenshots) else None
                    if shot:
                        named = shot.replace('.png', '-%s.png' % box_name(call))
                        os.replace(shot, named)
                        shot = named
                    show_box(number, call, shot)
                reboots = [c for c in result.calls if c.function == 'ExitWindowsEx']
                print('restart requested: %s' % ('yes (ExitWindowsEx flags %#x)' % reboots[0].args[0][0]
                                                 if reboots else 'no'))
                print('exit code: %s' % result.exit_code)
                print()
                show_list('UpperFilters after ', machine.export(winelab.CLASS_KEY))
                print()
                log = machine.log_bytes()
                if log is None:
                    print('log C:\\windows\\Temp\\Verolund.log: none written')
                else:
                    print('log C:\\windows\\Temp\\Verolund.log (%d bytes, CR LF line ends):' % len(log))
                    for line in log.decode('cp1252').splitlines():
                        print('    ' + line)
            finally:
                machine.close()
    except winelab.LabError as error:
        print('demo failed: %s' % error, file=sys.stderr)
        return 2
    finally:
        shutil.rmtree(template, ignore_errors=True)
    for problem in result.problems:
        print('demo: %s' % problem, file=sys.stderr)
    return 1 if result.problems else 0


def box_name(call):
    text = call.box()[1] or b''
    for word, name in ((b'ready to perform', 'start'), (b'will run only', 'refusal'),
                       (b'Filter Key', 'keyfail'), (b'restart your system', 'restart')):
        if word in text:
            return name
    return 'other'


if __name__ == '__main__':
    sys.exit(main())
