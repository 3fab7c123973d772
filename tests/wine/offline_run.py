"""A scenario's machine repaired offline: its registry turned into a SYSTEM hive, its files into a
Windows folder, and verolund-offline run on them, so that the offline repair is held to the same
list bytes and log bytes as the wizard under Wine.

The machine's registry is what the Wine prefix holds before the run: the disk-drive class key
with its values and the names of the services (exported once per suite run from a fresh prefix),
then the scenario's fragment, deletions included.
"""

import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                'offline'))
import hivefixture  # noqa: E402
import winelab  # noqa: E402

# What SOFTWARE's CurrentVersion holds for Wine's Windows versions; Windows 98 has no such hive
# (and so no version that the offline repair can read).
CURRENT_VERSIONS = {'win2k': '5.0', 'winxp': '5.1', 'win2003': '5.2', 'nt40': '4.0',
                    'vista': '6.0', 'win7': '6.1', 'win98': None}
CLASS_IN_SET = winelab.CLASS_KEY.replace('CurrentControlSet', 'ControlSet001')


def baseline_fragment(tree):
    """REGEDIT4 text of a fresh prefix's registry as the repair sees it: every key of the class
    key's export with its values, every key of the services key's export bare (the repair only
    asks whether a service's key exists)."""
    lines = []
    for key, values in tree.items():
        lines.append('[%s]' % key)
        if key.upper().startswith(winelab.CLASS_KEY.upper()):
            for name, (type_number, data) in values.items():
                lines.append('%s=%s' % ('@' if name == '' else winelab.reg_string(name),
                                        winelab.reg_hex(type_number, data)))
        lines.append('')
    return '\r\n'.join(lines)


def upper_filters(hive):
    """('no key',), ('absent',) or (type, ANSI bytes) of the class key's UpperFilters."""
    values = hivefixture.read_key(hive, CLASS_IN_SET.split('\\', 2)[2])
    if values is None:
        return ('no key',)
    if 'UpperFilters' not in values:
        return ('absent',)
    type_number, raw = values['UpperFilters']
    if type_number in (1, 2, 7):
        raw = raw.decode('utf-16-le', errors='surrogatepass').encode('cp1252', 'replace')
    return (type_number, raw)


def describe(found):
    if len(found) == 1:
        return found[0]
    return '%s %s' % (winelab.TYPE_NAMES.get(found[0], 'type %d' % found[0]),
                      winelab.escape_bytes(found[1]))


def make_machine(scenario, baseline, work, old_log):
    fragment = baseline + '\r\n' + winelab.expand_fragment(scenario.registry)[len('REGEDIT4\r\n'):]
    layout = hivefixture.Layout(temp='Temp' if scenario.temp_folder else None)
    return hivefixture.make_installation(
        work, fragment, layout=layout, drivers=scenario.drivers,
        old_log=old_log if scenario.old_log else None,
        current_version=CURRENT_VERSIONS.get(scenario.windows, '6.1'))


def run(scenario, baseline, program, work, old_log):
    """Repairs the scenario's machine offline; the differences from what the scenario expects
    (empty when there are none)."""
    shutil.rmtree(work, ignore_errors=True)
    machine = make_machine(scenario, baseline, work, old_log)
    before = upper_filters(machine.system_hive)
    # No at the start question stands for no answer at the terminal.
    starts = not scenario.boxes or scenario.boxes[0][2] != 'no'
    with open(os.path.join(work, 'output.txt'), 'wb') as output:
        status = subprocess.run([program] + (['--yes'] if starts else []) + [machine.windows],
                                stdin=subprocess.DEVNULL, stdout=output, stderr=output,
                                timeout=winelab.GUARD_SECONDS).returncode
    after = upper_filters(machine.system_hive)
    if scenario.list == ('unchanged',):
        expected = describe(before)
    elif scenario.list[0] == 'bytes':
        expected = describe((7, scenario.list[1]))
    else:
        expected = scenario.list[0]
    problems = []
    if describe(after) != expected:
        problems.append('  UpperFilters: expected %s, offline left %s' % (expected, describe(after)))
    log_path = os.path.join(machine.temp, 'Verolund.log') if machine.temp else None
    log = open(log_path, 'rb').read() if log_path and os.path.exists(log_path) else None
    expected_log = {'old': old_log, 'none': None}.get(scenario.log, scenario.log)
    if log != expected_log:
        problems.append('  log: expected %s, offline wrote %s' % (
            'none' if expected_log is None else winelab.escape_bytes(expected_log),
            'none' if log is None else winelab.escape_bytes(log)))
    if status != scenario.offline_exit:
        problems.append('  exit status: expected %d, offline gave %d (see %s)' % (
            scenario.offline_exit, status, os.path.join(work, 'output.txt')))
    return problems
