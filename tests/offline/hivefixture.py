#!/usr/bin/env python3
"""Registry hive fixtures for the offline repair: SYSTEM and SOFTWARE hives and whole Windows
installations, made at test time so that no binary hive is kept in the repository.

Python 3 standard library only, plus the installed hivex tools. The pieces:

- minimal_hive(): an empty hive written from nothing (hivex cannot create one);
- fill_hive(): a REGEDIT4 text with ANSI strings, stored as Windows stores it (UTF-16LE), through
  `hivexregedit --merge`;
- system_hive(), software_hive(): the layout of an offline SYSTEM hive (Select, ControlSet00N,
  no CurrentControlSet) and the version values of SOFTWARE;
- make_installation(): a Windows folder as a Linux rescue system sees it mounted;
- realistic_system_hive(): a SYSTEM hive of a real machine's size, for measuring speed;
- main(): the command line (`hivefixture.py --help`).
"""

import argparse
import codecs
import dataclasses
import datetime
import os
import random
import re
import struct
import subprocess
import sys
import tempfile
import time

# ------------------------------------------------------------------ the empty hive

BLOCK = 4096  # the base block and each hive bin are 4096 bytes
BINS_START = BLOCK  # cell offsets count from the first hive bin
NIL = 0xFFFFFFFF  # "no cell" in an offset field

# A fixed "last written" time (2008-04-21, Windows XP SP3), so that equal inputs give equal files.
FIXED_TIME = datetime.datetime(2008, 4, 21, tzinfo=datetime.timezone.utc)

# The name Windows XP's setup gives the root key of the hives it ships.
ROOT_NAME = '$$$PROTO.HIV'

KEY_HIVE_ENTRY, KEY_NO_DELETE, KEY_COMP_NAME = 0x0004, 0x0008, 0x0020


def filetime(moment):
    """A Windows FILETIME: 100 ns units since 1601-01-01 UTC."""
    epoch = datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc)
    return (moment - epoch) // datetime.timedelta(microseconds=1) * 10


def _sid(authority, *sub_authorities):
    return (struct.pack('<BB', 1, len(sub_authorities)) + authority.to_bytes(6, 'big')
            + b''.join(struct.pack('<I', s) for s in sub_authorities))


SID_SYSTEM = _sid(5, 18)  # S-1-5-18, LocalSystem
SID_ADMINS = _sid(5, 32, 544)  # S-1-5-32-544, BUILTIN\Administrators
SID_EVERYONE = _sid(1, 0)  # S-1-1-0

KEY_ALL_ACCESS, KEY_READ = 0xF003F, 0x20019
CONTAINER_INHERIT_ACE = 0x02


def _allowed_ace(mask, sid):
    return struct.pack('<BBHI', 0, CONTAINER_INHERIT_ACE, 8 + len(sid), mask) + sid


def _acl(aces):
    body = b''.join(aces)
    return struct.pack('<BBHHH', 2, 0, 8 + len(body), len(aces), 0) + body


def security_descriptor():
    """A self-relative security descriptor such as a root key has: owner Administrators, group
    SYSTEM, a DACL granting Administrators and SYSTEM full access and Everyone read, inherited by
    subkeys. hivex gives every key it adds its parent's descriptor, so the root needs one."""
    se_dacl_present, se_self_relative = 0x0004, 0x8000
    dacl = _acl([_allowed_ace(KEY_ALL_ACCESS, SID_ADMINS), _allowed_ace(KEY_ALL_ACCESS, SID_SYSTEM),
                 _allowed_ace(KEY_READ, SID_EVERYONE)])
    owner = 20  # the header's size
    group = owner + len(SID_ADMINS)
    dacl_offset = group + len(SID_SYSTEM)
    header = struct.pack('<BBHIIII', 1, 0, se_dacl_present | se_self_relative,
                         owner, group, 0, dacl_offset)
    return header + SID_ADMINS + SID_SYSTEM + dacl


def _allocated_cell(payload):
    """A used cell: its size (negative, counting the size field) and the payload, padded to the
    8-byte alignment every cell keeps."""
    size = (4 + len(payload) + 7) & ~7
    return struct.pack('<i', -size) + payload.ljust(size - 4, b'\0')


def _free_cell(size):
    """An unused cell of this many bytes (positive size)."""
    return struct.pack('<i', size) + bytes(size - 4)


def _root_key_cell(sk_offset, stamp):
    """The root key node ("nk"): flagged as the hive's entry, not deletable, name compressed
    (stored as 8-bit characters); no subkeys, values or class yet."""
    name = ROOT_NAME.encode('ascii')
    fields = struct.pack(
        '<2sHQ15IHH', b'nk', KEY_HIVE_ENTRY | KEY_NO_DELETE | KEY_COMP_NAME, stamp,
        0,  # access bits
        NIL,  # parent: none for the root
        0, 0, NIL, NIL,  # subkeys and volatile subkeys: counts, lists
        0, NIL,  # values: count, list
        sk_offset, NIL,  # security cell, class name
        0, 0, 0, 0, 0,  # largest subkey name, subkey class, value name, value data; work var
        len(name), 0)  # name length, class name length
    return _allocated_cell(fields + name)


def _security_cell(own_offset, descriptor):
    """The security cell ("sk"): the only one, so its list links point at itself; used by one
    key (the root)."""
    fields = struct.pack('<2sHIIII', b'sk', 0, own_offset, own_offset, 1, len(descriptor))
    return _allocated_cell(fields + descriptor)


def _hive_bin(cells, stamp):
    """The first hive bin ("hbin") at bins offset 0: the given cells, then one free cell filling
    the rest of its 4096 bytes."""
    header = struct.pack('<4sIIIIQI', b'hbin', 0, BLOCK, 0, 0, stamp, 0)
    used = header + b''.join(cells)
    return used + _free_cell(BLOCK - len(used))


