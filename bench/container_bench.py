#!/usr/bin/env python3
"""kva encrypt/decrypt next to openssl enc on the same files, in one run.

For each cipher identifier (3 AES-128-CBC, 1 AES-128-CFB, 2 DES-EDE3-CBC)
and each size (64 and 256 MiB by default) this times

    kva encrypt SRC DST --cipher N --password-file F -f
    openssl enc -<cipher> -K <key> -iv <iv> -nosalt -in SRC -out DST
    kva decrypt SRC DST --password-file F -f
    openssl enc -d -<cipher> -K <key> -iv <iv> -nosalt -in SRC -out DST

as separate processes, alternating kva and openssl run by run (who goes first
flips every run), and reports medians. The fixed cost of an operation (the
password digest, process start) cancels in the marginal cost
time(largest size) - time(smallest size), which is what the two tools are
compared on: ratio = kva marginal / openssl marginal.

Every output is checked: bytes 28.. of each container kva writes must equal
openssl's ciphertext (key and IV derived here independently, with hashlib's
scrypt and an HMAC-SHA256 HKDF), the header's verifier must match, and every
decrypted file must equal its source.

It also measures the password digest on its own (kva decrypt of an empty
container against kva info of it, and cipher_bench's BM_Digest when built),
and the peak memory (ru_maxrss from os.wait4) of every kva run, including one
1 GiB encrypt and decrypt to show memory does not grow with the file.

Run from the repository after a Release build:

    python3 bench/container_bench.py            # full run, several minutes
    python3 bench/container_bench.py --quick    # smoke run, small files

Scratch files go to a fresh folder under build/ (same file system as the
build) and are deleted at the end. Standard library only.
"""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import tempfile

from bench_common import (CIPHERS, HEADER_SIZE, MIB, PASSWORD, REPO, Launcher, check,
                          check_header, derive, fresh_destination, log, machine_note, median,
                          quotient, random_file, same_bytes)


TARGET_RATIO = 1.10
MEMORY_SLACK_KIB = 2048


# ---------------------------------------------------------------------- bench

