"""What kva_bench.py's subcommands share: keys derived without kva (cipher/README.md), a
launcher reporting honest peak memory, `kva info` checks, alternated runs and their report."""

import collections
import datetime
import hashlib
import hmac
import os
import platform
import statistics
import subprocess
import sys
import tempfile

MIB = 1 << 20
REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PASSWORD = "sample-2026"  # the documented sample password (README); never printed
HEADER_SIZE = 28
CIPHERS = {3: ("AES-128-CBC", "aes-128-cbc", 16), 1: ("AES-128-CFB", "aes-128-cfb", 1),
           2: ("DES-EDE3-CBC", "des-ede3-cbc", 8)}  # name, openssl's name, padding unit
MEMORY_LIMIT_KIB, MEMORY_SLACK_KIB = 32 * 1024, 2048


def scrypt_digest(data):
    return hashlib.scrypt(data, salt=b"TessaronKvaSalt1", n=16384, r=8, p=1, dklen=32,
                          maxmem=64 * MIB)


def hkdf_sha256(key, info, length):
    """RFC 5869 with no salt (a block of zero bytes), up to 32 bytes: one block."""
    prk = hmac.new(b"\0" * 32, key, "sha256").digest()
    return hmac.new(prk, info + b"\1", "sha256").digest()[:length]


def derive(password):
    """The verifier, and per cipher identifier openssl's -K and -iv."""
    key = scrypt_digest(password.encode("cp1251"))[:16]
    iv = hkdf_sha256(key, b"kva iv", 16)
    des3 = hkdf_sha256(key, b"kva des-ede3 key", 24)
    return {"verifier": scrypt_digest(key)[:16], 3: (key.hex(), iv.hex()),
            1: (key.hex(), iv.hex()), 2: (des3.hex(), iv[:8].hex())}


class Run(collections.namedtuple("Run", "wall user system maxrss")):
    """Wall, user and system seconds (waited-for children included), peak RSS in KiB."""
    cpu = property(lambda self: self.user + self.system)


# Linux counts into a child's ru_maxrss what it had before exec: spawned from this
# script it would report this script's peak (tens of MiB). So this small launcher
# (python -I -S, about 5 MiB) forks, execs, waits with os.wait4 and sends back the
# wall time and the rusage; its floor, measured with /bin/true, is reported.
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


def log(text):
    print(text, file=sys.stderr, flush=True)


def check(condition, what):
    if not condition:
        sys.exit("check failed: " + what)


def shown(argv):
    """argv for a message, without the key, the IV and the password."""
    return " ".join("..." if a == PASSWORD or i and argv[i - 1] in ("-K", "-iv") else a
                    for i, a in enumerate(argv))


def quotient(a, b):
    return a / b if a > 0 and b > 0 else float("nan")  # a negative marginal is noise


def median(values):
    values = list(values)
    return statistics.median(values) if values else float("nan")


def same_bytes(path_a, offset_a, path_b):
    """Whether path_a from offset_a holds exactly the bytes of path_b (cmp)."""
    return subprocess.run(["cmp", "-s", "-i", "%d:0" % offset_a, path_a, path_b]).returncode == 0


def random_file(path, size):
    with open(path, "wb") as f:
        for left in range(size, 0, -8 * MIB):
            f.write(os.urandom(min(left, 8 * MIB)))


def fresh_destination(path):
    """Untimed: no old output to replace, no dirty pages of the last run to write back."""
    if os.path.exists(path):
        os.unlink(path)
    os.sync()


def first_line(argv):
    return subprocess.run(argv, capture_output=True, text=True).stdout.strip().splitlines()[0]


def machine_note(scratch, *versions):
    with open("/proc/cpuinfo") as f:
        cpu = next((line.split(":", 1)[1].strip() for line in f if line.startswith("model name")),
                   "unknown CPU")
    return "; ".join(["%s; %d cores (%s); %s %s; scratch on %s" % (
        datetime.date.today().isoformat(), os.cpu_count() or 0, cpu, platform.system(),
        platform.release(), first_line(["findmnt", "-n", "-o", "FSTYPE", "-T", scratch]))] +
        [first_line(argv) for argv in versions])