def header_checksum(base):
    """The base block checksum: XOR of its first 127 dwords (508 bytes); Windows keeps 0 and -1
    for itself, writing 1 and -2 in their place."""
    value = 0
    for (word,) in struct.iter_unpack('<I', base[:508]):
        value ^= word
    return {0: 1, 0xFFFFFFFF: 0xFFFFFFFE}.get(value, value)


def _base_block(root_offset, bins_size, file_name, stamp):
    """The "regf" base block of a hive cleanly written (both sequence numbers equal), version 1.5
    as Windows XP writes, a primary file (type 0) in direct memory load format (1)."""
    name = file_name[-31:].encode('utf-16-le').ljust(64, b'\0')
    fields = struct.pack('<4sIIQIIIIIII', b'regf', 1, 1, stamp, 1, 5, 0, 1,
                         root_offset, bins_size, 1) + name
    fields = fields.ljust(508, b'\0')
    return (fields + struct.pack('<I', header_checksum(fields))).ljust(BLOCK, b'\0')


def minimal_hive(path, file_name=None):
    """Writes an empty hive (a root key and its security cell) that hivex opens and adds keys and
    values to. file_name goes in the base block's name field; by default the path Windows would
    record, \\SystemRoot\\System32\\Config\\<base name of path>. Returns path."""
    if file_name is None:
        file_name = '\\SystemRoot\\System32\\Config\\' + os.path.basename(path)
    stamp = filetime(FIXED_TIME)
    root_offset = 0x20  # right after the bin header
    root = _root_key_cell(0, stamp)  # its size does not depend on the sk offset
    sk_offset = root_offset + len(root)
    cells = [_root_key_cell(sk_offset, stamp), _security_cell(sk_offset, security_descriptor())]
    data = _base_block(root_offset, BLOCK, file_name, stamp) + _hive_bin(cells, stamp)
    with open(path, 'wb') as f:
        f.write(data)
    return path


# ------------------------------------------------------------------ .reg texts

REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 2, 3, 4, 7
STRING_TYPES = (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ)


class FixtureError(Exception):
    """A fixture cannot be made as asked (bad .reg text, a key outside the hive, hivex failed)."""


@dataclasses.dataclass
class Section:
    """One [KEY] or [-KEY] of a .reg text. values: (name, type, data) in order, data as stored in
    the hive; (name, None, None) deletes the value."""
    key: str
    delete: bool = False
    values: list = dataclasses.field(default_factory=list)


def ansi_to_utf16(data, codepage):
    """What Windows stores for ANSI string data: each character in UTF-16LE, the zeros and any
    odd shape kept ("Foo\\0\\0" of 5 bytes gives 10, "" gives 0). Bytes the code page leaves
    undefined (0x81 in cp1252) become U+00xx, as Windows' own tables map them."""
    return data.decode(codepage, errors='ansi-passthrough').encode('utf-16-le')


def _passthrough(error):
    """Byte 0xNN <-> U+00NN where the code page defines none, both ways."""
    bad = error.object[error.start:error.end]
    if isinstance(error, UnicodeDecodeError):
        return ''.join(chr(b) for b in bad), error.end
    if isinstance(error, UnicodeEncodeError) and all(ord(c) < 256 for c in bad):
        return bytes(ord(c) for c in bad), error.end
    raise error


codecs.register_error('ansi-passthrough', _passthrough)


def _logical_lines(text):
    """The lines of a .reg text, with continuations (a trailing backslash) joined."""
    lines, pending = [], ''
    for line in text.replace('\r\n', '\n').replace('\r', '\n').split('\n'):
        line = pending + (line.lstrip() if pending else line)
        if line.endswith('\\') and '=hex' in line:
            pending = line[:-1]
            continue
        pending = ''
        lines.append(line)
    if pending:
        lines.append(pending)
    return lines


_QUOTED = re.compile(r'"((?:[^"\\]|\\.)*)"')


def _unquote(body):
    return re.sub(r'\\(.)', r'\1', body)


def _hex_bytes(digits):
    cleaned = re.sub(r'[\s,]', '', digits)
    if len(cleaned) % 2 or not re.fullmatch(r'[0-9a-fA-F]*', cleaned):
        raise FixtureError('bad hex data: %r' % digits)
    return bytes.fromhex(cleaned)


def _ansi(text, codepage):
    try:
        return text.encode(codepage, errors='ansi-passthrough')
    except UnicodeEncodeError as error:
        raise FixtureError('%r is not %s text' % (text, codepage)) from error


def _parse_data(data, codepage):
    """(type, stored bytes) of the right side of a value line; string types become UTF-16LE."""
    if data.startswith('"') and data.endswith('"') and len(data) >= 2:
        return REG_SZ, ansi_to_utf16(_ansi(_unquote(data[1:-1]), codepage) + b'\0', codepage)
    if data.startswith('multi:'):  # the Wine lab's readable multi-string: "Foo","PartMgr"
        entries = [_ansi(_unquote(e), codepage) for e in _QUOTED.findall(data[6:])]
        raw = b''.join(e + b'\0' for e in entries) + b'\0'
        return REG_MULTI_SZ, ansi_to_utf16(raw, codepage)
    match = re.fullmatch(r'dword:([0-9a-fA-F]{1,8})', data)
    if match:
        return REG_DWORD, struct.pack('<I', int(match.group(1), 16))
    match = re.fullmatch(r'hex(?:\(([0-9a-fA-F]+)\))?:(.*)', data)
    if not match:
        raise FixtureError('unknown value data: %r' % data)
    kind = int(match.group(1), 16) if match.group(1) else REG_BINARY
    raw = _hex_bytes(match.group(2))
    return kind, ansi_to_utf16(raw, codepage) if kind in STRING_TYPES else raw


