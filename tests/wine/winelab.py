"""The Wine lab: runs the real wizard in a throwaway Wine prefix and reads back what it did.

Used by the scenario suite (scenarios.py) and by the demo (demo.py); Python 3 standard library
only. The pieces, in the order a run uses them:

- make_template(): one prefix per architecture per run, built by wineboot; every machine is a copy
  of one of them. A 32-bit prefix (win32) is a 32-bit Windows, as Windows 2000 and XP are; a 64-bit
  prefix (win64) is a 64-bit Windows, which runs 32-bit programs under WoW64.
- Xvfb: one X server per run, ended by the PID it was started with.
- Machine: a copy of the template with its own wineserver, set up as one Windows machine
  (Windows version, registry fragment, driver files, old log, Temp folder), then the program is
  run in it, each message box answered with xdotool, and the results are read back: the relay
  trace of MessageBoxA and ExitWindowsEx, `regedit /E` exports and the log file.

Wine's background processes (services.exe, explorer.exe) inherit the file handles of the
command that started them, so no command here ever has a pipe of ours as its output: every Wine
command writes to a file, and only its own PID is waited for.

Wine's loaders: the 32-bit one (/usr/lib/wine/wine, run by QEMU's i386 emulator on these machines)
hands a 64-bit program to the 64-bit loader in a new process. So 64-bit programs are started with
the 64-bit loader directly, which saves the emulated start, and a box is found by the window class
Wine gives it (the program's file name), not by a process ID.
"""

import os
import re
import shutil
import subprocess
import time

CLASS_KEY = r'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class\{4D36E967-E325-11CE-BFC1-08002BE10318}'
SERVICES_KEY = r'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services'

# Wine settings every machine starts with:
# - unmanaged X windows: with no window manager, Wine otherwise waits 2 s after every box;
# - relay tracing of the two calls whose arguments tell what the user saw and whether a reboot
#   was asked for;
# - no crash dialog, so that a crashing program ends instead of waiting for a click.
WINE_SETTINGS = (
    'REGEDIT4\r\n\r\n'
    '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n\r\n'
    '[HKEY_CURRENT_USER\\Software\\Wine\\Debug]\r\n'
    '"RelayInclude"="user32.MessageBoxA;user32.ExitWindowsEx"\r\n\r\n'
    '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n')

# The keys xdotool presses for each answer: mnemonics for Yes and No, Return for the default.
ANSWER_KEYS = {'yes': 'y', 'no': 'n', 'ok': 'Return', 'cancel': 'Escape'}

# What MessageBoxA returns for each answer; a box that cannot be shown returns -1 under Wine.
ANSWER_RESULTS = {'yes': 6, 'no': 7, 'ok': 1, 'cancel': 2, None: -1}

# A hang guard for one Wine command or one run of the program; never a measure of speed.
GUARD_SECONDS = 90

# The loader for programs of each architecture.
LOADERS = {'win32': '/usr/lib/wine/wine', 'win64': '/usr/lib/wine/wine64'}
PE_MACHINES = {0x14c: 'win32', 0x8664: 'win64'}


class LabError(Exception):
    """The lab itself could not do its work (as opposed to the program doing the wrong thing)."""


def base_environment(prefix, display, arch):
    """The environment of every Wine command in a prefix of this architecture; WINELOADER names
    the prefix's own loader, from which Wine also finds the 32-bit one of a 64-bit prefix."""
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix, WINEDLLOVERRIDES='mscoree,mshtml=', WINEDEBUG='-all',
               WINELOADER=LOADERS[arch])
    env.pop('DISPLAY', None)
    if display:
        env['DISPLAY'] = display
    return env


