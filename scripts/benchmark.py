#!/usr/bin/env python3
"""Measures setup.exe under wine64 against what the platform itself can do, and prints it.

    scripts/benchmark.py [--runs N] [--output docs/benchmark.txt]

Every figure is the median of several runs, each comparison a ratio of figures taken in the
same run of this script:
- installations of 1,000 files of 4 KiB and of 3 files of 100 MiB, from the OK press to the
  success box, against a program that only calls CopyFileA over the same list (the
  platform's limit) and against Wine's own xcopy of the same files;
- time per entry at 100, 1,000 and 4,000 entries;
- start to the confirmation box, against a program that only shows a message box;
- the size of the shipped program, build/win32/setup.exe.
It builds what it needs, and works in build/bench (removed again at the end, but for the
prefix). It is a measurement, not a test: it fails only when a run fails.
"""
import argparse
import datetime
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = ROOT / "build/win64"
WORK = ROOT / "build/bench"
PREFIX = WORK / "wineprefix"
HOST = WORK / "host"
PROGRAM_EXE = "benchhost.exe"
FIRM = "Bench Firm"
PRODUCT = "Zorvane"


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def wine(*args, capture=True):
    command = [str(ROOT / "scripts/wine-run.sh"), "--prefix", str(PREFIX), *map(str, args)]
    result = subprocess.run(command, capture_output=capture, text=True, check=False)
    if result.returncode != 0:
        sys.exit(f"benchmark: {' '.join(map(str, args))} failed:\n{result.stdout}{result.stderr}")
    return result.stdout


def build():
    for preset in ("win64", "win32"):
        subprocess.run(["cmake", "--preset", preset], cwd=ROOT, check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", "--preset", preset], cwd=ROOT, check=True,
                       stdout=subprocess.DEVNULL)


def install_host():
    (HOST / "addgames").mkdir(parents=True, exist_ok=True)
    (HOST / PROGRAM_EXE).write_bytes(b"MZ bench host")
    app_paths = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + PROGRAM_EXE
    wine("reg", "add", app_paths, "/v", "Path", "/d", windows_path(HOST), "/f")
    wine("reg", "add", f"HKLM\\Software\\{FIRM}\\{PRODUCT}", "/v", "version", "/d", "150", "/f")