_VALUE_LINE = re.compile(r'^(@|"((?:[^"\\]|\\.)*)")\s*=\s*(.*?)\s*$')


def _parse_value_line(line, codepage):
    match = _VALUE_LINE.match(line)
    if not match:
        raise FixtureError('not a value line: %r' % line)
    name = '' if match.group(1) == '@' else _unquote(match.group(2))
    if match.group(3) == '-':
        return name, None, None
    return (name, *_parse_data(match.group(3), codepage))


def parse_reg(reg_text, codepage='cp1252'):
    """The sections of a REGEDIT4 text (bytes in the code page, or str), its strings converted to
    what the hive stores. The header line may be left out, as the Wine scenarios' fragments do."""
    text = reg_text.decode(codepage, errors='ansi-passthrough') if isinstance(
        reg_text, bytes) else reg_text
    lines = _logical_lines(text.lstrip('\ufeff'))
    if lines and lines[0].strip().startswith('Windows Registry Editor'):
        raise FixtureError('only REGEDIT4 texts (ANSI strings) are read, not %r' % lines[0])
    sections = []
    for line in lines:
        stripped = line.strip()
        if not stripped or stripped.startswith(';') or stripped == 'REGEDIT4':
            continue
        if stripped.startswith('[') and stripped.endswith(']'):
            delete = stripped.startswith('[-')
            sections.append(Section(stripped[2 if delete else 1:-1], delete))
        elif sections and not sections[-1].delete:
            sections[-1].values.append(_parse_value_line(stripped, codepage))
        else:
            raise FixtureError('value outside a key: %r' % line)
    return sections


# ------------------------------------------------------------------ writing through hivexregedit

def _components(path):
    parts = path.split('\\')
    if any(not part for part in parts):
        raise FixtureError('empty name in key path %r' % path)
    return parts


def relative_key(key, prefix):
    """The key's path below the hive root ('' for the root itself), for a hive standing for
    prefix; matched without regard to case, as the registry does."""
    key_parts, prefix_parts = _components(key), _components(prefix.rstrip('\\'))
    if [p.upper() for p in key_parts[:len(prefix_parts)]] != [p.upper() for p in prefix_parts]:
        raise FixtureError('key %s is outside the hive %s' % (key, prefix))
    return '\\'.join(key_parts[len(prefix_parts):])


def _quote(name):
    if '\n' in name or '\r' in name:
        raise FixtureError('a name with a line break cannot be written: %r' % name)
    return '"%s"' % name.replace('\\', '\\\\').replace('"', '\\"')


def _value_line(name, kind, data):
    left = '@' if name == '' else _quote(name)
    if kind is None:
        return left + '=-'
    return '%s=hex(%x):%s' % (left, kind, ','.join('%02x' % b for b in data))


def _last_per_name(values):
    """The values with only the last of each name (names match without regard to case), as a
    second line for one name replaces the first."""
    last = {}
    for value in values:
        last.pop(value[0].upper(), None)
        last[value[0].upper()] = value
    return list(last.values())


def merge_text(sections, prefix):
    """The file hivexregedit --merge reads for these sections: every value as hex(type) bytes,
    so it stores exactly those bytes, and every missing parent key before its child, which
    hivexregedit does not create by itself."""
    prefix = prefix.rstrip('\\')
    out, made = ['Windows Registry Editor Version 5.00', ''], set()
    for section in sections:
        relative = relative_key(section.key, prefix)
        if section.delete:
            if not relative:
                raise FixtureError('the root of the hive %s cannot be deleted' % prefix)
            gone = relative.upper()
            made = {k for k in made if k != gone and not k.startswith(gone + '\\')}
            out += ['[-%s\\%s]' % (prefix, relative), '']
            continue
        parts = _components(relative) if relative else []
        for depth in range(1, len(parts)):
            parent = '\\'.join(parts[:depth])
            if parent.upper() not in made:
                made.add(parent.upper())
                out += ['[%s\\%s]' % (prefix, parent), '']
        made.add(relative.upper())
        out.append('[%s\\%s]' % (prefix, relative) if relative else '[%s]' % prefix)
        out += [_value_line(*value) for value in _last_per_name(section.values)]
        out.append('')
    return '\n'.join(out) + '\n'


def merge_sections(hive_path, sections, prefix):
    """Writes the sections into the hive with hivexregedit --merge, in one run. Names go to it as
    UTF-8, which hivex stores as 8-bit names where they fit and as UTF-16LE otherwise. hivex
    orders subkeys by their lower-case names: names with one of [\\]^_` among letters come in
    another order than Windows (upper case) keeps, which only Windows itself would notice."""
    with tempfile.NamedTemporaryFile('wb', suffix='.reg', delete=False) as f:
        f.write(merge_text(sections, prefix).encode('utf-8'))
    try:
        result = subprocess.run(['hivexregedit', '--merge', '--prefix', prefix.rstrip('\\'),
                                 hive_path, f.name], capture_output=True, text=True)
    finally:
        os.unlink(f.name)
    if result.returncode != 0:
        raise FixtureError('hivexregedit --merge %s failed: %s' % (hive_path, result.stderr))


def fill_hive(hive_path, reg_text, prefix, codepage='cp1252'):
    """Writes a REGEDIT4 text (ANSI strings in codepage) into an existing hive that stands for
    the registry path prefix, e.g. HKEY_LOCAL_MACHINE\\SYSTEM. String data (REG_SZ,
    REG_EXPAND_SZ, REG_MULTI_SZ, quoted or hex) are stored in UTF-16LE, shape kept; other data
    as given. [-KEY] deletes a key and all below it; "name"=- deletes a value."""
    merge_sections(hive_path, parse_reg(reg_text, codepage), prefix)