def program_arch(path):
    """'win32' or 'win64', from the machine field of the program's PE header."""
    with open(path, 'rb') as f:
        header = f.read(4096)
    if header[:2] != b'MZ':
        raise LabError('%s is not a Windows program' % path)
    at = int.from_bytes(header[0x3c:0x40], 'little')
    if header[at:at + 4] != b'PE\0\0':
        raise LabError('%s has no PE header' % path)
    machine = int.from_bytes(header[at + 4:at + 6], 'little')
    if machine not in PE_MACHINES:
        raise LabError('%s is for machine %#x, neither i386 nor x86-64' % (path, machine))
    return PE_MACHINES[machine]


def run_logged(args, env, log_path, cwd=None, timeout=GUARD_SECONDS):
    """Runs a command with its output appended to a file and waits for its own PID only."""
    with open(log_path, 'ab') as log:
        log.write(('$ %s\n' % ' '.join(args)).encode())
        log.flush()
        try:
            return subprocess.run(args, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=log,
                                  stderr=log, timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            raise LabError('%s did not end within %d s (see %s)' % (args[0], timeout, log_path))


def make_template(path, log_path, arch='win64'):
    """Builds the prefix that machines of this architecture copy: Wine's defaults plus
    WINE_SETTINGS, and no Z: drive, so that the program cannot reach the host's files."""
    path = os.path.abspath(path)
    building = path + '.building'
    for old in (building, path):
        shutil.rmtree(old, ignore_errors=True)
    env = base_environment(building, None, arch)
    env['WINEARCH'] = arch
    run_logged([LOADERS[arch], 'wineboot', '-i'], env, log_path, timeout=300)
    lab = os.path.join(building, 'drive_c', 'lab')
    os.makedirs(lab, exist_ok=True)
    with open(os.path.join(lab, 'wine-settings.reg'), 'w', newline='') as f:
        f.write(WINE_SETTINGS)
    run_logged([LOADERS[arch], 'regedit', '/S', 'wine-settings.reg'], env, log_path, cwd=lab)
    # -k writes the registry files and ends the prefix's processes; -w waits for the server.
    run_logged(['wineserver', '-k'], env, log_path)
    run_logged(['wineserver', '-w'], env, log_path)
    os.remove(os.path.join(lab, 'wine-settings.reg'))
    zdrive = os.path.join(building, 'dosdevices', 'z:')
    if os.path.lexists(zdrive):
        os.remove(zdrive)
    if not os.path.isdir(os.path.join(building, 'drive_c', 'windows', 'system32')):
        raise LabError('wineboot made no usable prefix (see %s)' % log_path)
    os.rename(building, path)
    return path


class Xvfb:
    """One X server on a free display number, ended by its PID."""

    def __init__(self, log_path):
        for number in range(90, 200):
            if not (os.path.exists('/tmp/.X11-unix/X%d' % number)
                    or os.path.exists('/tmp/.X%d-lock' % number)):
                break
        else:
            raise LabError('no free X display number')
        self.display = ':%d' % number
        self._log = open(log_path, 'ab')
        self._process = subprocess.Popen(
            ['Xvfb', self.display, '-screen', '0', '1024x768x24', '-nolisten', 'tcp'],
            stdin=subprocess.DEVNULL, stdout=self._log, stderr=self._log)
        deadline = time.monotonic() + 20
        env = dict(os.environ, DISPLAY=self.display)
        while subprocess.run(['xdotool', 'getdisplaygeometry'], env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL).returncode != 0:
            if self._process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise LabError('Xvfb did not start (see %s)' % log_path)
            time.sleep(0.05)

    def stop(self):
        if self._process.poll() is None:
            self._process.terminate()
            try:
                self._process.wait(10)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        self._log.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


# ------------------------------------------------------------------ .reg files

def reg_string(text):
    return '"%s"' % text.replace('\\', '\\\\').replace('"', '\\"')


def multi_string(entries):
    """The REG_MULTI_SZ bytes of these entries: each with its zero, then one more."""
    return b''.join(entry.encode('cp1252') + b'\0' for entry in entries) + b'\0'


def reg_hex(type_number, data):
    """A REGEDIT4 hex value, as ANSI bytes (REGEDIT4 files hold 8-bit text)."""
    return 'hex(%x):%s' % (type_number, ','.join('%02x' % b for b in data))


_MULTI = re.compile(r'=multi:(.*)$')
_QUOTED = re.compile(r'"((?:[^"\\]|\\.)*)"')


def expand_fragment(fragment):
    """REGEDIT4 text from a fragment that may write multi-strings readably, as
    "UpperFilters"=multi:"Foo","PartMgr" (entries quoted and escaped as .reg strings are)."""
    lines = []
    for line in fragment.splitlines():
        match = _MULTI.search(line)
        if match:
            entries = [re.sub(r'\\(.)', r'\1', e) for e in _QUOTED.findall(match.group(1))]
            line = line[:match.start()] + '=' + reg_hex(7, multi_string(entries))
        lines.append(line)
    return 'REGEDIT4\r\n\r\n' + '\r\n'.join(lines) + '\r\n'


def _read_reg_text(path):
    raw = open(path, 'rb').read()
    if raw[:2] in (b'\xff\xfe', b'\xfe\xff'):
        return raw.decode('utf-16'), 'utf-16'
    return raw.decode('cp1252', errors='replace'), 'cp1252'


def _logical_lines(text):
    """The lines of a .reg file with hex continuations (a trailing backslash) joined."""
    joined, pending = [], None
    for line in text.replace('\r\n', '\n').split('\n'):
        if pending is not None:
            line = pending + line.lstrip()
        if line.endswith('\\') and '=hex' in line:
            pending = line[:-1]
            continue
        pending = None
        joined.append(line)
    return joined


def machine_fragment(path, out_path):
    """Turns a regedit export of a real machine (the disk-drive class key and the services key)
    into a file Wine may import: the class key with its values, in place of Wine's own, and
    every service as a bare key. Service values are left out because the wizard only asks whether
    a service's key exists, and a real machine's ImagePath and Start values would rewire Wine's
    own services."""
    text, encoding = _read_reg_text(path)
    lines = _logical_lines(text)
    header = lines[0].strip() if lines else ''
    if header not in ('REGEDIT4', 'Windows Registry Editor Version 5.00'):
        raise LabError('%s is not a regedit export (first line %r)' % (path, header))
    out, keep_values, keys = [header, ''], False, 0
    services_prefix = SERVICES_KEY.upper() + '\\'
    for line in lines[1:]:
        if line.startswith('[') and line.rstrip().endswith(']'):
            name = line.strip()[1:-1]
            bare = name.lstrip('-').upper()
            keep_values = bare == CLASS_KEY.upper() or bare.startswith(CLASS_KEY.upper() + '\\')
            if keep_values or bare.startswith(services_prefix):
                if bare == CLASS_KEY.upper() and not name.startswith('-'):
                    # The machine's class key replaces Wine's own, values and all.
                    out += ['', '[-%s]' % CLASS_KEY]
                out += ['', line.strip()]
                keys += 1
            else:
                keep_values = False
        elif keep_values and line.strip():
            out.append(line)
    if keys == 0:
        raise LabError('%s holds neither the disk-drive class key nor any service' % path)
    data = '\r\n'.join(out) + '\r\n'
    with open(out_path, 'wb') as f:
        f.write(b'\xff\xfe' + data.encode('utf-16-le') if encoding == 'utf-16'
                else data.encode('cp1252', errors='replace'))
    return keys


TYPE_NAMES = {0: 'REG_NONE', 1: 'REG_SZ', 2: 'REG_EXPAND_SZ', 3: 'REG_BINARY', 4: 'REG_DWORD',
              7: 'REG_MULTI_SZ', 11: 'REG_QWORD'}


def read_export(path, fold_case=True):
    """The keys of a `regedit /E` file: {KEY NAME IN UPPER CASE: {value name: (type, bytes)}},
    with string data as the 8-bit bytes a program reading it with the ANSI calls receives (key
    names as spelt, with fold_case False). None when regedit wrote no file (it writes none for a
    missing key)."""
    if not os.path.exists(path):
        return None
    text, encoding = _read_reg_text(path)
    keys, values = {}, None
    for line in _logical_lines(text)[1:]:
        if line.startswith('[') and line.endswith(']'):
            name = line[1:-1]
            values = keys.setdefault(name.upper() if fold_case else name, {})
            continue
        match = re.match(r'^(@|"((?:[^"\\]|\\.)*)")=(.*)$', line)
        if values is None or not match:
            continue
        name = '' if match.group(1) == '@' else re.sub(r'\\(.)', r'\1', match.group(2))
        data = match.group(3)
        if data.startswith('"'):
            values[name] = (1, _ansi(re.sub(r'\\(.)', r'\1', data[1:-1])) + b'\0')
        elif data.startswith('dword:'):
            values[name] = (4, int(data[6:], 16).to_bytes(4, 'little'))
        else:
            hexed = re.match(r'^hex(?:\(([0-9a-fA-F]+)\))?:(.*)$', data)
            if not hexed:
                continue
            type_number = int(hexed.group(1), 16) if hexed.group(1) else 3
            raw = bytes(int(x, 16) for x in hexed.group(2).split(',') if x.strip())
            if type_number in (1, 2, 7) and encoding == 'utf-16':
                raw = _ansi(raw.decode('utf-16-le', errors='surrogatepass'))
            values[name] = (type_number, raw)
    return keys


def _ansi(text):
    try:
        return text.encode('cp1252')
    except UnicodeEncodeError:
        return text.encode('latin-1', errors='replace')


def escape_bytes(data):
    """Bytes as a quoted literal: \\0, \\r, \\n, \\t, \\\\, \\" and \\xNN for the rest."""
    named = {0: '\\0', 9: '\\t', 10: '\\n', 13: '\\r', 34: '\\"', 92: '\\\\'}
    return '"%s"' % ''.join(named.get(b, chr(b) if 32 <= b < 127 else '\\x%02x' % b) for b in data)


def unescape_bytes(literal):
    """The inverse of escape_bytes (the surrounding quotes included)."""
    if len(literal) < 2 or literal[0] != '"' or literal[-1] != '"':
        raise ValueError('not a quoted byte literal: %s' % literal)
    named = {'0': 0, 't': 9, 'n': 10, 'r': 13, '"': 34, '\\': 92}
    out, body, i = bytearray(), literal[1:-1], 0
    while i < len(body):
        if body[i] == '\\':
            if body[i + 1] == 'x':
                out.append(int(body[i + 2:i + 4], 16))
                i += 4
                continue
            out.append(named[body[i + 1]])
            i += 2
            continue
        out += body[i].encode('latin-1')
        i += 1
    return bytes(out)


def entries_of(data):
    """The entries of a multi-string, as the log renders them: separated by |."""
    return '|'.join(e.decode('cp1252', errors='replace') for e in data.rstrip(b'\0').split(b'\0'))


# ------------------------------------------------------------------ relay trace

# 0108:Call user32.MessageBoxA(00000000,140009010 "text",140009000 "caption",00000024) ret=...
# 0108:Ret  user32.MessageBoxA() retval=00000006 ret=...
_RELAY = re.compile(r'^(?:[0-9.]+:)?([0-9a-f]{4}):(Call|Ret) +user32\.(MessageBoxA|ExitWindowsEx)\((.*)$')
_RELAY_ESCAPES = {'n': b'\n', 'r': b'\r', 't': b'\t', '"': b'"', '\\': b'\\'}


class Call:
    """One traced call: its function, its arguments as (number, string bytes or None) and its
    result (None while it has not returned). `truncated` is set when Wine cut a string."""

    def __init__(self, function, args):
        self.function, self.args, self.result, self.truncated = function, args, None, False

    def box(self):
        """(owner, text, caption, type) of a MessageBoxA call."""
        return self.args[0][0], self.args[1][1], self.args[2][1], self.args[3][0]


def _relay_args(text):
    args, i, truncated = [], 0, False
    while i < len(text) and text[i] != ')':
        number = re.match(r'[0-9a-fA-F]+', text[i:])
        if not number:
            raise LabError('cannot read relay arguments: ' + text)
        value, string = int(number.group(0), 16), None
        i += number.end()
        if text.startswith(' "', i):
            i += 2
            string = bytearray()
            while text[i] != '"':
                if text[i] == '\\':
                    if text[i + 1] == 'x':
                        string.append(int(text[i + 2:i + 4], 16))
                        i += 4
                        continue
                    string += _RELAY_ESCAPES[text[i + 1]]
                    i += 2
                    continue
                string += text[i].encode('latin-1')
                i += 1
            i += 1
            if text.startswith('...', i):
                truncated = True
                i += 3
            string = bytes(string)
        args.append((value, string))
        if text.startswith(',', i):
            i += 1
    return args, truncated


def read_trace(path):
    """The MessageBoxA and ExitWindowsEx calls of a relay trace, in call order."""
    calls, open_calls = [], {}
    try:
        lines = open(path, encoding='latin-1').read().splitlines()
    except FileNotFoundError:
        return calls
    for line in lines:
        match = _RELAY.match(line)
        if not match:
            continue
        thread, kind, function, rest = match.groups()
        if kind == 'Call':
            try:
                args, truncated = _relay_args(rest)
            except (IndexError, KeyError):
                continue  # a line still being written
            call = Call(function, args)
            call.truncated = truncated
            calls.append(call)
            open_calls.setdefault(thread, []).append(call)
            continue
        result = re.search(r'retval=([0-9a-fA-F]+)', rest)
        for call in reversed(open_calls.get(thread, [])):
            if call.function == function and result:
                value = int(result.group(1), 16) & 0xFFFFFFFF
                call.result = value - (1 << 32) if value >= 0x80000000 else value
                open_calls[thread].remove(call)
                break
    return calls


# ------------------------------------------------------------------ one machine

class RunResult:
    def __init__(self):
        self.exit_code = None
        self.calls = []
        self.screenshots = []  # one path per box shown on the display
        self.problems = []     # what went wrong in the lab: a box with no answer, a hang


# Files of a prefix that a machine shares with its template instead of copying: Wine's programs and
# libraries, which no run writes to. A 64-bit prefix holds over a gigabyte of them, and copying it
# took most of a scenario's time. The registry files, the .ini files and everything small is copied.
SHARED_SUFFIXES = ('.dll', '.exe', '.drv', '.sys', '.ocx', '.cpl', '.acm', '.tlb', '.nls', '.ttf',
                   '.fon', '.ax', '.ds', '.msstyles', '.com', '.vxd', '.mui')
SHARED_MIN_BYTES = 64 * 1024


def clone_prefix(template, path):
    """A copy of the template prefix in which Wine's large program files are hard links."""
    for directory, subdirs, files in os.walk(template):
        target = os.path.join(path, os.path.relpath(directory, template))
        os.makedirs(target, exist_ok=True)
        shutil.copystat(directory, target)
        for name in subdirs + files:
            source, copy = os.path.join(directory, name), os.path.join(target, name)
            if os.path.islink(source):
                os.symlink(os.readlink(source), copy)
                if name in subdirs:
                    subdirs.remove(name)
            elif name in files:
                shared = (name.lower().endswith(SHARED_SUFFIXES)
                          and os.path.getsize(source) >= SHARED_MIN_BYTES)
                if shared:
                    os.link(source, copy)
                else:
                    shutil.copy2(source, copy)


class Machine:
    """A copy of the template, with its own wineserver, set up as one Windows machine."""

    def __init__(self, template, work_dir, display, arch='win64'):
        """work_dir receives the prefix (removed by close) and the lab's own records, which stay:
        the output of the Wine commands, the relay trace and the program's output."""
        self.work = os.path.abspath(work_dir)
        self.path = os.path.join(self.work, 'prefix')
        self.display = display
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        clone_prefix(template, self.path)
        self.windows = os.path.join(self.path, 'drive_c', 'windows')
        self.lab = os.path.join(self.path, 'drive_c', 'lab')
        os.makedirs(self.lab, exist_ok=True)
        self.arch = arch
        self.loader = LOADERS[arch]
        self.env = base_environment(self.path, display, arch)
        self.wine_log = os.path.join(self.work, 'wine-commands.log')
        self._server = False

    # --- setting up, before any Wine process of this machine
    def temp_dir(self):
        """The Windows directory's Temp folder as it is on disk (Wine matches names without regard
        to case, and spells this one in lower case)."""
        for name in os.listdir(self.windows):
            if name.lower() == 'temp':
                return os.path.join(self.windows, name)
        return None

    def add_driver(self, name):
        drivers = os.path.join(self.windows, 'system32', 'drivers')
        with open(os.path.join(drivers, name), 'wb') as f:
            f.write(b'MZ stand-in for a filter driver\r\n')

    def write_log(self, data):
        with open(os.path.join(self.temp_dir(), 'Verolund.log'), 'wb') as f:
            f.write(data)

    def remove_temp(self):
        shutil.rmtree(self.temp_dir())

    def put(self, source, name=None):
        """Copies a file into C:\\lab and returns its name there."""
        name = name or os.path.basename(source)
        shutil.copyfile(source, os.path.join(self.lab, name))
        return name

    def write(self, name, data):
        with open(os.path.join(self.lab, name), 'wb') as f:
            f.write(data)
        return name

    # --- the Wine session
    def start(self, windows_version, reg_files):
        """Starts this machine's wineserver and imports the Windows version and the registry
        files. This first Wine command also starts the desktop with the machine's display."""
        self.write('version.reg', ('REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine]\r\n'
                                   '"Version"=%s\r\n' % reg_string(windows_version)).encode())
        run_logged(['wineserver', '-p'], self.env, self.wine_log)
        self._server = True
        run_logged([self.loader, 'regedit', '/S', 'version.reg'] + list(reg_files), self.env,
                   self.wine_log, cwd=self.lab)

    def export(self, key):
        """The key as `regedit /E` exports it (see read_export), or None when it is missing."""
        keys = self.export_tree(key)
        return None if keys is None else keys.get(key.upper())

    def export_tree(self, key, fold_case=True):
        """The key and every key below it, as read_export gives them, or None."""
        name = 'export-%d.reg' % time.monotonic_ns()
        run_logged([self.loader, 'regedit', '/E', name, key], self.env, self.wine_log, cwd=self.lab)
        return read_export(os.path.join(self.lab, name), fold_case)

    def log_bytes(self):
        """The bytes of the run log, or None when there is none."""
        temp = self.temp_dir()
        if temp is None:
            return None
        for name in os.listdir(temp):
            if name.lower() == 'verolund.log':
                return open(os.path.join(temp, name), 'rb').read()
        return None

    def run(self, program, answers, shots_dir=None, steady_shots=False):
        """Runs the program from C:\\lab and answers its boxes in order ('yes', 'no', 'ok'). With
        no display, every box returns at once and no answer is used."""
        result = RunResult()
        arch = program_arch(program)
        if arch == 'win64' and self.arch == 'win32':
            raise LabError('a 32-bit prefix cannot run the 64-bit program %s' % program)
        name = self.put(program)
        trace_path = os.path.join(self.work, 'relay-trace.txt')
        env = dict(self.env, WINEDEBUG='-all,+relay')
        with open(trace_path, 'wb') as trace, open(os.path.join(self.work, 'program-out.txt'), 'wb') as out:
            process = subprocess.Popen([LOADERS[arch], 'C:\\lab\\' + name], env=env, cwd=self.lab,
                                       stdin=subprocess.DEVNULL, stdout=out, stderr=trace)
        deadline = time.monotonic() + GUARD_SECONDS
        answered = 0
        while True:
            # Whether the program has ended is read before the trace: once it has, every line
            # of its trace is in the file.
            ended = process.poll() is not None
            boxes = [c for c in read_trace(trace_path) if c.function == 'MessageBoxA']
            if (self.display and not ended and len(boxes) > answered
                    and boxes[answered].result is None):
                window = self._box_window(process, name, deadline)
                if window is None:
                    if process.poll() is not None:
                        continue
                    result.problems.append('box %d was not shown within %d s'
                                           % (answered + 1, GUARD_SECONDS))
                    break
                if shots_dir:
                    result.screenshots.append(self._screenshot(window, shots_dir, answered + 1,
                                                               steady_shots))
                if answered >= len(answers):
                    result.problems.append('box %d was shown, but no answer was left for it'
                                           % (answered + 1))
                    break
                self._press(window, answers[answered])
                answered += 1
                # The next box cannot exist before this one has returned.
                while process.poll() is None and time.monotonic() < deadline:
                    boxes = [c for c in read_trace(trace_path) if c.function == 'MessageBoxA']
                    if boxes[answered - 1].result is not None:
                        break
                    time.sleep(0.03)
                continue
            if ended:
                break
            if time.monotonic() > deadline:
                result.problems.append('the program still ran after %d s' % GUARD_SECONDS)
                break
            time.sleep(0.03)
        if process.poll() is None:
            process.kill()
            process.wait()
        result.exit_code = process.returncode
        result.calls = read_trace(trace_path)
        shown = sum(1 for c in result.calls if c.function == 'MessageBoxA')
        if self.display and not result.problems and shown > answered:
            result.problems.append('the program called MessageBoxA %d times, %d boxes were answered'
                                   % (shown, answered))
        return result

    def _box_window(self, process, name, deadline):
        """The program's visible window. Wine names a window's class after the program's file, in
        lower case; the display is this run's own, and one program runs on it at a time."""
        env = dict(os.environ, DISPLAY=self.display)
        pattern = '^%s$' % re.escape(name.lower())
        while process.poll() is None and time.monotonic() < deadline:
            found = subprocess.run(['xdotool', 'search', '--onlyvisible', '--classname', pattern],
                                   env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True)
            windows = found.stdout.split()
            if windows:
                return windows[-1]
            time.sleep(0.03)
        return None

    def _screenshot(self, window, shots_dir, number, steady):
        os.makedirs(shots_dir, exist_ok=True)
        path = os.path.join(shots_dir, 'box-%d.png' % number)
        env = dict(os.environ, DISPLAY=self.display)
        shot = ['import', '-window', window, '-strip', path]
        subprocess.run(shot, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        # A box is visible a moment before Wine has painted it: for a picture worth keeping,
        # retake until two shots in a row agree.
        for _ in range(20 if steady else 0):
            time.sleep(0.1)
            before = open(path, 'rb').read() if os.path.exists(path) else b''
            subprocess.run(shot, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            if os.path.exists(path) and open(path, 'rb').read() == before:
                break
        return path

    def _press(self, window, answer):
        key = ANSWER_KEYS.get(answer)
        if key is None:
            raise LabError('unknown answer %r (known: %s)' % (answer, ', '.join(ANSWER_KEYS)))
        env = dict(os.environ, DISPLAY=self.display)
        # A real key press into the focused box; keys sent to a window with XSendEvent make
        # Wine repeat the key into the next box.
        subprocess.run(['xdotool', 'windowfocus', '--sync', window], env=env,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(['xdotool', 'key', key], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self, keep=False):
        """Ends this machine's Wine processes and removes the prefix (unless kept)."""
        if self._server:
            try:
                run_logged(['wineserver', '-k'], self.env, self.wine_log, timeout=60)
            except LabError:
                pass
            self._server = False
            status = os.stat(self.path)
            socket_dir = '/tmp/wine-%d/server-%x-%x' % (os.getuid(), status.st_dev, status.st_ino)
            shutil.rmtree(socket_dir, ignore_errors=True)
        if not keep:
            shutil.rmtree(self.path, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
