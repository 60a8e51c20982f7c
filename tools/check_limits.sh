#!/usr/bin/env bash
# Runs quarnel (headless, answers on standard input) and bytediff on every
# file of the fuzz corpora and on the generated samples, each run under
# /usr/bin/time, and reports the largest memory and time. Fails when a run
# takes more than 1 GiB, more than 10 seconds, crashes or does not end.
#
#   tools/check_limits.sh [BUILD] [CORPUS]
#
# BUILD holds quarnel, bytediff and the sample makers (default build);
# CORPUS holds one folder of inputs per fuzz target (default
# build-fuzz/corpus, written by tools/make_fuzz_seeds.sh when missing).
# QUARNEL_LIMIT_FILES caps the files taken per target (default: all);
# QUARNEL_LIMIT_VERBOSE=1 prints the figures of every run, not only of the
# samples and the largest inputs.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
corpus=${2:-$here/build-fuzz/corpus}
[ -x "$build/quarnel" ] || { echo "no quarnel in '$build'" >&2; exit 2; }
build=$(cd "$build" && pwd)
mkdir -p "$(dirname "$corpus")"
corpus=$(cd "$(dirname "$corpus")" && pwd)/$(basename "$corpus")
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 2; }
if [ ! -d "$corpus" ]; then "$here/tools/make_fuzz_seeds.sh" "$corpus" "$build"; fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export SDL_VIDEODRIVER=dummy
unset DISPLAY WAYLAND_DISPLAY
python3 - "$build" "$corpus" "$scratch" "${QUARNEL_LIMIT_FILES:-0}" <<'PY'
import os, shutil, struct, subprocess, sys

build, corpus, scratch, cap = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
memory_limit_kb = 1024 * 1024
time_limit_s = 10.0
kill_after_s = 60

# The program is copied beside its setup.txt (it reads the file beside itself).
prog = os.path.join(scratch, "prog")
os.makedirs(prog)
quarnel = os.path.join(prog, "quarnel")
shutil.copy2(os.path.join(build, "quarnel"), quarnel)
bytediff = os.path.join(build, "bytediff")
game = os.path.join(scratch, "game")
samples = os.path.join(scratch, "samples")
subprocess.run([os.path.join(build, "make_sample_game"), game], check=True, stdout=subprocess.DEVNULL)
subprocess.run([os.path.join(build, "make_sample_archive"), samples], check=True, stdout=subprocess.DEVNULL)
with open(os.path.join(prog, "setup.txt"), "w") as f:
    f.write("DCpath=%s/\r\n" % game)
pristine = {}
for sub in ("sprites/REAP.SPR", "scenario/DESERT.BTS", "animate/REAP.FIN", "scenario/SAMPLE.MAP"):
    pristine[sub] = open(os.path.join(game, sub), "rb").read()

def restore_game():
    for sub, data in pristine.items():
        with open(os.path.join(game, sub), "wb") as f:
            f.write(data)

