#!/usr/bin/env bash
# Runs the built morvane-demo as a user would and checks exit status, output and files.
# Usage: morvane_demo_test.sh cases PROGRAM VERSION
#        morvane_demo_test.sh install BUILD_DIR
set -uo pipefail
mode=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A fixed clock: every run simulates the same day of charges.
now="2026-03-01 12:00:00"

if [[ $mode == install ]]; then
  build=$2
  cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
  # Runs from the prefix alone: no LD_LIBRARY_PATH, the libraries are found beside it.
  out=$(env -u LD_LIBRARY_PATH "$work/prefix/bin/morvane-demo" --version) || fail "installed program does not run"
  [[ $out == "morvane-demo "* ]] || fail "installed --version printed '$out'"
  page="$work/prefix/share/man/man1/morvane-demo.1"
  [[ -s $page ]] || fail "no manual page at share/man/man1"
  grep -q -- 'arrive' "$page" || fail "the manual page lacks the options of --help"
  echo "$(( failures == 0 ? 1 : 0 )) passed, $failures failed"
  exit $(( failures > 0 ))
fi

program=$2
version=$3

# A plant with a day of processed charges, copied for every case that needs one.
base="$work/base"
"$program" --home "$base" --now "$now" >"$work/base.out" 2>&1 || { cat "$work/base.out"; echo "cannot make a plant"; exit 1; }
results() { sqlite3 "$1/plant.db" "SELECT count(*) FROM MODEL_RESULTBURDENDIS"; }
base_results=$(results "$base")

# Each case: name | setup | arguments | expected exit status | stream | text the stream must
# hold [| answer typed on a terminal: the program then runs under script(1), on a pty,
# whose output is all on stdout].
# Setups prepare $home: none (no folder), plant (a copy of the base plant), empty (a 0-byte
# plant.db), foreign (a text file as plant.db), edited (a plant whose odbc.ini the user edited),
# refusing (a plant whose database refuses every new result, as a full disk would).
cases=(
  "help on stdout|none|--help|0|stdout|Usage: morvane-demo"
  "short help|none|-h|0|stdout|--export-csv FILE"
  "version|none|--version|0|stdout|morvane-demo $version"
  "unknown option named|none|--bogus|2|stderr|--bogus"
  "stray argument named|none|extra|2|stderr|extra"
  "arrive without value|none|--arrive|2|stderr|--arrive"
  "arrive not a number|none|--arrive ten|2|stderr|'ten' is not a whole number"
  "arrive negative|none|--arrive -5|2|stderr|--arrive"
  "arrive beyond 64 bits|none|--arrive 99999999999999999999|2|stderr|at most 87600"
  "arrive one past the bound|none|--arrive 87601|2|stderr|at most 87600"
  "arrive leading zeros|plant|--arrive 0003|0|stdout|Charges processed: 3"
  "now not a date|none|--now yesterday|2|stderr|--now: 'yesterday'"
  "now before the platform's range|none|--now 1900-01-01|2|stderr|outside the years"
  "reset without terminal refused|plant|--reset|2|stderr|add --yes"
  "reset declined on a terminal|plant|--reset|1|stdout|nothing changed|n"
  "reset confirmed on a terminal|plant|--reset|0|stdout|Charges processed: 239|y"
  "empty plant.db reported|empty||1|stderr|empty (0 bytes)"
  "foreign plant.db reported|foreign||1|stderr|not an SQLite database"
  "reset over empty plant.db|empty|--reset --yes|0|stderr|starting a new plant"
  "edited odbc.ini kept|edited||0|stdout|No new charges"
  "export into a missing folder|none|--export-csv /nonexistent/dir/r.csv|2|stderr|there is no folder /nonexistent/dir"
  "export onto the plant database|plant|--export-csv CASE/plant.db|2|stderr|would replace the plant's own"
  "failure names the driver's cause|refusing|--arrive 1|1|stderr|cause: [SQLite]power cut at the furnace"
  "poll below its range|none|--follow --poll 0|2|stderr|--poll"
  "poll not a number|none|--follow --poll soon|2|stderr|--poll"
  "database kind without a data source|none|--db-type Oracle9i|2|stderr|--db-type"
  "unknown database kind|none|--dsn plant --db-type Access|2|stderr|Access"
  "data source name with a separator|none|--dsn plant;PWD=x|2|stderr|is not a data source name"
  "arrivals on a data source need the simulation|none|--dsn plant --arrive 3|2|stderr|--arrive needs the charging system simulated"
  "simulate and no-simulate at once|none|--simulate --no-simulate|2|stderr|--no-simulate"
  "unknown data source named with its cause|none|--dsn morvane_no_such_source|1|stderr|Data source name not found"
)