class Bench:
    def __init__(self, args, scratch):
        self.args = args
        self.kva = args.kva
        self.openssl = args.openssl
        self.scratch = scratch
        self.err = os.path.join(scratch, "stderr.txt")
        self.pwfile = os.path.join(scratch, "password")
        fd = os.open(self.pwfile, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
        with os.fdopen(fd, "w") as f:
            f.write(PASSWORD + "\n")
        self.keys = derive(PASSWORD)
        self.launcher = Launcher()
        # (identifier, operation, tool, size) -> [Run]
        self.samples = {}
        self.memory = []  # (operation, size, Run)
        self.digest = {}

    def run(self, argv):
        return self.launcher.run(argv, self.err)

    def path(self, name):
        return os.path.join(self.scratch, name)

    def source(self, size):
        return self.path("plain-%d" % size)

    def container(self, identifier, size):
        return self.path("kva-%d-%d" % (identifier, size))

    def ciphertext(self, identifier, size):
        return self.path("openssl-%d-%d" % (identifier, size))

    def command(self, tool, operation, identifier, src, dst):
        if tool == "kva":
            argv = [self.kva, operation, src, dst]
            if operation == "encrypt":
                argv += ["--cipher", str(identifier)]
            return argv + ["--password-file", self.pwfile, "-f"]
        key, iv = self.keys[identifier]
        argv = [self.openssl, "enc"]
        if operation == "decrypt":
            argv.append("-d")
        return argv + ["-" + CIPHERS[identifier]["openssl"], "-K", key, "-iv", iv, "-nosalt",
                       "-in", src, "-out", dst]

    def inputs(self, tool, operation, identifier, size):
        if operation == "encrypt":
            return self.source(size)
        return (self.container if tool == "kva" else self.ciphertext)(identifier, size)

    def verify(self, tool, operation, identifier, size, output):
        if operation == "decrypt":
            check(same_bytes(output, 0, self.source(size)),
                  "%s decrypt (id %d, %d bytes) differs from the source" % (tool, identifier, size))
        elif tool == "kva":
            check_header(output, identifier, size, self.keys["verifier"])
            check(same_bytes(output, HEADER_SIZE, self.ciphertext(identifier, size)),
                  "kva container (id %d, %d bytes) differs from openssl's ciphertext"
                  % (identifier, size))
        else:
            check(same_bytes(output, 0, self.ciphertext(identifier, size)),
                  "openssl ciphertext (id %d, %d bytes) changed between runs" % (identifier, size))

    def prepare(self, identifier, size):
        """Untimed: the reference ciphertexts the decrypt runs read, checked
        against each other. Also warms both programs up."""
        src = self.source(size)
        ciphertext = self.ciphertext(identifier, size)
        self.run(self.command("openssl", "encrypt", identifier, src, ciphertext))
        self.run(self.command("kva", "encrypt", identifier, src, self.container(identifier, size)))
        self.verify("kva", "encrypt", identifier, size, self.container(identifier, size))

    def timed(self, tool, operation, identifier, size):
        out = self.path("out-%s-%s" % (tool, operation))
        fresh_destination(out)
        result = self.run(self.command(tool, operation, identifier,
                                       self.inputs(tool, operation, identifier, size), out))
        self.verify(tool, operation, identifier, size, out)
        os.unlink(out)
        self.samples.setdefault((identifier, operation, tool, size), []).append(result)
        return result

    def cipher_runs(self, identifier, runs, sizes):
        for size in sizes:
            self.prepare(identifier, size)
        for r in range(runs):
            order = ("kva", "openssl") if r % 2 == 0 else ("openssl", "kva")
            for size in sizes:
                for operation in ("encrypt", "decrypt"):
                    shown = []
                    for tool in order:
                        shown.append("%s %.3f s" % (tool, self.timed(tool, operation, identifier,
                                                                     size).wall))
                    log("  id %d run %d/%d %4d MiB %-7s  %s"
                        % (identifier, r + 1, runs, size // MIB, operation, ", ".join(shown)))
        for size in sizes:
            os.unlink(self.container(identifier, size))
            os.unlink(self.ciphertext(identifier, size))

    def digest_runs(self, count):
        """kva decrypt of an empty plaintext's container does the two digests and
        no cipher work; kva info of the same file starts the same process and
        reads the header, without digesting."""
        empty = self.path("empty")
        open(empty, "wb").close()
        container = self.path("empty.kva")
        self.run(self.command("kva", "encrypt", 3, empty, container))
        check_header(container, 3, 0, self.keys["verifier"])
        out = self.path("empty.out")
        decrypt, info = [], []
        for i in range(count):
            for which in ((0, 1) if i % 2 == 0 else (1, 0)):
                if which == 0:
                    decrypt.append(self.run(self.command("kva", "decrypt", 3, container, out)).wall)
                    check(os.path.getsize(out) == 0, "empty container decrypts to 0 bytes")
                else:
                    info.append(self.run([self.kva, "info", container]).wall)
        self.digest["decrypt_empty_ms"] = statistics.median(decrypt) * 1000
        self.digest["info_ms"] = statistics.median(info) * 1000
        self.digest["per_operation_ms"] = self.digest["decrypt_empty_ms"] - self.digest["info_ms"]

        cipher_bench = os.path.join(os.path.dirname(self.kva), "cipher_bench")
        if os.access(cipher_bench, os.X_OK):
            result = subprocess.run(
                [cipher_bench, "--benchmark_filter=Digest", "--benchmark_repetitions=5",
                 "--benchmark_report_aggregates_only=true", "--benchmark_format=json"],
                capture_output=True, text=True, check=True)
            for entry in json.loads(result.stdout)["benchmarks"]:
                if entry.get("aggregate_name") == "median":
                    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[entry["time_unit"]]
                    self.digest["genhash_ms"] = entry["real_time"] * scale

    def memory_runs(self, size, count):
        """The default cipher on a large file, once or twice each way; only the
        peak memory of these runs is of interest."""
        src = self.source(size)
        container = self.path("kva-memory")
        ciphertext = self.path("openssl-memory")
        plain = self.path("plain-memory")
        self.run(self.command("openssl", "encrypt", 3, src, ciphertext))
        for _ in range(count):
            fresh_destination(container)
            self.memory.append(("encrypt", size,
                                self.run(self.command("kva", "encrypt", 3, src, container))))
            check_header(container, 3, size, self.keys["verifier"])
            check(same_bytes(container, HEADER_SIZE, ciphertext),
                  "kva container (%d bytes) differs from openssl's ciphertext" % size)
            fresh_destination(plain)
            self.memory.append(("decrypt", size,
                                self.run(self.command("kva", "decrypt", 3, container, plain))))
            check(same_bytes(plain, 0, src),
                  "kva decrypt (%d bytes) differs from the source" % size)
            log("  memory %d MiB: encrypt %d KiB, decrypt %d KiB"
                % (size // MIB, self.memory[-2][2].maxrss, self.memory[-1][2].maxrss))
        for path in (container, ciphertext, plain):
            os.unlink(path)




def report(bench, ids, sizes, note):
    small, large = sizes[0], sizes[-1]
    span = large - small
    lines = []
    add = lines.append
    add("Machine: " + note + ".")
    add("")
    add("Medians of separate processes, kva and openssl alternated run by run (%s). "
        "Marginal = t(%d MiB) - t(%d MiB); MB/s = %d MiB (10^6 bytes) / marginal; "
        "kva/openssl = ratio of the marginals. CPU = user + system seconds, marginal. "
        "Peak RSS = largest ru_maxrss of kva over all its runs (launcher floor %d KiB)."
        % (", ".join("id %d: %d runs" % (i, bench.runs_done[i]) for i in ids),
           large // MIB, small // MIB, span // MIB, bench.floor_kib))
    add("")
    size_heads = " | ".join("t %d MiB (s)" % (s // MIB) for s in sizes)
    add("| Cipher | Operation | Tool | %s | Marginal (s) | MB/s | kva/openssl | CPU marginal (s) "
        "| Peak RSS (KiB) |" % size_heads)
    add("|---|---|---|" + "---:|" * (5 + len(sizes)))
    verdicts = []
    for identifier in ids:
        for operation in ("encrypt", "decrypt"):
            rows = {}
            for tool in ("kva", "openssl"):
                runs = [bench.samples[(identifier, operation, tool, s)] for s in sizes]
                walls = [median([r.wall for r in rs]) for rs in runs]
                cpus = [median([r.cpu for r in rs]) for rs in runs]
                rss = max(r.maxrss for rs in runs for r in rs)
                best = [min(r.wall for r in rs) for rs in runs]
                rows[tool] = (walls, walls[-1] - walls[0], cpus[-1] - cpus[0], rss,
                              best[-1] - best[0])
            ratio = quotient(rows["kva"][1], rows["openssl"][1])
            cpu_ratio = quotient(rows["kva"][2], rows["openssl"][2])
            best_ratio = quotient(rows["kva"][4], rows["openssl"][4])
            for tool in ("kva", "openssl"):
                walls, marginal, cpu, rss, _ = rows[tool]
                name = "kva" if tool == "kva" else \
                    "openssl enc" + (" -d" if operation == "decrypt" else "")
                add("| %d %s | %s | %s | %s | %.3f | %s | %s | %.3f | %s |" % (
                    identifier, CIPHERS[identifier]["name"], operation, name,
                    " | ".join("%.3f" % w for w in walls), marginal,
                    "%.0f" % (span / marginal / 1e6) if marginal > 0 else "n/a",
                    "**%.2f**" % ratio if tool == "kva" else "", cpu,
                    "%d" % rss if tool == "kva" else "-"))
            verdicts.append((identifier, operation, ratio, cpu_ratio, best_ratio))
    add("")
    for identifier, operation, ratio, cpu_ratio, best_ratio in verdicts:
        add("- id %d %s: kva marginal %.2fx openssl's (CPU time %.2fx, fastest runs %.2fx), "
            "target <= %.2fx: %s"
            % (identifier, operation, ratio, cpu_ratio, best_ratio, TARGET_RATIO,
               "met" if ratio <= TARGET_RATIO else "NOT met"))
    add("")

    d = bench.digest
    if d:
        add("Password digest (fixed per operation, two scrypt calls): kva decrypt of an empty "
            "container %.1f ms, kva info of it %.1f ms, difference %.1f ms per operation"
            % (d["decrypt_empty_ms"], d["info_ms"], d["per_operation_ms"])
            + ("; cipher_bench BM_Digest %.1f ms per call (x2 = %.1f ms)."
               % (d["genhash_ms"], 2 * d["genhash_ms"]) if "genhash_ms" in d else "."))
        add("")

    if bench.memory:
        add("| Peak memory, kva, id 3 | Size | Max RSS (KiB) | vs %d MiB |" % (small // MIB))
        add("|---|---:|---:|---:|")
        ok = True
        for operation in ("encrypt", "decrypt"):
            base = max(r.maxrss for r in bench.samples[(3, operation, "kva", small)])
            add("| %s | %d MiB | %d | |" % (operation, small // MIB, base))
            for op, size, result in bench.memory:
                if op == operation:
                    delta = result.maxrss - base
                    ok = ok and delta <= MEMORY_SLACK_KIB
                    add("| %s | %d MiB | %d | %+d KiB |"
                        % (operation, size // MIB, result.maxrss, delta))
        add("")
        add("- memory: the %d MiB runs stay within %d KiB of the %d MiB runs: %s"
            % (bench.memory[0][1] // MIB, MEMORY_SLACK_KIB, small // MIB, "yes" if ok else "NO"))
    return "\n".join(lines)


def details(bench, ids, sizes):
    """Per-run figures, for judging the noise behind the medians."""
    out = ["", "Per-run wall seconds:"]
    for identifier in ids:
        for operation in ("encrypt", "decrypt"):
            for tool in ("kva", "openssl"):
                for size in sizes:
                    runs = bench.samples[(identifier, operation, tool, size)]
                    out.append("  id %d %-7s %-7s %4d MiB: %s" % (
                        identifier, operation, tool, size // MIB,
                        " ".join("%.3f" % r.wall for r in runs)))
            marginals = {}
            for tool in ("kva", "openssl"):
                small = bench.samples[(identifier, operation, tool, sizes[0])]
                large = bench.samples[(identifier, operation, tool, sizes[-1])]
                marginals[tool] = [b.wall - a.wall for a, b in zip(small, large)]
            paired = [k / o for k, o in zip(marginals["kva"], marginals["openssl"]) if o > 0]
            if paired:
                out.append("  id %d %-7s ratio of per-run marginals: median %.2f (%s)" % (
                    identifier, operation, median(paired), " ".join("%.2f" % p for p in paired)))
    return "\n".join(out)


# ------------------------------------------------------------------------ main

def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--kva", default=os.path.join(REPO, "build", "bin", "kva"))
    parser.add_argument("--openssl", default="openssl")
    parser.add_argument("--runs", type=int, default=9, help="runs per size for ids 1 and 3")
    parser.add_argument("--des-runs", type=int, default=3, help="runs per size for id 2")
    parser.add_argument("--sizes", default="64,256",
                        help="comma-separated MiB; the marginal cost is largest - smallest")
    parser.add_argument("--ids", default="3,1,2", help="cipher identifiers, in order")
    parser.add_argument("--memory-size", type=int, default=1024,
                        help="MiB for the peak-memory runs of id 3 (0: skip)")
    parser.add_argument("--memory-runs", type=int, default=1)
    parser.add_argument("--digest-runs", type=int, default=10)
    parser.add_argument("--scratch-parent", default=os.path.join(REPO, "build"),
                        help="a fresh folder is made (and removed) inside it")
    parser.add_argument("--quick", action="store_true",
                        help="smoke run: 4 and 16 MiB, 2 runs, 64 MiB memory run")
    args = parser.parse_args()
    if args.quick:
        args.sizes, args.runs, args.des_runs = "4,16", 2, 1
        args.memory_size, args.digest_runs = 64, 4

    sizes = sorted({int(s) * MIB for s in args.sizes.split(",")})
    ids = [int(i) for i in args.ids.split(",")]
    if len(sizes) < 2 or any(i not in CIPHERS for i in ids):
        parser.error("need two sizes or more and identifiers among 1, 2, 3")
    if 3 not in ids:
        args.memory_size = 0
    args.kva = os.path.abspath(args.kva)
    if not os.access(args.kva, os.X_OK):
        parser.error("no kva at %s (build first)" % args.kva)

    os.makedirs(args.scratch_parent, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="container-bench-", dir=args.scratch_parent)
    bench = None
    try:
        bench = Bench(args, scratch)
        bench.runs_done = {}
        log("scratch: %s" % scratch)
        for size in sizes:
            random_file(bench.source(size), size)
        log("digest")
        bench.digest_runs(args.digest_runs)
        for identifier in ids:
            runs = args.des_runs if identifier == 2 else args.runs
            bench.runs_done[identifier] = runs
            log("id %d (%s), %d runs" % (identifier, CIPHERS[identifier]["name"], runs))
            bench.cipher_runs(identifier, runs, sizes)
        if args.memory_size:
            size = args.memory_size * MIB
            if size not in sizes:
                random_file(bench.source(size), size)
            bench.memory_runs(size, args.memory_runs)
        bench.floor_kib = bench.run(["true"]).maxrss
        print(report(bench, ids, sizes, machine_note(scratch, args.openssl)))
        print(details(bench, ids, sizes))
    finally:
        if bench is not None:
            bench.launcher.close()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
