#!/usr/bin/env bash
# Plants each fault of scripts/faults.txt, one at a time, into a private clone of the repository's
# HEAD and runs the whole test suite, to see which faults the tests catch. The work tree this script
# lives in is never touched. Reruns reuse the clone and its build, so only the changes rebuild.
#
#   scripts/fault-check.sh [fault-name...]      (no names: every fault)
#
# FAULT_CHECK_DIR chooses the private folder (default /tmp/wirelark-fault-check).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
faults="$root/scripts/faults.txt"
work="${FAULT_CHECK_DIR:-/tmp/wirelark-fault-check}"
clone="$work/src"
build="$clone/build"
logs="$work/logs"
export QT_QPA_PLATFORM=offscreen
export CCACHE_BASEDIR="$clone"

# fault_tool list | fault_tool apply NAME: reads the fault file; apply edits the clone and prints
# the changed file, or fails when the text to find is not there exactly once.
fault_tool() {
    python3 - "$faults" "$clone" "$@" <<'PY'
import sys
faults_path, clone, command = sys.argv[1], sys.argv[2], sys.argv[3]
faults, current = [], {}
for line in open(faults_path, encoding="utf-8").read().splitlines() + [""]:
    if line.startswith("#"):
        continue
    if not line.strip():
        if current:
            faults.append(current)
        current = {}
        continue
    key, _, value = line.partition(": ")
    current[key] = value.replace("\\n", "\n")
for fault in faults:
    missing = {"name", "file", "find", "replace"} - fault.keys()
    if missing:
        sys.exit(f"faults.txt: a block lacks {', '.join(sorted(missing))}: {fault}")
if command == "list":
    print("\n".join(f["name"] for f in faults))
    sys.exit(0)
if command == "check":
    problems = []
    for f in faults:
        count = open(f"{clone}/{f['file']}", encoding="utf-8").read().count(f["find"])
        if count != 1:
            problems.append(f"{f['name']}: the text to find occurs {count} times in {f['file']}")
    sys.exit("\n".join(problems) or None)
fault = next((f for f in faults if f["name"] == sys.argv[4]), None)
if fault is None:
    sys.exit(f"no fault named {sys.argv[4]}")
path = f"{clone}/{fault['file']}"
text = open(path, encoding="utf-8").read()
count = text.count(fault["find"])
if count != 1:
    sys.exit(f"{fault['file']}: the text to find occurs {count} times")
open(path, "w", encoding="utf-8").write(text.replace(fault["find"], fault["replace"]))
print(fault["file"])
PY
}

mkdir -p "$work" "$logs"
head="$(git -C "$root" rev-parse HEAD)"
if [ -d "$clone/.git" ]; then
    git -C "$clone" fetch -q "$root" "$head"
    git -C "$clone" reset -q --hard "$head"
else
    git clone -q --no-checkout "$root" "$clone"
    git -C "$clone" checkout -q --detach "$head"
fi

# A fault whose text has moved would otherwise test nothing; say so before the long build.
fault_tool check

cmake -S "$clone" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWIRELARK_BUILD_BENCH=OFF \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >"$logs/configure.log"
echo "building $head in $build"
if ! cmake --build "$build" -j 2 >"$logs/build.log" 2>&1; then
    echo "the unchanged HEAD does not build; see $logs/build.log" >&2
    exit 1
fi
run_tests() {
    ctest --test-dir "$build" -j 2 --timeout 120 --stop-on-failure --output-on-failure >"$1" 2>&1
}
if ! run_tests "$logs/baseline.log"; then
    echo "the unchanged HEAD fails its tests; see $logs/baseline.log" >&2
    exit 1
fi

if [ $# -gt 0 ]; then
    names=("$@")
else
    mapfile -t names < <(fault_tool list)
fi
total=0 caught=0 missed=0 broken=0
for name in "${names[@]}"; do
    total=$((total + 1))
    log="$logs/$name.log"
    file="$(fault_tool apply "$name")"
    if ! cmake --build "$build" -j 2 >"$log" 2>&1; then
        result="did not compile"
        broken=$((broken + 1))
    elif ! run_tests "$log"; then
        failed="$(grep -m1 -oE '[0-9]+ - [^ ]+ \(' "$log" | sed 's/^[0-9]* - //; s/ ($//' || true)"
        result="caught${failed:+ by $failed}"
        caught=$((caught + 1))
    else
        result="missed"
        missed=$((missed + 1))
    fi
    git -C "$clone" checkout -q -- "$file"
    printf '%-45s %s\n' "$name" "$result"
done
# The clone is left as HEAD built it, so that a rerun starts from there.
cmake --build "$build" -j 2 >"$logs/restore.log" 2>&1 || true
echo "faults: $total, caught $caught, missed $missed, did not compile $broken"
