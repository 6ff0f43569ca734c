"""Helpers shared by the benchmarks that run kva as a whole program.

Key material derived independently of kva (hashlib's scrypt and an
HMAC-SHA256 HKDF, as cipher/README.md describes), a launcher that reports
honest peak memory, file checks, and the machine line of the reports.
Standard library only; the scripts in this folder import it by name.
"""

import datetime
import hashlib
import hmac
import os
import platform
import statistics
import subprocess
import sys

MIB = 1 << 20
REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The documented sample password (README); never printed.
PASSWORD = "sample-2026"
DIGEST_SALT = b"TessaronKvaSalt1"
HEADER_SIZE = 28

CIPHERS = {
    3: {"name": "AES-128-CBC", "openssl": "aes-128-cbc", "unit": 16},
    1: {"name": "AES-128-CFB", "openssl": "aes-128-cfb", "unit": 1},
    2: {"name": "DES-EDE3-CBC", "openssl": "des-ede3-cbc", "unit": 8},
}


# ---------------------------------------------------------------- key material

def scrypt_digest(data):
    return hashlib.scrypt(data, salt=DIGEST_SALT, n=16384, r=8, p=1, dklen=32,
                          maxmem=64 * MIB)


def hkdf_sha256(key, info, length):
    """RFC 5869 with no salt (a block of zero bytes)."""
    prk = hmac.new(b"\0" * 32, key, "sha256").digest()
    out, block, counter = b"", b"", 1
    while len(out) < length:
        block = hmac.new(prk, block + info + bytes([counter]), "sha256").digest()
        out += block
        counter += 1
    return out[:length]


def derive(password):
    key = scrypt_digest(password.encode("cp1251"))[:16]
    verifier = scrypt_digest(key)[:16]
    iv = hkdf_sha256(key, b"kva iv", 16)
    des3 = hkdf_sha256(key, b"kva des-ede3 key", 24)
    return {
        "verifier": verifier,
        # identifier -> (openssl -K, openssl -iv)
        3: (key.hex(), iv.hex()),
        1: (key.hex(), iv.hex()),
        2: (des3.hex(), iv[:8].hex()),
    }


# ------------------------------------------------------------------- processes

class Run:
    """One finished process: wall seconds, user and system CPU seconds (its
    waited-for children included), peak resident memory in KiB."""
    __slots__ = ("wall", "user", "system", "maxrss")

    def __init__(self, wall, user, system, maxrss):
        self.wall, self.user, self.system, self.maxrss = wall, user, system, maxrss

    @property
    def cpu(self):
        return self.user + self.system


# Linux counts into a child's ru_maxrss the memory it had before exec: a
# vfork-style spawn from this script would report this script's own peak
# (tens of MiB after the file checks), a fork its current size. So the timed
# programs are started by this small launcher (python -I -S, about 5 MiB),
# which forks, execs, waits with os.wait4 and sends back the wall time and
# the rusage. Its floor is measured with /bin/true and reported.
LAUNCHER = r"""
import os, sys, time
for line in sys.stdin.buffer:
    fields = line.rstrip(b"\n").split(b"\0")
    err, argv = fields[0], fields[1:]
    start = time.perf_counter()
    pid = os.fork()
    if pid == 0:
        try:
            null = os.open(b"/dev/null", os.O_RDWR)
            os.dup2(null, 0)
            os.dup2(null, 1)
            os.dup2(os.open(err, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), 2)
            os.execvp(argv[0], argv)
        finally:
            os._exit(127)
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    sys.stdout.write("%d %.9f %.9f %.9f %d\n" % (os.waitstatus_to_exitcode(status), wall,
                                                  usage.ru_utime, usage.ru_stime, usage.ru_maxrss))
    sys.stdout.flush()
"""


class Launcher:
    def __init__(self):
        self.process = subprocess.Popen([sys.executable, "-I", "-S", "-c", LAUNCHER],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE)

    def run(self, argv, stderr_path):
        """Runs argv to completion and returns its Run."""
        line = b"\0".join(os.fsencode(a) for a in [stderr_path] + list(argv)) + b"\n"
        self.process.stdin.write(line)
        self.process.stdin.flush()
        reply = self.process.stdout.readline().split()
        if len(reply) != 5:
            sys.exit("the launcher stopped")
        code, maxrss = int(reply[0]), int(reply[4])
        wall, user, system = (float(x) for x in reply[1:4])
        if code != 0:
            with open(stderr_path, errors="replace") as f:
                message = f.read().strip()
            sys.exit("failed (%d): %s\n%s" % (code, " ".join(argv), message))
        return Run(wall, user, system, maxrss)

    def close(self):
        self.process.stdin.close()
        self.process.wait()


def fresh_destination(path):
    """Untimed: no old output to replace, and no dirty pages left from the
    previous run to be written back while this one is timed."""
    if os.path.exists(path):
        os.unlink(path)
    os.sync()


# ------------------------------------------------------------------ file checks

def same_bytes(path_a, offset_a, path_b, offset_b=0):
    size_a = os.path.getsize(path_a) - offset_a
    size_b = os.path.getsize(path_b) - offset_b
    if size_a != size_b:
        return False
    with open(path_a, "rb") as a, open(path_b, "rb") as b:
        a.seek(offset_a)
        b.seek(offset_b)
        while True:
            x = a.read(4 * MIB)
            y = b.read(4 * MIB)
            if x != y:
                return False
            if not x:
                return True


def check(condition, what):
    if not condition:
        sys.exit("check failed: " + what)


def check_header(container, identifier, plain_size, verifier):
    unit = CIPHERS[identifier]["unit"]
    length = plain_size if unit == 1 else (plain_size + unit) // unit * unit
    with open(container, "rb") as f:
        header = f.read(HEADER_SIZE)
    check(header[:4] == b"~KVA", container + ": magic")
    check(header[4] == identifier and header[5:8] == b"\0\0\0", container + ": cipher field")
    check(int.from_bytes(header[8:12], "little") == length, container + ": length field")
    check(header[12:28] == verifier, container + ": password verifier")
    check(os.path.getsize(container) == HEADER_SIZE + length, container + ": file size")


def random_file(path, size):
    with open(path, "wb") as f:
        left = size
        while left:
            step = min(left, 8 * MIB)
            f.write(os.urandom(step))
            left -= step


# ---------------------------------------------------------------------- report

def log(text):
    print(text, file=sys.stderr, flush=True)


def quotient(a, b):
    return a / b if b > 0 else float("inf")


def median(values):
    return statistics.median(values) if values else float("nan")


def machine_note(scratch, openssl):
    cpu = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    fs = "?"
    best = ""
    try:
        with open("/proc/mounts") as f:
            for line in f:
                parts = line.split()
                mount = parts[1]
                if (scratch == mount or scratch.startswith(mount.rstrip("/") + "/")) and \
                        len(mount) >= len(best):
                    best, fs = mount, parts[2]
    except OSError:
        pass
    version = subprocess.run([openssl, "version"], capture_output=True, text=True).stdout.strip()
    return "%s; %d cores (%s); %s %s; scratch on %s; %s" % (
        datetime.date.today().isoformat(), os.cpu_count() or 0, cpu, platform.system(),
        platform.release(), fs, version)