# ------------------------------------------------------------------ SYSTEM and SOFTWARE hives

SYSTEM_PREFIX = 'HKEY_LOCAL_MACHINE\\SYSTEM'
SOFTWARE_PREFIX = 'HKEY_LOCAL_MACHINE\\SOFTWARE'
CURRENT_SET = SYSTEM_PREFIX + '\\CurrentControlSet'


def read_key(hive_path, key, prefix=SYSTEM_PREFIX):
    """The values of a key as hivex's own tools read them back: {name: (type, bytes as stored)},
    or None when the key is missing. key is below the hive's root, as ControlSet001\\Control."""
    done = subprocess.run(['hivexregedit', '--export', '--prefix', prefix, hive_path, key],
                          capture_output=True, text=True)
    if done.returncode != 0:
        return None
    values = {}
    for line in _logical_lines(done.stdout):
        match = re.match(r'^(@|"((?:[^"\\]|\\.)*)")=hex(?:\(([0-9a-fA-F]+)\))?:(.*)$', line)
        if match:
            name = '' if match.group(1) == '@' else _unquote(match.group(2))
            values[name] = (int(match.group(3) or '3', 16), _hex_bytes(match.group(4)))
    return values


def utf16z(text):
    """A REG_SZ as the hive stores it: UTF-16LE with its terminating zero."""
    return (text + '\0').encode('utf-16-le')


def dword(number):
    return struct.pack('<I', number)


def control_set_name(number):
    return 'ControlSet%03d' % number


def in_control_set(sections, number):
    """The sections with keys below HKLM\\SYSTEM\\CurrentControlSet moved to ControlSet00N, as
    the hive on disk holds them (CurrentControlSet is a link Windows makes at boot)."""
    moved = []
    for section in sections:
        relative = relative_key(section.key, SYSTEM_PREFIX)
        parts = relative.split('\\')
        if parts[0].upper() == 'CURRENTCONTROLSET':
            parts[0] = control_set_name(number)
            section = dataclasses.replace(section, key='\\'.join([SYSTEM_PREFIX] + parts))
        moved.append(section)
    return moved


def _control_set_base(number, acp):
    key = '%s\\%s\\Control\\Nls\\CodePage' % (SYSTEM_PREFIX, control_set_name(number))
    return [Section(key, values=[('ACP', REG_SZ, utf16z(acp))])]


def _select_section(number):
    values = [(name, REG_DWORD, dword(number)) for name in ('Current', 'Default', 'LastKnownGood')]
    return Section(SYSTEM_PREFIX + '\\Select', values=values + [('Failed', REG_DWORD, dword(0))])


def system_hive(path, reg_text='', control_set=1, select_default=None, other_sets=(),
                acp='1252', codepage='cp1252'):
    """Writes an offline SYSTEM hive: the fragment's CurrentControlSet keys in ControlSet00N of
    control_set; Select's Current, Default and LastKnownGood naming select_default (by default
    control_set), Failed 0; each control set's Control\\Nls\\CodePage ACP set to acp. other_sets
    maps more set numbers to fragments of their own (pairs or a dict). A fragment may change or
    delete the ACP value. Returns path."""
    minimal_hive(path)
    sets = [(control_set, reg_text)] + list(dict(other_sets).items())
    sections = [_select_section(control_set if select_default is None else select_default)]
    for number, _ in sets:
        sections += _control_set_base(number, acp)
    for number, text in sets:
        sections += in_control_set(parse_reg(text, codepage), number)
    merge_sections(path, sections, SYSTEM_PREFIX)
    return path


PRODUCT_NAMES = {'5.0': 'Microsoft Windows 2000', '5.1': 'Microsoft Windows XP',
                 '5.2': 'Microsoft Windows Server 2003'}


def software_hive(path, current_version='5.1', system_root='C:\\WINDOWS'):
    """Writes a SOFTWARE hive whose Microsoft\\Windows NT\\CurrentVersion holds CurrentVersion
    and SystemRoot (REG_SZ; None leaves a value out) and a matching ProductName. Returns path."""
    minimal_hive(path)
    values = []
    if current_version is not None:
        values.append(('CurrentVersion', REG_SZ, utf16z(current_version)))
        product = PRODUCT_NAMES.get(current_version, 'Microsoft Windows')
        values.append(('ProductName', REG_SZ, utf16z(product)))
    if system_root is not None:
        values.append(('SystemRoot', REG_SZ, utf16z(system_root)))
    key = SOFTWARE_PREFIX + '\\Microsoft\\Windows NT\\CurrentVersion'
    merge_sections(path, [Section(key, values=values)], SOFTWARE_PREFIX)
    return path


# ------------------------------------------------------------------ installations

@dataclasses.dataclass
class Layout:
    """The spelling of each folder and file of an installation: Windows itself does not care
    about case, so real installations differ and the offline tool must find them regardless.
    temp None leaves the Temp folder out."""
    windows: str = 'WINDOWS'
    system32: str = 'system32'
    config: str = 'config'
    drivers: str = 'drivers'
    system: str = 'SYSTEM'
    software: str = 'SOFTWARE'
    temp: str | None = 'Temp'
    log: str = 'Verolund.log'


@dataclasses.dataclass
class Installation:
    """The paths of a fixture installation. temp is None without a Temp folder; log is where the
    tool's log goes (it exists only when an old log was asked for); drivers maps each driver
    file's name to its path."""
    root: str
    windows: str
    system32: str
    config: str
    drivers_dir: str
    system_hive: str
    software_hive: str
    temp: str | None
    log: str | None
    drivers: dict