for entry in "${cases[@]}"; do
  IFS='|' read -r name setup args expected stream text answer <<<"$entry"
  home="$work/case"
  rm -rf "$home"
  case $setup in
    # A copied folder keeps its odbc.ini, which names the base plant's database: point it home.
    plant|edited|refusing) cp -r "$base" "$home" && sed -i "s|^Database=.*|Database=$home/plant.db|" "$home/odbc.ini" ;;
    empty) mkdir -p "$home" && : >"$home/plant.db" ;;
    foreign) mkdir -p "$home" && echo "charge log, not a database" >"$home/plant.db" ;;
  esac
  [[ $setup == refusing ]] && sqlite3 "$home/plant.db" \
    "CREATE TRIGGER refuse BEFORE INSERT ON MODEL_RESULTBURDENDIS BEGIN SELECT RAISE(ABORT, 'power cut at the furnace'); END"
  if [[ $setup == edited ]]; then
    printf '; the user keeps this data source by hand\n' >>"$home/odbc.ini"
    sed -i 's/^Timeout=.*/Timeout=9000/' "$home/odbc.ini"
    cp "$home/odbc.ini" "$work/odbc.ini.edited"
  fi
  [[ -f $home/plant.db ]] && cp "$home/plant.db" "$work/plant.before"
  args=${args//CASE/$home}
  if [[ -n $answer ]]; then
    echo "$answer" | script -qec "'$program' --home '$home' --now '$now' $args" /dev/null >"$work/stdout" 2>"$work/stderr"
  else
    # shellcheck disable=SC2086
    "$program" --home "$home" --now "$now" $args </dev/null >"$work/stdout" 2>"$work/stderr"
  fi
  status=$?
  [[ $status == "$expected" ]] || fail "$name: exit status $status, expected $expected ($(head -3 "$work/stderr"))"
  grep -qF -- "$text" "$work/$stream" || fail "$name: $stream lacks '$text': $(head -3 "$work/$stream")"
  if [[ $expected == 0 && $args == --help || $args == --version ]]; then
    [[ ! -s $work/stderr ]] || fail "$name: wrote to stderr"
  fi
  # A refused run changes nothing; an edited configuration survives a run.
  case $name in
    "reset without terminal refused"|"reset declined on a terminal")
      [[ $(results "$home") == "$base_results" ]] || fail "$name: the plant changed" ;;
    "empty plant.db reported"|"foreign plant.db reported"|"export onto the plant database")
      cmp -s "$home/plant.db" "$work/plant.before" || fail "$name: plant.db was changed" ;;
    "reset over empty plant.db")
      ls "$home"/plant.db.bad-* >/dev/null 2>&1 || fail "$name: the empty file was not kept aside"
      [[ $(results "$home") -gt 1 ]] || fail "$name: no new plant" ;;
    "edited odbc.ini kept") cmp -s "$home/odbc.ini" "$work/odbc.ini.edited" || fail "$name: odbc.ini was rewritten" ;;
  esac
done

# The export holds exactly the stored results, in time order, with their values.
home="$work/export"
cp -r "$base" "$home"
rm "$home/odbc.ini"  # written again, naming this copy's database
"$program" --home "$home" --now "$now" --arrive 4 --export-csv "$work/results.csv" >/dev/null 2>&1 ||
  fail "export run failed"
sqlite3 -separator , "$home/plant.db" \
  "SELECT TIMESTAMP, MATERIAL, SEQ_1, SEQ_125, SEQ_250 FROM MODEL_RESULTBURDENDIS ORDER BY TIMESTAMP" >"$work/stored.csv"
[[ $(head -1 "$work/results.csv" | cut -d, -f1-4) == "time,charge,material,seq_1" ]] || fail "export header"
[[ $(head -1 "$work/results.csv" | awk -F, '{print NF}') == 253 ]] || fail "export header is not 253 columns"
tail -n +2 "$work/results.csv" | awk -F, '{print $1","$3","$4","$128","$253}' >"$work/exported.csv"
[[ $(wc -l <"$work/exported.csv") == $(( base_results + 4 )) ]] || fail "export rows $(wc -l <"$work/exported.csv"), stored $(( base_results + 4 ))"
paste -d'|' "$work/exported.csv" "$work/stored.csv" | awk -F'|' '
  { split($1, a, ","); split($2, b, ",");
    if (a[1] != b[1] || a[2] != b[2]) { print "row " NR ": " $0; bad++ }
    for (i = 3; i <= 5; i++) { d = a[i] - b[i]; if (d < 0) d = -d; if (d > 1e-9) { print "row " NR ": " $0; bad++ } } }
  END { exit bad > 0 }' || fail "exported rows differ from the stored ones"

# The model stands on the gauges: each computed profile (the seeded first one aside) was
# laid on a surface passing through the gauges' reading at their point (seq_219, 3.50 m),
# so it lies at or above that reading there; by at most one charge's layer once the
# steep wall of the seeded standard profile has slid in (the first computed one).
sqlite3 -separator , "$home/plant.db" \
  "SELECT r.TIMESTAMP, (SELECT (g.RULER_HEIGHT1 + g.RULER_HEIGHT2) / 2 FROM matrix_bl_roof_ruler g
     WHERE g.RECEIVETIME < r.TIMESTAMP ORDER BY g.RECEIVETIME DESC LIMIT 1)
   FROM MODEL_RESULTBURDENDIS r ORDER BY r.TIMESTAMP" >"$work/gauges.csv"
tail -n +2 "$work/results.csv" | cut -d, -f1,222 | paste -d, - "$work/gauges.csv" | awk -F, '
  NR > 1 { layer = $2 - $4; if ($1 != $3 || layer < -1e-9 || (NR > 2 && layer > 1.0)) { print "row " NR ": " $0; bad++ } }
  END { exit bad > 0 }' || fail "profiles do not stand on the gauge readings"

total=$(( ${#cases[@]} + 2 ))
echo "$(( total - failures )) passed, $failures failed"
exit $(( failures > 0 ))
