#!/bin/sh
# Fuzzes the data layer with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer, one process on one core.
#
#   tools/fuzz_data.sh filter|sqlite|jet [SECONDS] [WORK_FOLDER]
#
#   filter  the filter language and the sort field names (tests/fuzz/filter_fuzz.cpp)
#   sqlite  the SQLite store's open, read, filter and sort (tests/fuzz/sqlite_open_fuzz.cpp)
#   jet     the Access store's open and read (tests/fuzz/jet_open_fuzz.cpp)
#
# Starts from the committed corpus (tests/fuzz/corpus) and grows its own in
# WORK_FOLDER/<target>/corpus (default build-fuzz/fuzz); a failing input is
# left there as crash-*, timeout-*, leak-* or oom-*. The fuzzing build is
# configured in build-fuzz when missing. Needs clang (tools/bootstrap.sh --fuzz).
#
# The store targets run without the per-input leak check, which would take
# most of the time; the grown corpus is replayed once with it at the end.
set -e
target=${1:?usage: tools/fuzz_data.sh filter|sqlite|jet [SECONDS] [WORK_FOLDER]}
seconds=${2:-300}
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build-fuzz
case $target in
filter)
    binary=filter_fuzz
    seeds=$here/tests/fuzz/corpus/filter
    options="-dict=$here/tests/fuzz/filter.dict -max_len=2048"
    ;;
sqlite)
    binary=sqlite_open_fuzz
    seeds=$here/tests/fuzz/corpus/sqlite
    options="-max_len=65536 -detect_leaks=0"
    ;;
jet)
    binary=jet_open_fuzz
    seeds=$here/tests/data/jet
    options="-max_len=1000000 -detect_leaks=0"
    ;;
*)
    echo "unknown target: $target (filter, sqlite or jet)" >&2
    exit 2
    ;;
esac
work=${3:-$build/fuzz}/$target
mkdir -p "$work/corpus"

[ -f "$build/build.ninja" ] || cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DSARWINO_FUZZ=ON
cmake --build "$build" --target "$binary"

cd "$work"
# shellcheck disable=SC2086 # options are several words
"$build/tests/$binary" $options -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 corpus "$seeds"
if [ "$target" != filter ]; then
    echo "Replaying the corpus with the leak check on"
    "$build/tests/$binary" -runs=0 -max_len=1000000 -detect_leaks=1 -timeout=10 -rss_limit_mb=2048 corpus
fi