# A folder the builder can take: an extraction of the sample sprite set.
builder_template = os.path.join(scratch, "builder-template")
os.makedirs(builder_template)
shutil.copy2(os.path.join(samples, "SAMPLE.spr"), os.path.join(builder_template, "SAMPLE.spr"))
subprocess.run([quarnel, os.path.join(builder_template, "SAMPLE.spr")], input=b"t\npng\n",
               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
builder_template = os.path.join(builder_template, "SAMPLE")

runs, failures = [], []
worst = {"memory": (0, ""), "time": (0.0, ""), "cpu": (0.0, "")}

def measure(label, args, answers, cwd, time_counts=True):
    stats = os.path.join(scratch, "time.txt")
    command = ["/usr/bin/time", "-f", "%M %e %U %S", "-o", stats, "timeout", "-s", "KILL", str(kill_after_s)] + args
    done = subprocess.run(command, input=answers, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        fields = open(stats).read().split()[-4:]
        rss_kb, elapsed, user, system = int(fields[0]), float(fields[1]), float(fields[2]), float(fields[3])
    except (OSError, ValueError, IndexError):
        rss_kb, elapsed, user, system = 0, float(kill_after_s), 0.0, 0.0
    runs.append(label)
    if rss_kb > worst["memory"][0]: worst["memory"] = (rss_kb, label)
    if elapsed > worst["time"][0]: worst["time"] = (elapsed, label)
    if user + system > worst["cpu"][0]: worst["cpu"] = (user + system, label)
    if label.startswith(("extreme", "sample")) or os.environ.get("QUARNEL_LIMIT_VERBOSE"):
        print("%-48s %8.1f MiB %6.2f s elapsed %6.2f s CPU" % (label, rss_kb / 1024, elapsed, user + system), flush=True)
    problem = None
    if done.returncode != 0:
        problem = "ended with status %d" % done.returncode
    elif rss_kb > memory_limit_kb:
        problem = "took %d MiB" % (rss_kb // 1024)
    elif elapsed > time_limit_s and time_counts:
        problem = "took %.1f s" % elapsed
    elif elapsed > time_limit_s:
        print("   (over %.0f s: time grows with the pictures written, not held to the limit)" % time_limit_s)
    if problem:
        failures.append("%s: %s" % (label, problem))
        print("!! %s: %s" % (label, problem), flush=True)

def fresh(name):
    folder = os.path.join(scratch, "run")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder

def write(path, data):
    with open(path, "wb") as f:
        f.write(data)

def extract(label, data, extension, answers, extra=(), time_counts=True):
    folder = fresh(label)
    path = os.path.join(folder, "INPUT" + extension)
    write(path, data)
    measure(label, [quarnel, path] + list(extra), answers, folder, time_counts)

archive_extensions = [".spr", ".bts", ".trs", ".trc", ".trw", ".dat"]
def extract_kind(label, kind, data):
    extension = archive_extensions[kind]
    if extension == ".dat":
        numbers = data[:3] + bytes(3 - len(data[:3]))
        answers = ("png\n%d\n%d\n%d\n" % tuple(numbers)).encode()
        extract(label, data[3:], extension, answers, ["-r"])
    else:
        extract(label, data, extension, b"t\npng\n" if extension == ".spr" else b"png\n")

def view(label, map_bytes=None, answers=b"REAP\ndesert\n\x1b[C\x1b[Bq w 1 3 f d m\x1b"):
    folder = fresh(label)
    path = os.path.join(folder, "INPUT.map")
    write(path, map_bytes if map_bytes is not None else pristine["scenario/SAMPLE.MAP"])
    measure(label, [quarnel, path], answers, folder)
    restore_game()

def report(label, data, answer=b"BLOOD\n"):
    folder = fresh(label)
    path = os.path.join(folder, "INPUT.fin")
    write(path, data)
    measure(label, [quarnel, path], answer, folder)

def build_with(label, files):
    folder = fresh(label)
    target = os.path.join(folder, "SAMPLE")
    shutil.copytree(builder_template, target)
    for name, data in files.items():
        write(os.path.join(target, name), data)
    measure(label, [quarnel, os.path.join(target, "0001.png")], b"", folder)

def part(data, at):
    length = struct.unpack_from("<H", data, at)[0] if at + 2 <= len(data) else (data[at] if at < len(data) else 0)
    at = min(at + 2, len(data))
    return data[at:at + length], min(at + length, len(data))

def inputs(target):
    folder = os.path.join(corpus, target)
    if not os.path.isdir(folder):
        return []
    names = sorted(os.listdir(folder))
    if cap > 0:
        names = names[:cap]
    return [(os.path.join(target, n), open(os.path.join(folder, n), "rb").read()) for n in names
            if os.path.isfile(os.path.join(folder, n))]

previous = None
def compare(label, data):
    global previous
    folder = fresh(label)
    write(os.path.join(folder, "a"), data)
    write(os.path.join(folder, "b"), previous if previous is not None else data[::-1])
    previous = data
    measure("bytediff " + label, [bytediff], b"a\nb\nq", folder)

for label, data in inputs("archive_fuzz"):
    if data:
        extract_kind(label, data[0] % 6, data[1:])
    compare(label, data)
for label, data in inputs("extraction_picture_fuzz"):
    if data:
        extract_kind(label, (data[0] & 3) % 3, data[1:])
for label, data in inputs("run_length_fuzz"):
    if len(data) >= 2:
        # One run-length image of the stated size in a sprite set.
        head = bytes([0x81, 0]) + struct.pack("<HI", 1, len(data)) + bytes(768) + struct.pack("<HHHH", data[0], data[1], 0, 0)
        extract(label, head + struct.pack("<I", len(data) - 2) + data[2:], ".spr", b"n\npng\n")
for label, data in inputs("png_reader_fuzz"):
    build_with(label, {"0001.png": data})
    compare(label, data)
for label, data in inputs("bmp_fuzz"):
    build_with(label, {"palette.bmp": data})
    write(os.path.join(prog, "hostile.bmp"), data)
    extract(label + " as -p", open(os.path.join(samples, "SAMPLE.spr"), "rb").read(), ".spr", b"n\nbmp\n",
            ["-p", "hostile.bmp"])
for label, data in inputs("build_file_fuzz"):
    build_with(label, {"build.txt": data, "SAMPLE.txt": data})
for label, data in inputs("animation_description_fuzz"):
    report(label, data)
for label, data in inputs("animation_report_fuzz"):
    report(label, data[1:] if data else data, b"\n")
for label, data in inputs("map_grid_fuzz"):
    keys = data[0] if data else 0
    view(label, data[1 + 2 * keys:])
for label, data in inputs("viewer_pictures_fuzz"):
    if data:
        write(os.path.join(game, "scenario/DESERT.BTS" if data[0] & 1 else "sprites/REAP.SPR"), data[1:])
        view(label)
for label, data in inputs("unit_animation_set_fuzz"):
    if not data:
        continue
    at = 1
    unit, at = part(data, at)
    tiles, at = part(data, at)
    game_map, at = part(data, at)
    _, at = part(data, at)
    write(os.path.join(game, "sprites/REAP.SPR"), unit)
    write(os.path.join(game, "scenario/DESERT.BTS"), tiles)
    write(os.path.join(game, "animate/REAP.FIN"), data[at:])
    view(label, game_map)
for label, data in inputs("input_item_fuzz"):
    write(os.path.join(prog, "setup.txt"), data)
    extract(label + " as setup and answers", open(os.path.join(samples, "SAMPLE.spr"), "rb").read(), ".spr", data)
    with open(os.path.join(prog, "setup.txt"), "w") as f:
        f.write("DCpath=%s/\r\n" % game)

# The generated samples themselves, through every job.
for name in ("SAMPLE.spr", "TILES.bts"):
    data = open(os.path.join(samples, name), "rb").read()
    extract("sample " + name, data, name[-4:], b"t\npng\n" if name.endswith(".spr") else b"bmp\n")
    compare("sample " + name, data)
extract("sample REAP.SPR", pristine["sprites/REAP.SPR"], ".spr", b"t\npng\n")
extract("sample DESERT.BTS", pristine["scenario/DESERT.BTS"], ".bts", b"png\n")
report("sample REAP.FIN", pristine["animate/REAP.FIN"])
view("sample SAMPLE.MAP")
build_with("sample rebuild", {})

# The largest inputs each reader accepts (set QUARNEL_LIMIT_EXTREMES=0 to
# leave them out): a 8192 x 8192 PNG for the builder (256 MiB of pixels,
# the reader's cap) alone and ten times, a raw sprite set with one 4096 x 4096 picture
# (extraction's cap), a 4096 x 4096 map (the viewer's cap), a run-length
# sprite set whose single token stream fills two 4096 x 4096 pictures, the
# most pictures a sprite set can list, and a tile set of 4000 tiles (28000
# pictures over its seven passes). The memory limit holds for all of them;
# the time of the last two grows with the number of pictures written and is
# only shown.
if os.environ.get("QUARNEL_LIMIT_EXTREMES", "1") != "0":
    import zlib
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    side = 8192
    packer = zlib.compressobj(9)
    row = b"\x00" + b"\x10\x20\x30\xff" * side
    idat = b"".join(packer.compress(row) for _ in range(side)) + packer.flush()
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 6, 0, 0, 0)) +
           chunk(b"IDAT", idat) + chunk(b"IEND", b""))
    build_with("extreme 8192x8192 PNG for the builder", {"0001.png": png})
    # Ten such pictures (2.7 MB of PNG files) stored raw: the builder holds
    # the whole archive in memory, 64 MiB per picture.
    ten = {"%04d.png" % n: png for n in range(1, 11)}
    ten["build.txt"] = b"''build file\r\n0\r\n0\r\n0\r\n"
    build_with("extreme 10 x 8192x8192 PNG stored raw", ten)
    picture = bytes(range(256)) * (4096 * 4096 // 256)
    raw_set = (bytes([1, 0]) + struct.pack("<HI", 1, len(picture)) + bytes(768) +
               struct.pack("<HHHH", 4096, 4096, 0, 0) + picture)
    extract("extreme raw sprite set 4096x4096", raw_set, ".spr", b"n\npng\n")
    tokens = b"\x80" * (2 * 4096 * 4096 // 128)
    rle_set = (bytes([0x81, 0]) + struct.pack("<HI", 2, 0) + bytes(768) +
               struct.pack("<HHHH", 4096, 4096, 0, 0) * 2 + struct.pack("<I", len(tokens)) + tokens)
    extract("extreme run-length sprite set 2 x 4096x4096", rle_set, ".spr", b"t\npng\n")
    many = 65535
    many_set = (bytes([1, 0]) + struct.pack("<HI", many, many) + bytes(768) +
                struct.pack("<HHHH", 1, 1, 0, 0) * many + bytes(range(256)) * (many // 256) + bytes(many % 256))
    extract("extreme sprite set of 65535 one-pixel pictures", many_set, ".spr", b"n\npng\n", time_counts=False)
    tiles = 4000
    tile_set = struct.pack("<HHHH", 6000, 0, tiles, 0) + bytes(768) + b"".join(
        struct.pack("<I", t) + bytes([t & 0xFF]) * 1024 for t in range(tiles))
    extract("extreme tile set of 4000 tiles", tile_set, ".bts", b"png\n", time_counts=False)
    cells = 4096 * 4096
    big_map = struct.pack("<HHHH", 4096, 0, 4096, 0) + struct.pack("<HH", 3, 0) * cells + b"\x01\x01" * cells
    view("extreme 4096x4096 map", big_map)
    del picture, raw_set, tokens, rle_set, tile_set, big_map, png

print("runs: %d" % len(runs))
print("largest memory: %.1f MiB (%s)" % (worst["memory"][0] / 1024, worst["memory"][1]))
print("longest time: %.2f s elapsed (%s)" % worst["time"])
print("most CPU: %.2f s user+system (%s)" % worst["cpu"])
if failures:
    print("%d runs over the limits (1 GiB, 10 s) or not ending cleanly:" % len(failures))
    for line in failures:
        print("  " + line)
    sys.exit(1)
print("every run within 1 GiB and 10 s")
PY