class Bench:
    """Scratch folder, password file, launcher, and the samples of the tools rotated run by run.
    Subclasses name tools (each compared with the last), operations, targets; prepare, time."""
    tools, operations, targets, names = ("kva", "openssl"), (), {}, {}

    def __init__(self, args, label):
        self.args = args
        os.makedirs(args.scratch_parent, exist_ok=True)
        self.scratch = tempfile.mkdtemp(prefix=label + "-bench-", dir=args.scratch_parent)
        log("scratch: " + self.scratch)
        self.err, self.pwfile = self.path("stderr.txt"), self.path("password")
        with os.fdopen(os.open(self.pwfile, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600), "w") as f:
            f.write(PASSWORD + "\n")
        self.keys = derive(PASSWORD)
        self.launcher = subprocess.Popen([sys.executable, "-I", "-S", "-c", LAUNCHER],
                                         stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.samples = {}  # (identifier, operation, tool, size) -> [Run]
        self.runs_done = {}  # identifier -> runs

    def path(self, name):
        return os.path.join(self.scratch, name)

    def run(self, argv):
        """Runs argv through the launcher to completion; a failure stops the run."""
        self.launcher.stdin.write(b"\0".join(map(os.fsencode, [self.err] + argv)) + b"\n")
        self.launcher.stdin.flush()
        reply = self.launcher.stdout.readline().split()
        check(len(reply) == 5, "the launcher answers")
        if reply[0] != b"0":
            with open(self.err, errors="replace") as f:
                sys.exit("failed (%s): %s\n%s" % (reply[0].decode(), shown(argv), f.read().strip()))
        return Run(*map(float, reply[1:4]), int(reply[4]))

    def output(self, argv):
        """Untimed: argv's standard output; a failure stops the run."""
        result = subprocess.run(argv, capture_output=True)
        check(result.returncode == 0, "%s: %s" % (shown(argv), result.stderr.decode().strip()))
        return result.stdout.decode()

    def close(self):
        self.launcher.stdin.close()
        self.launcher.wait()

    def openssl(self, identifier, decrypt=False):
        key, iv = self.keys[identifier]
        return ["openssl", "enc"] + ["-d"] * decrypt + [
            "-" + CIPHERS[identifier][1], "-K", key, "-iv", iv, "-nosalt"]

    def check_container(self, path, identifier, plain_size):
        """`kva info` shows the cipher, the ciphertext length for plain_size and a complete
        file; the verifier (bytes 12 to 27) is the one derived here."""
        info = dict((k, v.strip()) for k, v in (
            line.split(":", 1) for line in self.output([self.args.kva, "info", path]).splitlines()))
        unit = CIPHERS[identifier][2]
        length = plain_size if unit == 1 else (plain_size + unit) // unit * unit
        check(info.get("cipher", "").startswith("%d (" % identifier), path + ": cipher")
        check(info.get("ciphertext") == "%d bytes" % length, path + ": ciphertext length")
        check(info.get("state") == "complete", path + ": " + info.get("state", "no state"))
        with open(path, "rb") as f:
            check(f.read(HEADER_SIZE)[12:] == self.keys["verifier"], path + ": password verifier")

    def record(self, key, result):
        self.samples.setdefault(key, []).append(result)
        return result

    def alternate(self, identifier, runs, sizes, timed):
        """runs x sizes x operations, every tool, the first rotating; timed(...) -> Run."""
        self.runs_done[identifier] = runs
        for r, size, operation in ((r, s, o) for r in range(runs) for s in sizes
                                   for o in self.operations):
            shown_runs = ["%s %.3f s (%.2f+%.2f)" % ((tool,) + self.record(
                (identifier, operation, tool, size), timed(identifier, operation, tool, size))[:3])
                for tool in self.tools[r % len(self.tools):] + self.tools[:r % len(self.tools)]]
            log("  id %d run %d/%d %4d MiB %-7s  %s" % (identifier, r + 1, runs, size // MIB,
                                                       operation, ", ".join(shown_runs)))

    def memory_runs(self, identifier, size):
        """kva alone on a large input, once each way, for its peak memory (outputs checked)."""
        self.prepare(identifier, size)
        log("  memory %d MiB: %s" % (size // MIB, ", ".join("%s %d KiB" % (op, self.record(
            (identifier, op, "kva", size), self.timed(identifier, op, "kva", size)).maxrss)
            for op in self.operations)))

    def summary(self, identifier, operation, tool, sizes):
        """Medians per size, marginal wall and CPU seconds, fastest runs' marginal, peak memory."""
        runs = [self.samples[(identifier, operation, tool, s)] for s in sizes]
        walls = [median(r.wall for r in rs) for rs in runs]
        cpus = [median(r.cpu for r in rs) for rs in runs]
        return (walls, walls[-1] - walls[0], cpus[-1] - cpus[0],
                min(r.wall for r in runs[-1]) - min(r.wall for r in runs[0]),
                max(r.maxrss for rs in runs for r in rs))

    def paired_ratios(self, identifier, operation, sizes, tools):
        """One tool's marginal over another's within each run (four runs seconds apart)."""
        a, b = ([y.wall - x.wall for x, y in zip(*(self.samples[(identifier, operation, t, s)]
                                                  for s in (sizes[0], sizes[-1])))]
                for t in tools)
        return [x / y for x, y in zip(a, b) if y > 0]

    def table(self, sizes, floor_kib):
        """A row per tool; the ratios are each tool's to the last tool's."""
        last, span = self.tools[-1], (sizes[-1] - sizes[0]) // MIB
        lines = [
            "Medians of separate processes, %s rotated run by run (%s). Marginal = t(%d MiB) - "
            "t(%d MiB); MB/s = %d MiB (10^6 bytes) / marginal; /%s = a tool's marginal over %s's. "
            "CPU = user + system seconds (a pipeline's programs together), marginal. Peak RSS = "
            "largest ru_maxrss over a tool's runs (a pipeline's largest program; launcher floor "
            "%d KiB)." % (", ".join(self.tools), ", ".join(
                "id %d: %d runs" % i for i in self.runs_done.items()), sizes[-1] // MIB,
                sizes[0] // MIB, span, last, last, floor_kib), "",
            "| Cipher | Operation | Tool | %s | Marginal (s) | MB/s | /%s | CPU marginal (s) | "
            "Peak RSS (KiB) |" % (" | ".join("t %d MiB (s)" % (s // MIB) for s in sizes), last),
            "|---|---|---|" + "---:|" * (5 + len(sizes))]
        verdicts = [""]
        for identifier, operation in ((i, o) for i in self.runs_done for o in self.operations):
            rows = {tool: self.summary(identifier, operation, tool, sizes) for tool in self.tools}
            for tool, row in rows.items():
                ratio, cpu, best = (quotient(row[k], rows[last][k]) for k in (1, 2, 3))
                lines.append("| %d %s | %s | %s | %s | %.3f | %s | %s | %.3f | %d |" % (
                    identifier, CIPHERS[identifier][0], operation,
                    self.names.get((operation, tool), tool), " | ".join("%.3f" % w for w in row[0]),
                    row[1], "%.0f" % (span * MIB / row[1] / 1e6) if row[1] > 0 else "n/a",
                    "**%.2f**" % ratio if tool != last else "", row[2], row[4]))
                target = self.targets.get(operation)
                verdicts += [] if tool == last else [
                    "- id %d %s: %s marginal %.2fx %s's (whole runs %s; CPU time %.2fx, fastest "
                    "runs %.2fx, median of the per-run ratios %.2fx)%s" % (
                        identifier, operation, tool, ratio, last, ", ".join(
                            "%.2fx at %d MiB" % (quotient(w, v), s // MIB)
                            for w, v, s in zip(row[0], rows[last][0], sizes)), cpu, best,
                        median(self.paired_ratios(identifier, operation, sizes, (tool, last))),
                        "" if target is None else ", target <= %.2fx: %s" % (
                            target, "met" if ratio <= target else "NOT met"))]
        return lines + verdicts

    def memory_table(self, identifier):
        """kva's peak memory per operation and size, the memory runs included."""
        every = sorted({k[3] for k in self.samples if k[0] == identifier and k[2] == "kva"})
        lines = ["| Peak memory, kva | %s |" % " | ".join("%d MiB (KiB)" % (s // MIB)
                                                       for s in every),
                 "|---|" + "---:|" * len(every)]
        verdicts = [""]
        for operation in self.operations:
            figures = [max(r.maxrss for r in self.samples[(identifier, operation, "kva", s)])
                       for s in every]
            lines.append("| kva %s | %s |" % (operation, " | ".join(map(str, figures))))
            peak, spread = max(figures), max(figures) - min(figures)
            verdicts.append(
                "- kva %s memory: at most %d KiB (target under %d KiB: %s), spread across sizes "
                "%d KiB (within %d KiB: %s)" % (
                    operation, peak, MEMORY_LIMIT_KIB, "met" if peak < MEMORY_LIMIT_KIB else
                    "NOT met", spread, MEMORY_SLACK_KIB, "yes" if spread <= MEMORY_SLACK_KIB
                    else "NO"))
        return lines + verdicts