def _driver_stand_in(name):
    """A few bytes standing in for a driver file: an MZ start and the name, so files differ."""
    return b'MZ\x90\0' + name.encode('ascii', errors='replace') + b'\0'


def make_installation(root, reg_text='', *, layout=None, drivers=('PartMgr.sys', 'Diskperf.sys'),
                      old_log=None, current_version='5.1', system_root=None, **system_options):
    """Makes root/<windows>/system32/config/SYSTEM and SOFTWARE, system32/drivers/<drivers>
    (stand-in bytes), Temp (unless layout.temp is None) and, when old_log holds bytes, an old
    Temp/Verolund.log. reg_text and system_options go to system_hive (control_set,
    select_default, other_sets, acp, codepage); current_version and system_root (by default
    C:\\<windows>) to software_hive. Returns an Installation."""
    layout = layout or Layout()
    windows = os.path.join(root, layout.windows)
    system32 = os.path.join(windows, layout.system32)
    config = os.path.join(system32, layout.config)
    drivers_dir = os.path.join(system32, layout.drivers)
    for folder in (config, drivers_dir):
        os.makedirs(folder, exist_ok=True)
    system = system_hive(os.path.join(config, layout.system), reg_text, **system_options)
    software = software_hive(os.path.join(config, layout.software), current_version,
                             system_root or 'C:\\' + layout.windows)
    driver_paths = {}
    for name in drivers:
        driver_paths[name] = os.path.join(drivers_dir, name)
        with open(driver_paths[name], 'wb') as f:
            f.write(_driver_stand_in(name))
    temp = log = None
    if layout.temp is not None:
        temp = os.path.join(windows, layout.temp)
        os.makedirs(temp, exist_ok=True)
        log = os.path.join(temp, layout.log)
        if old_log is not None:
            with open(log, 'wb') as f:
                f.write(old_log)
    elif old_log is not None:
        raise FixtureError('an old log needs a Temp folder')
    return Installation(root, windows, system32, config, drivers_dir, system, software,
                        temp, log, driver_paths)


# ------------------------------------------------------------------ a hive of realistic size

DISK_CLASS = '{4D36E967-E325-11CE-BFC1-08002BE10318}'
LEGACY_CLASS = '{8ECC055D-047F-11D1-A537-0000F8753ED1}'

# Class GUIDs of a typical XP machine; the rest of the few dozen are made up from the seed.
KNOWN_CLASSES = [
    (DISK_CLASS, 'DiskDrive', 'Disk drives'),
    ('{4D36E965-E325-11CE-BFC1-08002BE10318}', 'CDROM', 'DVD/CD-ROM drives'),
    ('{4D36E968-E325-11CE-BFC1-08002BE10318}', 'Display', 'Display adapters'),
    ('{4D36E96A-E325-11CE-BFC1-08002BE10318}', 'hdc', 'IDE ATA/ATAPI controllers'),
    ('{4D36E96B-E325-11CE-BFC1-08002BE10318}', 'Keyboard', 'Keyboards'),
    ('{4D36E96F-E325-11CE-BFC1-08002BE10318}', 'Mouse', 'Mice and other pointing devices'),
    ('{4D36E972-E325-11CE-BFC1-08002BE10318}', 'Net', 'Network adapters'),
    ('{4D36E97B-E325-11CE-BFC1-08002BE10318}', 'SCSIAdapter', 'SCSI and RAID controllers'),
    ('{4D36E97D-E325-11CE-BFC1-08002BE10318}', 'System', 'System devices'),
    ('{36FC9E60-C465-11CF-8056-444553540000}', 'USB', 'Universal Serial Bus controllers'),
    ('{71A27CDD-812A-11D0-BEC7-08002BE2092F}', 'Volume', 'Storage volumes'),
    ('{4D36E96C-E325-11CE-BFC1-08002BE10318}', 'MEDIA', 'Sound, video and game controllers'),
    (LEGACY_CLASS, 'LegacyDriver', 'Non-Plug and Play Drivers'),
]

# The services the repair looks at, with the values XP gives them: name, Start, Group,
# DisplayName, driver file.
DISK_SERVICES = [('PartMgr', 0, 'Filter', 'Partition Manager', 'partmgr'),
                 ('Disk', 0, 'SCSI Class', 'Disk Driver', 'disk'),
                 ('Diskperf', 4, 'Filter', 'Disk Performance Monitor', 'diskperf')]

SERVICE_GROUPS = ['Boot Bus Extender', 'System Bus Extender', 'SCSI miniport', 'Primary disk',
                  'Filter', 'Base', 'Extended Base', 'Network', 'NDIS', 'PNP_TDI', 'Video',
                  'Keyboard Port', 'Pointer Port', 'Event log', 'SCSI Class']
BUSES = ['PCI', 'PCI', 'USB', 'USB', 'HID', 'ACPI', 'ACPI', 'STORAGE', 'IDE', 'SW', 'DISPLAY']
VENDORS = ['Microsoft', 'Intel', 'VIA', 'ATI', 'NVIDIA', 'Realtek', '(Standard system devices)']


def _multi(entries):
    """A REG_MULTI_SZ as the hive stores it: each entry UTF-16LE with its zero, then one more."""
    return b''.join(utf16z(e) for e in entries) + b'\0\0'


def _sz(name, text):
    return name, REG_SZ, utf16z(text)


def _dw(name, number):
    return name, REG_DWORD, dword(number)


def _bin(name, data, kind=REG_BINARY):
    return name, kind, data


def _guid(rng):
    return '{%08X-%04X-%04X-%04X-%012X}' % (rng.getrandbits(32), rng.getrandbits(16),
                                           rng.getrandbits(16), rng.getrandbits(16),
                                           rng.getrandbits(48))


