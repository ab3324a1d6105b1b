#!/bin/sh
# Fuzzes the JPEG decoder (src/ui/widgets/JpegDecoder) with libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer, starting from the program's
# own JPEG pictures. Needs clang (apt-get install clang).
#
#   tools/fuzz_jpeg.sh [SECONDS] [WORK_FOLDER]
#
# Crashing inputs are left in WORK_FOLDER as crash-*; the grown corpus in
# WORK_FOLDER/corpus.
set -e
seconds=${1:-300}
here=$(cd "$(dirname "$0")/.." && pwd)
work=${2:-$here/build/fuzz}
mkdir -p "$work/corpus"
cp "$here"/src/assets/pictures/*.jpg "$work/corpus/"
clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$here/src" $(pkg-config --cflags Qt6Gui) \
    "$here/tests/fuzz/jpeg_fuzzer.cpp" "$here/src/ui/widgets/JpegDecoder.cpp" \
    $(pkg-config --libs Qt6Gui) -ljpeg -o "$work/jpeg_fuzzer"
cd "$work"
./jpeg_fuzzer -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -max_len=65536 \
    -print_final_stats=1 corpus