def make_addon(name, count, size):
    """An add-on folder with count files of size bytes and its setup.isc."""
    folder = WORK / "addons" / name
    if folder.exists():
        return folder
    folder.mkdir(parents=True)
    lines = ["[COMMON]", f"ProductName={PRODUCT}", "Version=150", f"ProgramExe={PROGRAM_EXE}",
             f"FirmName={FIRM}", "[FILES]"]
    block = os.urandom(min(size, 1 << 20))
    for index in range(count):
        file_name = f"f{index:05d}.bin"
        with open(folder / file_name, "wb") as file:
            for _ in range(size // len(block)):
                file.write(block)
            file.write(block[:size % len(block)])
        lines.append(f"{file_name}=addgames\\Quintaro\\{file_name}")
    (folder / "setup.isc").write_text("\r\n".join(lines) + "\r\n")
    return folder


def clean_destination():
    shutil.rmtree(HOST / "addgames/Quintaro", ignore_errors=True)


def drive(program, folder):
    """Milliseconds at which each box appeared since the start, and the exit code."""
    output = wine(BUILD / "tests/bench_drive.exe", program, folder)
    boxes = [float(line.split()[2]) for line in output.splitlines() if line.startswith("box ")]
    exit_code = int(next(line.split()[1] for line in output.splitlines()
                         if line.startswith("exit ")))
    return boxes, exit_code


def setup_install_ms(folder):
    clean_destination()
    boxes, exit_code = drive(BUILD / "setup.exe", folder)
    if exit_code != 0 or len(boxes) != 2:
        sys.exit(f"benchmark: setup.exe in {folder}: exit {exit_code}, {len(boxes)} boxes")
    return boxes[1] - boxes[0]


def copy_only_ms(folder):
    clean_destination()
    (HOST / "addgames/Quintaro").mkdir()
    files = sorted(p.name for p in folder.glob("*.bin"))
    listing = WORK / "copy-list.txt"
    listing.write_text("".join(
        f"{windows_path(folder / name)}|{windows_path(HOST / 'addgames/Quintaro' / name)}\n"
        for name in files))
    return float(wine(BUILD / "tests/copy_only.exe", listing).strip())


def xcopy_ms(folder):
    clean_destination()
    start = time.perf_counter()
    wine("xcopy", "/Y", "/Q", "/I", windows_path(folder) + "\\*.bin",
         windows_path(HOST / "addgames/Quintaro"))
    return (time.perf_counter() - start) * 1000


def median_of(runs, measure, *args):
    return statistics.median(measure(*args) for _ in range(runs))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5, help="runs per figure (default 5)")
    parser.add_argument("--output", type=pathlib.Path, help="also write the report here")
    options = parser.parse_args()
    runs = options.runs

    build()
    shutil.rmtree(WORK / "addons", ignore_errors=True)
    shutil.rmtree(HOST, ignore_errors=True)
    wine(BUILD / "tests/prefix_warmup.exe")
    install_host()

    lines = []

    def report(line=""):
        print(line, flush=True)
        lines.append(line)

    wine_version = subprocess.run(["/usr/lib/wine/wine64", "--version"], capture_output=True,
                                  text=True, check=False).stdout.strip()
    report(f"setup.exe benchmark, {datetime.date.today().isoformat()}, {wine_version} (wine64), "
           f"{os.cpu_count()} cores; median of {runs} runs each")
    report()
    report("Installation, from the OK press to the success box:")
    report(f"  {'':24}{'setup.exe':>12}{'CopyFileA only':>16}{'xcopy':>12}"
           f"{'setup/CopyFileA':>17}{'setup/xcopy':>13}")
    for label, count, size in (("1,000 files of 4 KiB", 1000, 4096),
                               ("3 files of 100 MiB", 3, 100 << 20)):
        folder = make_addon(f"{count}x{size}", count, size)
        setup = median_of(runs, setup_install_ms, folder)
        copy = median_of(runs, copy_only_ms, folder)
        xcopy = median_of(runs, xcopy_ms, folder)
        report(f"  {label:24}{setup:>10.0f}ms{copy:>14.0f}ms{xcopy:>10.0f}ms"
               f"{setup / copy:>17.2f}{setup / xcopy:>13.2f}")
        shutil.rmtree(folder)
    report("  (xcopy's time includes starting it: about the time of one program start.)")
    report()

    report("Time per entry (files of 4 KiB):")
    report(f"  {'entries':>8}{'setup.exe':>12}{'per entry':>12}{'CopyFileA only':>16}"
           f"{'per entry':>12}")
    for count in (100, 1000, 4000):
        folder = make_addon(f"scale{count}", count, 4096)
        setup = median_of(runs, setup_install_ms, folder)
        copy = median_of(runs, copy_only_ms, folder)
        report(f"  {count:>8}{setup:>10.0f}ms{setup / count:>10.2f}ms{copy:>14.0f}ms"
               f"{copy / count:>10.2f}ms")
        shutil.rmtree(folder)
    report()

    empty = make_addon("empty", 0, 0)
    setup_start = median_of(runs, lambda: drive(BUILD / "setup.exe", empty)[0][0])
    box_start = median_of(runs, lambda: drive(BUILD / "tests/box_only.exe", empty)[0][0])
    report("Start to the first box:")
    report(f"  setup.exe {setup_start:.0f} ms, a program that only shows a box {box_start:.0f} "
           f"ms: ratio {setup_start / box_start:.2f}")
    report()

    size = (ROOT / "build/win32/setup.exe").stat().st_size
    report(f"Size of build/win32/setup.exe: {size:,} bytes ({size / 1024:.1f} KiB)")

    clean_destination()
    shutil.rmtree(WORK / "addons", ignore_errors=True)
    subprocess.run(["/usr/lib/wine/wineserver", "-w"], env={**os.environ, "WINEPREFIX": str(PREFIX)})
    if options.output:
        options.output.write_text("\n".join(lines) + "\n")
        print(f"\nwritten to {options.output}")


if __name__ == "__main__":
    main()