def _blob(rng, low, high):
    return rng.randbytes(rng.randrange(low, high))


def _service_name(rng, number):
    syllables = ['ac', 'pi', 'disk', 'net', 'usb', 'hid', 'vol', 'snap', 'ks', 'mou', 'kbd',
                 'ser', 'par', 'ndis', 'wan', 'ip', 'tcp', 'sec', 'fs', 'rdp', 'audio', 'mgr']
    return ''.join(rng.choice(syllables) for _ in range(2)).capitalize() + '%03d' % number


def _service_values(rng, name):
    """The values of a generated service: a kernel driver (most) or a shared-process service."""
    if rng.random() < 0.7:
        kind, image = 1, 'system32\\DRIVERS\\%s.sys' % name.lower()
    else:
        kind, image = 0x20, '%%SystemRoot%%\\System32\\svchost.exe -k %s' % name
    values = [_dw('Type', kind), _dw('Start', rng.choice((0, 1, 2, 3, 3, 4))),
              _dw('ErrorControl', rng.choice((0, 1, 1, 3))),
              ('ImagePath', REG_EXPAND_SZ, utf16z(image)),
              _sz('DisplayName', '%s %s' % (name, rng.choice(
                  ('Driver', 'Service', 'Filter Driver', 'Miniport', 'Bus Enumerator')))),
              _sz('Group', rng.choice(SERVICE_GROUPS))]
    if rng.random() < 0.5:
        values.append(_sz('Description', 'Provides %s support for %s devices and the programs '
                          'that use them.' % (name, rng.choice(
                              ('storage', 'network', 'input', 'display', 'audio')))))
    if rng.random() < 0.3:
        values.append(_bin('DependOnService', _multi(['Tcpip', 'NetBT', 'RpcSs'][
            :rng.randrange(1, 4)]), REG_MULTI_SZ))
    if rng.random() < 0.3:
        values.append(_dw('Tag', rng.randrange(1, 40)))
    return values


def _service_sections(rng, key, name, values, legacy):
    """A service key: its values, a Security subkey with the descriptor blob, an Enum subkey
    naming its device instance (legacy drivers), and for some Parameters and Linkage."""
    sections = [Section(key, values=values), Section(key + '\\Security', values=[
        _bin('Security', security_descriptor() + _blob(rng, 20, 60))])]
    if legacy:
        sections.append(Section(key + '\\Enum', values=[
            _sz('0', 'Root\\LEGACY_%s\\0000' % name.upper()), _dw('Count', 1),
            _dw('NextInstance', 1)]))
    if rng.random() < 0.4:
        sections.append(Section(key + '\\Parameters', values=[
            _dw('BusType', rng.randrange(1, 10)), _bin('Tuning', _blob(rng, 16, 96)),
            _sz('LogPath', '%%SystemRoot%%\\Debug\\%s.log' % name)]))
    if rng.random() < 0.15:
        devices = ['\\Device\\%s_%s' % (name, _guid(rng)) for _ in range(rng.randrange(3, 12))]
        sections.append(Section(key + '\\Linkage', values=[
            _bin(entry, _multi(devices), REG_MULTI_SZ) for entry in ('Bind', 'Route', 'Export')]))
    return sections


def _disk_service(name, start, group, display, driver):
    return [_dw('Type', 1), _dw('Start', start), _dw('ErrorControl', 1 if name == 'Disk' else 3),
            ('ImagePath', REG_EXPAND_SZ, utf16z('system32\\DRIVERS\\%s.sys' % driver)),
            _sz('DisplayName', display), _sz('Group', group)]


def _legacy_instance(rng, enum_key, name):
    """The device instance Windows records for a legacy driver: Enum\\Root\\LEGACY_X\\0000."""
    instance = '%s\\Root\\LEGACY_%s\\0000' % (enum_key, name.upper())
    return [Section('%s\\Root\\LEGACY_%s' % (enum_key, name.upper()), values=[
                _dw('NextInstance', 1)]),
            Section(instance, values=[
                _sz('Service', name), _dw('Legacy', 1), _dw('ConfigFlags', 0),
                _sz('Class', 'LegacyDriver'), _sz('ClassGUID', LEGACY_CLASS),
                _sz('DeviceDesc', name), _dw('Capabilities', 0),
                _sz('Driver', '%s\\%04d' % (LEGACY_CLASS, rng.randrange(10000)))]),
            Section(instance + '\\Control', values=[_sz('ActiveService', name)])]


def _device_id(rng, bus):
    if bus == 'PCI':
        return 'VEN_%04X&DEV_%04X&SUBSYS_%08X&REV_%02X' % (
            rng.getrandbits(16), rng.getrandbits(16), rng.getrandbits(32), rng.getrandbits(8))
    if bus in ('USB', 'HID'):
        return 'Vid_%04x&Pid_%04x' % (rng.getrandbits(16), rng.getrandbits(16))
    return '%s%04X' % (rng.choice(('PNP', 'GenDisk', 'Monitor', 'Device')), rng.getrandbits(16))


