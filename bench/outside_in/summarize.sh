#!/bin/bash
# Turns the raw records of an outside-in benchmark run (OUT/raw/PROGRAM-KIND-RUN.tsv,
# written by redraw_probe) into the figures: prints a table of both programs
# side by side and writes OUT/results.csv, OUT/results.json and
# OUT/keys.csv (every keystroke of every run); when the pointer probe ran,
# also its table and OUT/hover.csv (every move of every run).
#
#   bench/outside_in/summarize.sh OUT RUNS RECORDS [NAME=VALUE ...]
#
# NAME=VALUE pairs are noted in the JSON as facts of the run (commit, load).
set -u
OUT=${1:?usage: summarize.sh OUT RUNS RECORDS [NAME=VALUE ...]}
RUNS=${2:?}
RECORDS=${3:?}
shift 3
export LC_ALL=C

# One line per value: program, metric, value (NA when it did not happen),
# then the key lines for keys.csv.
collect() {
    local f base prog kind run
    for f in "$OUT"/raw/*.tsv; do
        [ -e "$f" ] || continue
        base=$(basename "$f" .tsv)
        prog=${base%%-*}
        run=${base##*-}
        kind=${base#"$prog"-}
        kind=${kind%-"$run"}
        awk -F'\t' -v prog="$prog" -v kind="$kind" -v run="$run" '
            function add(metric, v) { print prog "\t" metric "\t" v }
            function sum(a, b) { return (a == "NA" || b == "NA") ? "NA" : a + b }
            $1 == "dialog" { add("dialogs", 1) }
            $1 == "error" { add("failures", 1) }
            kind == "keys" && $1 == "start" {
                add("start_window_ms", $2); add("start_first_rows_ms", $5); add("start_final_ms", $6)
            }
            kind == "keys" && $1 == "key" {
                add("keys_last_ms", $8); add("keys_final_ms", $7)
                if ($3 != "BackSpace" && $5 == 1) add("keys_one_letter_last_ms", $8)
                if ($4 == "-") add("keys_emptying_last_ms", $8)
                if ($8 == "NA") add("keys_without_redraw", 1)
                print "KEY\t" prog "\t" run "\t" $2 "\t" $3 "\t" $4 "\t" $6 "\t" $7 "\t" $8 "\t" $9 "\t" $10
            }
            $1 == "action" && $8 != "NA" && $8 < 300 { print "EMPTY\t" prog ": run " run ": the " kind " at once ended on an empty grid" }
            kind == "search" && $1 == "action" { add("search_total_ms", sum($3, $5)); add("search_key_ms", $5); print "HASH\t" prog "\t" run "\tsearch\t" $7 }
            kind == "keys" && $1 == "key" && $2 == 1 { print "HASH\t" prog "\t" run "\tkey1\t" $9; add("key1_last_ms", $8) }
            kind == "keys" && $1 == "memory" && $2 == "end" { add("rss_keys_mib", $3) }
            $1 == "memory" && $2 == "end" { add("hwm_mib", $4) }
            kind == "sortsettled" && $1 == "memory" && $2 == "settled" { add("rss_settled_mib", $3); add("hwm_settled_mib", $4) }
            kind == "sort" && $1 == "action" { add("sort_total_ms", sum($3, $5)); add("sort_click_ms", $5); add("sort_click_last_ms", $6) }
            kind == "sort02" && $1 == "action" { add("sort02_sent_ms", $3); add("sort02_click_ms", $5); add("sort02_total_ms", sum($3, $5)) }
            kind ~ /^sortread/ && $1 == "action" { add("read_done_ms", $3) }
            kind == "sortread" && $1 == "action" { add("sortread_click_ms", $5); add("sortread_click_last_ms", $6) }
            kind == "sortreadaddr" && $1 == "action" { add("sortreadaddr_click_ms", $5); add("sortreadaddr_click_last_ms", $6) }
            kind == "sortsettled" && $1 == "action" { add("sortsettled_click_ms", $5) }
            $1 == "hover" { print "HOVER\t" prog "\t" kind "\t" run "\t" $2 "\t" $3 "\t" $4 "\t" $5 "\t" $6 "\t" $7 }
        ' "$f"
    done
}

DATA=$(collect)
HOVER=$(grep '^HOVER' <<<"$DATA" | cut -f2-)
DATA=$(grep -v '^HOVER' <<<"$DATA")

# keys.csv: every keystroke, for a closer look at the slow ones.
{
    echo "program,run,n,key,text,first_ms,final_ms,last_ms,hash,dark_pixels"
    grep '^KEY' <<<"$DATA" | cut -f2- | tr '\t' ','
} >"$OUT/keys.csv"

# Every key of the series has records to show (both programs find some for
# each text), so a key or an early action that ended on an empty grid was
# cut short. The program's own window has a fixed layout, so there the same
# text must also end on the same picture in every run, and the search typed
# at once on the same picture as the first key of the series. (DB4S sizes its
# columns differently from one start to the next: its pictures differ.)
CHECKS=$(
    grep '^EMPTY' <<<"$DATA" | cut -f2-
    grep '^KEY' <<<"$DATA" | awk -F'\t' '$11 != "NA" && $11 < 300 { bad[$2]++ }
        END { for (p in bad) print p ": " bad[p] " keystroke(s) ended on an empty grid" }'
    grep '^KEY' <<<"$DATA" | awk -F'\t' '$2 == "sarwino" { k = $4; if (k in h && h[k] != $10) bad++; h[k] = $10 }
        END { if (bad) print "sarwino: " bad " keystroke(s) ended on another picture than in an earlier run" }'
    grep '^HASH' <<<"$DATA" | awk -F'\t' '$2 == "sarwino" { h[$3 "\t" $4] = $5; runs[$3] }
        END { for (r in runs) if ((r "\tsearch") in h && (r "\tkey1") in h && h[r "\tsearch"] != h[r "\tkey1"]) \
                print "sarwino: run " r ": the search typed at once ended on another picture than the same key typed later" }'
)

grep -v '^KEY\|^HASH\|^EMPTY' <<<"$DATA" | awk -F'\t' -v out="$OUT" -v runs="$RUNS" -v records="$RECORDS" -v checks="$CHECKS" -v facts="$*" '
# A label padded to a width in characters (awk counts bytes; a Cyrillic
# letter is two).
function pad(s, w,    t, n) { t = s; n = gsub(/[\200-\277]/, "", t); return sprintf("%-" (w + n) "s", s) }
function sortv(a, n,    i, j, t) { for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t } }
function median(a, n) { return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
function rank(a, n, p,    k) { k = int(p * n + 0.999999); if (k < 1) k = 1; return a[k] }
function stat(prog, metric, what,    a, n, i, s) {
    n = 0
    for (i = 1; i <= count[prog, metric]; i++) if (val[prog, metric, i] != "NA") a[++n] = val[prog, metric, i] + 0
    if (what == "count") return count[prog, metric] + 0
    if (what == "n") return n
    if (what == "na") return count[prog, metric] - n
    if (n == 0) return "NA"
    sortv(a, n)
    if (what == "median") return median(a, n)
    if (what == "p95") return rank(a, n, 0.95)
    if (what == "min") return a[1]
    if (what == "max") return a[n]
}
function fmt(v) { return v == "NA" ? "-" : sprintf("%.0f", v) }
function row(label, metric, what,    p, line) {
    line = pad(label, 44)
    for (p = 1; p <= np; p++) line = line sprintf(" %14s", what == "count" ? stat(prog[p], metric, "count") : fmt(stat(prog[p], metric, what)))
    print line
    for (p = 1; p <= np; p++) {
        if (what == "count") { v = stat(prog[p], metric, "count") } else { v = stat(prog[p], metric, what) }
        printf "%s,%s,%s,%s,%d\n", metric, prog[p], what, v, stat(prog[p], metric, "n") >> csv
        json = json (json == "" ? "" : ",\n") sprintf("    {\"metric\": \"%s\", \"program\": \"%s\", \"stat\": \"%s\", \"value\": %s, \"n\": %d}", metric, prog[p], what, v == "NA" ? "null" : v, stat(prog[p], metric, "n"))
    }
}
{ if (!(($1) in seen)) { seen[$1]; }
  count[$1, $2]++; val[$1, $2, count[$1, $2]] = $3 }
END {
    np = 0
    if ("sarwino" in seen) prog[++np] = "sarwino"
    if ("db4s" in seen) prog[++np] = "db4s"
    csv = out "/results.csv"
    printf "" > csv
    print "metric,program,stat,value_ms,n" >> csv
    json = ""
    printf "Outside-in benchmark: %d records, %d run(s); times in ms; start-up, search and sort are medians of the runs,\n", records, runs
    printf "keys are pooled over all runs (each timed from the key press to the last redraw of the grid before %s).\n\n", "a quiet spell"
    head = sprintf("%-44s", "")
    for (p = 1; p <= np; p++) head = head sprintf(" %14s", prog[p] == "db4s" ? "DB4S" : "Sarwino")
    print head
    row("start: window shown", "start_window_ms", "median")
    row("start: first rows in the grid", "start_first_rows_ms", "median")
    row("start: grid in its final state", "start_final_ms", "median")
    row("search \"А\" typed at once: start to answer", "search_total_ms", "median")
    row("  the key alone to the answer", "search_key_ms", "median")
    row("sort \"адрес\" clicked at once: start to sorted", "sort_total_ms", "median")
    row("  the click alone to the sorted grid", "sort_click_ms", "median")
    row("  the click to the last redraw", "sort_click_last_ms", "median")
    row("\"Телефон\" clicked at 0.2 s: click sent", "sort02_sent_ms", "median")
    row("  the click to the sorted grid", "sort02_click_ms", "median")
    row("  start to the sorted grid", "sort02_total_ms", "median")
    row("file read to its last row (read lock let go)", "read_done_ms", "median")
    row("\"Телефон\" clicked then: to the sorted grid", "sortread_click_ms", "median")
    row("  the click to the last redraw", "sortread_click_last_ms", "median")
    row("\"адрес\" clicked then: to the sorted grid", "sortreadaddr_click_ms", "median")
    row("  the click to the last redraw", "sortreadaddr_click_last_ms", "median")
    row("\"Телефон\" clicked once settled: to sorted", "sortsettled_click_ms", "median")
    row("keys: last redraw, median", "keys_last_ms", "median")
    row("keys: last redraw, 95th percentile", "keys_last_ms", "p95")
    row("keys: last redraw, max", "keys_last_ms", "max")
    row("first key of the session: last redraw", "key1_last_ms", "median")
    row("keys: grid final, median", "keys_final_ms", "median")
    row("keys: grid final, 95th percentile", "keys_final_ms", "p95")
    row("keys: grid final, max", "keys_final_ms", "max")
    row("one-letter prefixes: last redraw, median", "keys_one_letter_last_ms", "median")
    row("one-letter prefixes: last redraw, max", "keys_one_letter_last_ms", "max")
    row("emptying the box: last redraw, median", "keys_emptying_last_ms", "median")
    row("emptying the box: last redraw, max", "keys_emptying_last_ms", "max")
    row("memory (MiB): resident once settled", "rss_settled_mib", "median")
    row("  highest resident until then", "hwm_settled_mib", "median")
    row("  resident after the keys", "rss_keys_mib", "median")
    row("  highest resident of any start", "hwm_mib", "max")
    row("keystrokes timed", "keys_last_ms", "count")
    row("keystrokes with no redraw", "keys_without_redraw", "count")
    row("questions answered (DB4S: \"currently busy\")", "dialogs", "count")
    row("program starts that failed", "failures", "count")
    if (checks != "") { print ""; print "Checks that failed:"; print checks }
    jf = out "/results.json"
    printf "{\n  \"records\": %d,\n  \"runs\": %d,\n  \"facts\": {", records, runs > jf
    nf = split(facts, fa, " ")
    first = 1
    for (i = 1; i <= nf; i++) {
        eq = index(fa[i], "=")
        if (eq == 0) continue
        # load figures hold spaces and arrive split; glue them back.
        key = substr(fa[i], 1, eq - 1); value = substr(fa[i], eq + 1)
        while (i < nf && index(fa[i + 1], "=") == 0) value = value " " fa[++i]
        gsub(/"/, "", value)
        printf "%s\n    \"%s\": \"%s\"", first ? "" : ",", key, value >> jf
        first = 0
    }
    printf "\n  },\n  \"checks_failed\": %d,\n  \"figures\": [\n%s\n  ]\n}\n", checks == "" ? 0 : split(checks, ca, "\n"), json >> jf
    close(jf)
    print ""
    print "Written: " out "/results.csv, " out "/results.json, " out "/keys.csv; pictures in " out "/shots"
    exit checks == "" ? 0 : 3
}'
STATUS=$?
[ -n "$HOVER" ] || exit $STATUS

# The pointer probe: every move onto or off the label, and per part of each
# kind of start, how soon the window answered. A move never answered counts
# with the time it was watched.
{
    echo "program,kind,run,phase,n,target,sent_ms,answer_ms,waited_ms"
    tr '\t' ',' <<<"$HOVER"
} >"$OUT/hover.csv"
echo
awk -F'\t' -v csv="$OUT/results.csv" '
# A label padded to a width in characters (awk counts bytes; a Cyrillic
# letter is two).
function pad(s, w,    t, n) { t = s; n = gsub(/[\200-\277]/, "", t); return sprintf("%-" (w + n) "s", s) }
function sortv(a, n,    i, j, t) { for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t } }
function rank(a, n, p,    k) { k = int(p * n + 0.999999); if (k < 1) k = 1; return a[k] }
function line(label, key,    a, n, i, late, v) {
    n = 0; late = 0
    for (i = 1; i <= cnt[key]; i++) { v = w[key, i] + 0; a[++n] = v; if (v > 50) late++ }
    if (n == 0) return
    sortv(a, n)
    printf "%s %6d %7.0f %7.0f %7.0f %6d %6d\n", pad(label, 48), n, rank(a, n, 0.5), rank(a, n, 0.95), a[n], late, na[key] + 0
    printf "hover_%s,%s,median,%s,%d\nhover_%s,%s,p95,%s,%d\nhover_%s,%s,max,%s,%d\n", key, prog, rank(a, n, 0.5), n, key, prog, rank(a, n, 0.95), n, key, prog, a[n], n >> csv
}
{ key = $2 "_" $4; prog = $1
  cnt[key]++; w[key, cnt[key]] = $9; cnt["all"]++; w["all", cnt["all"]] = $9
  if ($8 == "NA") { na[key]++; na["all"]++ } }
END {
    print "Pointer probe (Sarwino): a move onto or off a catalogue label to the label redrawn, in ms over all runs;"
    print "the goal is every move answered within 50 ms. A move never answered counts with the time it was watched."
    printf "%-48s %6s %7s %7s %7s %6s %6s\n", "", "moves", "median", "p95", "max", ">50ms", "never"
    name["keys"] = "start-up, keys"; name["search"] = "search \"А\" at once"
    name["sort"] = "\"адрес\" at once"; name["sort02"] = "\"Телефон\" at 0.2 s"
    name["sortread"] = "\"Телефон\" after the read"; name["sortreadaddr"] = "\"адрес\" after the read"
    name["sortsettled"] = "\"Телефон\" settled"
    split("keys search sort sort02 sortread sortreadaddr sortsettled", kinds, " ")
    part["start"] = "start-up"; part["action"] = "after the action"; part["keys"] = "the keys"
    split("start action keys", parts, " ")
    for (k = 1; k <= 7; k++) for (p = 1; p <= 3; p++) line(name[kinds[k]] ": " part[parts[p]], kinds[k] "_" parts[p])
    line("every move of every start", "all")
}' <<<"$HOVER"
exit $STATUS