def _device_instance(rng, enum_key, number, classes, services):
    """A Plug and Play device instance under Enum\\<bus>\\<device>\\<instance>, with the values
    and the Control, LogConf and Device Parameters subkeys such a device has."""
    bus = rng.choice(BUSES)
    device_id = _device_id(rng, bus)
    guid, class_name, title = rng.choice(classes)
    instance = '%s\\%s\\%s\\%d&%08x&0&%02X' % (enum_key, bus, device_id, rng.randrange(2, 5),
                                               rng.getrandbits(32), number % 256)
    ids = ['%s\\%s' % (bus, device_id[:n]) for n in (len(device_id), 21, 17, 8)]
    service = rng.choice(services)
    return [
        Section(instance, values=[
            _sz('DeviceDesc', '%s %d' % (title, number)), _dw('Capabilities', 0x60),
            _sz('LocationInformation', 'PCI bus %d, device %d, function 0' % (
                rng.randrange(4), rng.randrange(32))), _dw('UINumber', rng.randrange(32)),
            _bin('HardwareID', _multi(ids), REG_MULTI_SZ),
            _bin('CompatibleIDs', _multi(['%s\\CC_%06X' % (bus, rng.getrandbits(24)),
                                          '%s\\CC_%04X' % (bus, rng.getrandbits(16))]),
                 REG_MULTI_SZ),
            _sz('ClassGUID', guid), _sz('Class', class_name),
            _sz('Driver', '%s\\%04d' % (guid, rng.randrange(12))), _sz('Mfg', rng.choice(VENDORS)),
            _sz('Service', service), _dw('ConfigFlags', 0),
            _sz('ParentIdPrefix', '%d&%08x&0' % (rng.randrange(2, 8), rng.getrandbits(32)))]),
        Section(instance + '\\Control', values=[_sz('ActiveService', service)]),
        Section(instance + '\\LogConf', values=[
            _bin('BasicConfigVector', _blob(rng, 200, 700), 10),
            _bin('BootConfig', _blob(rng, 80, 300), 8)]),
        Section(instance + '\\Device Parameters', values=[
            _bin('EDID', rng.randbytes(128)) if bus == 'DISPLAY' else _dw('IdleTimeout', 30),
            _sz('SymbolicName', '\\??\\%s#%s#%s' % (bus, device_id, _guid(rng)))]),
    ]


def _class_sections(rng, class_root, guid, name, title, services):
    """A device class key with its driver instances (0000, 0001, ...); the disk-drive class has
    the UpperFilters list the repair is about."""
    key = '%s\\%s' % (class_root, guid)
    values = [_sz('', title), _sz('Class', name), _sz('Icon', '-%d' % rng.randrange(1, 60)),
              _sz('Installer32', 'SysSetup.Dll,%sClassInstaller' % name)]
    if guid == DISK_CLASS:
        values.append(_bin('UpperFilters', _multi(['PartMgr']), REG_MULTI_SZ))
    sections = [Section(key, values=values)]
    for number in range(rng.randrange(1, 9)):
        service = rng.choice(services)
        sections.append(Section('%s\\%04d' % (key, number), values=[
            _sz('DriverDesc', '%s device %d' % (title, number)),
            _sz('ProviderName', rng.choice(VENDORS)), _sz('DriverDate', '7-1-2001'),
            _bin('DriverDateData', rng.randbytes(8)),
            _sz('DriverVersion', '5.1.2600.%d' % rng.randrange(6000)),
            _sz('InfPath', 'oem%d.inf' % rng.randrange(40)), _sz('InfSection', service + '_Inst'),
            _sz('MatchingDeviceId', 'pci\\ven_%04x&dev_%04x' % (rng.getrandbits(16),
                                                               rng.getrandbits(16)))]))
    return sections


def _classes(rng, count):
    classes = list(KNOWN_CLASSES)
    while len(classes) < count:
        classes.append((_guid(rng), 'Class%02d' % len(classes), 'Device class %d' % len(classes)))
    return classes


def _nls_sections(base):
    """Control\\Nls as XP has it: the code page files and the installed locales."""
    pages = [37, 437, 500, 708, 720, 737, 775, 850, 852, 855, 857, 860, 861, 862, 863, 864, 865,
             866, 869, 874, 875, 932, 936, 949, 950, 1026, 1250, 1251, 1252, 1253, 1254, 1255,
             1256, 1257, 1258, 10000, 10006, 10007, 10010, 10017, 10029, 10079, 10081, 10082,
             20127, 20261, 20866, 21866, 28591, 28592, 28595, 28597]
    code_page = [_sz('ACP', '1252'), _sz('OEMCP', '850'), _sz('MACCP', '10000'),
                 _sz('OEMHAL', 'vgaoem.fon')] + [_sz('%d' % p, 'c_%d.nls' % p) for p in pages]
    locales = [_sz('%08x' % lcid, '1') for lcid in range(0x401, 0x401 + 160)]
    return [Section(base + '\\Control\\Nls\\CodePage', values=code_page),
            Section(base + '\\Control\\Nls\\Locale', values=[_sz('', '00000409')] + locales)]


def _control_set_sections(rng, base, services, class_count):
    """One ControlSet00N: services, their legacy instances, devices, classes and Nls."""
    names = [n[0] for n in DISK_SERVICES] + [_service_name(rng, n) for n in range(services)]
    sections = _nls_sections(base)
    for disk in DISK_SERVICES:
        sections += _service_sections(rng, '%s\\Services\\%s' % (base, disk[0]), disk[0],
                                      _disk_service(*disk), legacy=False)
    for name in names[len(DISK_SERVICES):]:
        legacy = rng.random() < 0.35
        sections += _service_sections(rng, '%s\\Services\\%s' % (base, name), name,
                                      _service_values(rng, name), legacy)
        if legacy:
            sections += _legacy_instance(rng, base + '\\Enum', name)
    classes = _classes(rng, class_count)
    for number in range(services * 6 // 5):
        sections += _device_instance(rng, base + '\\Enum', number, classes, names)
    for guid, name, title in classes:
        sections += _class_sections(rng, base + '\\Control\\Class', guid, name, title, names)
    return sections


def realistic_sections(services=600, seed=2600, sets=(1, 2), class_count=40):
    """The sections of a SYSTEM hive of a real XP machine's size, the same for the same seed.
    Each control set has `services` generated services besides PartMgr, Disk and Diskperf, with
    Security, Enum, Parameters and Linkage subkeys; the legacy and Plug and Play device instances
    under Enum; Control\\Class with class_count classes, the disk-drive class listing PartMgr in
    UpperFilters; Control\\Nls. Select names the first set."""
    sections = [_select_section(sets[0])]
    for number in sets:
        rng = random.Random('%s/%d' % (seed, number))
        base = '%s\\%s' % (SYSTEM_PREFIX, control_set_name(number))
        sections += _control_set_sections(rng, base, services, class_count)
    return sections


def realistic_system_hive(path, services=600, seed=2600):
    """Writes a SYSTEM hive of a real machine's size (about 12 MB for 600 services), with
    ControlSet001 and a ControlSet002 like it; byte for byte the same for the same arguments.
    Some 45% of the file is free cells: hivex never reuses a freed cell and copies a parent's
    subkey list to a new cell for every child it adds, so Services, with its 600 children, leaves
    a trail of old lists behind. Returns path."""
    minimal_hive(path)
    merge_sections(path, realistic_sections(services, seed), SYSTEM_PREFIX)
    return path


# ------------------------------------------------------------------ command line

def _read(path):
    with open(path, 'rb') as f:
        return f.read()


def _parser():
    parser = argparse.ArgumentParser(description='Makes registry hives and Windows folders for '
                                                 'the offline repair tests.')
    commands = parser.add_subparsers(dest='command', required=True)
    minimal = commands.add_parser('minimal', help='an empty hive')
    minimal.add_argument('out')
    system = commands.add_parser('system', help='a SYSTEM hive from a REGEDIT4 fragment')
    system.add_argument('out')
    system.add_argument('regfile', help='REGEDIT4 text, ANSI; its CurrentControlSet keys land '
                                        'in the chosen control set')
    _system_options(system)
    software = commands.add_parser('software', help='a SOFTWARE hive')
    software.add_argument('out')
    _software_options(software)
    install = commands.add_parser('installation', help='a Windows folder with its hives')
    install.add_argument('dir')
    install.add_argument('--reg', metavar='REGFILE', help='fragment for the SYSTEM hive')
    _system_options(install)
    _software_options(install)
    for field in dataclasses.fields(Layout):
        install.add_argument('--%s-name' % field.name, dest=field.name, default=field.default,
                             help='spelling of the %s folder or file (default %s)'
                                  % (field.name, field.default))
    install.add_argument('--no-temp', action='store_true', help='no Temp folder')
    install.add_argument('--driver-files', default='PartMgr.sys,Diskperf.sys',
                         help='driver files to make, comma-separated, or none')
    install.add_argument('--old-log', metavar='TEXT', help='an old log with this text (\\n: CR LF)')
    realistic = commands.add_parser('realistic', help='a SYSTEM hive of a real machine\'s size')
    realistic.add_argument('out')
    realistic.add_argument('--services', type=int, default=600)
    realistic.add_argument('--seed', type=int, default=2600)
    return parser


def _system_options(parser):
    parser.add_argument('--control-set', type=int, default=1)
    parser.add_argument('--select-default', type=int, help='default: the --control-set')
    parser.add_argument('--other-set', action='append', default=[], metavar='N=REGFILE',
                        help='another control set and its own fragment (repeatable)')
    parser.add_argument('--acp', default='1252', help='the installation\'s ANSI code page')
    parser.add_argument('--codepage', default='cp1252', help='the fragment\'s code page')


def _software_options(parser):
    parser.add_argument('--current-version', default='5.1', help='or "none" to leave it out')
    parser.add_argument('--system-root', help='default C:\\WINDOWS (or C:\\<windows name>)')


def _version(text):
    return None if text.lower() == 'none' else text


def _other_sets(options):
    sets = {}
    for option in options:
        number, _, path = option.partition('=')
        if not number.isdigit() or not path:
            raise FixtureError('--other-set wants N=REGFILE, not %r' % option)
        sets[int(number)] = _read(path)
    return sets


def _installation(args):
    layout = Layout(**{f.name: getattr(args, f.name) for f in dataclasses.fields(Layout)})
    if args.no_temp:
        layout.temp = None
    drivers = [] if args.driver_files.lower() == 'none' else [
        d for d in args.driver_files.split(',') if d]
    old_log = args.old_log.replace('\\n', '\r\n').encode('cp1252') if args.old_log else None
    made = make_installation(
        args.dir, _read(args.reg) if args.reg else '', layout=layout, drivers=drivers,
        old_log=old_log, current_version=_version(args.current_version),
        system_root=args.system_root, control_set=args.control_set,
        select_default=args.select_default, other_sets=_other_sets(args.other_set),
        acp=args.acp, codepage=args.codepage)
    for field in dataclasses.fields(made):
        print('%-13s %s' % (field.name, getattr(made, field.name)))


def main(argv=None):
    args = _parser().parse_args(argv)
    try:
        if args.command == 'minimal':
            minimal_hive(args.out)
        elif args.command == 'system':
            system_hive(args.out, _read(args.regfile), args.control_set, args.select_default,
                        _other_sets(args.other_set), args.acp, args.codepage)
        elif args.command == 'software':
            software_hive(args.out, _version(args.current_version),
                          args.system_root or 'C:\\WINDOWS')
        elif args.command == 'installation':
            _installation(args)
        else:
            started = time.monotonic()
            realistic_system_hive(args.out, args.services, args.seed)
            print('%s: %d bytes in %.1f s' % (args.out, os.path.getsize(args.out),
                                              time.monotonic() - started))
    except (FixtureError, OSError) as error:
        print('hivefixture: %s' % error, file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
