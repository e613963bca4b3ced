#!/usr/bin/env bash
# Runs the Windows build under Wine: the unit test binary, then qlm.exe
# against the Linux qlm on help, version and usage errors, comparing
# standard output, standard error and exit code byte for byte.
#
#   tests/windows/run_under_wine.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR
#
# Uses a private Wine prefix in a temporary folder (never ~/.wine), no
# display, and ends with "N passed, N failed"; exits non-zero on a failure.

set -u -o pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 LINUX_BUILD_DIR WINDOWS_BUILD_DIR" >&2
    exit 2
fi
linux_dir=$(cd "$1" 2>/dev/null && pwd) || { echo "no such folder: $1" >&2; exit 2; }
windows_dir=$(cd "$2" 2>/dev/null && pwd) || { echo "no such folder: $2" >&2; exit 2; }
linux_qlm=$linux_dir/qlm
windows_qlm=$windows_dir/qlm.exe
windows_tests=$windows_dir/qlm_tests.exe
for file in "$linux_qlm" "$windows_qlm" "$windows_tests"; do
    [ -f "$file" ] || { echo "missing: $file (build it first)" >&2; exit 2; }
done
for tool in wine wineboot wineserver timeout cmp; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool (apt-get install wine wine64)" >&2; exit 2; }
done

# Tests of qlm_tests.exe that Wine cannot support, one line each, with the
# reason above it. Every name must exist in the binary.
skipped_tests=(
    # exiftool, the outside reader these tests check against, is a Linux
    # program that the Windows test binary cannot start.
    xmp_sidecar.fresh_sidecars_byte_for_byte_keep_keyword_order_and_escape
    xmp_sidecar.edits_on_disk_keep_other_content_and_read_back_in_exiftool
    # Wine drops FILE_ATTRIBUTE_OFFLINE in SetFileAttributesW, so no file can
    # be made to look like a cloud placeholder.
    worker_test.offline_files_are_downloaded_before_their_handler_runs
    # Wine has no NTFS property sets (StgOpenStorageEx fails), and a folder
    # keeps its comment in its property set.
    comment_commands.ctrl_c_stops_after_the_target_in_progress
    # Wine's HKEY_CLASSES_ROOT does not follow RegOverridePredefKey, so the
    # test's private PerceivedType values are not seen through it.
    shell_registration.treatment_follows_rounded_corners_and_a_users_own_value_is_kept
    # Wine has no alternate data streams: "file:sw_icon_data" is a separate
    # file of that name, so a missing or read-only file does not refuse it.
    file_icon.the_stream_takes_the_icon_and_loses_it_again_even_when_the_file_is_read_only
    file_icon.each_failing_step_names_itself_and_leaves_the_file_alone
    # Wine 8 lists a process's own connections with owner process 0, so a
    # connection between two sockets of one process has no known owner there
    # (between two processes it has: qlm_service_tests.exe checks that).
    LoopbackPeerOwner.OurOwnClientIsOurUserAndAGoneOneIsNobody
)

work=$(mktemp -d "${TMPDIR:-/tmp}/qlm-wine.XXXXXX")
export WINEPREFIX=$work/prefix
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko installer prompts and no desktop menu entries on first start.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
# Wine turns the Unix arguments into the UTF-16 command line with the
# locale's character set; C.UTF-8 exists on every Debian.
export LC_ALL=C.UTF-8

cleanup() {
    timeout 30 wineserver -k >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1"; }
now() { date +%s.%N; }
seconds_since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

script_start=$(now)
# Every step has its own time limit; this budget stops the comparisons early
# should Wine hang repeatedly, so that the script always ends well within
# ten minutes.
budget_seconds=480
over_budget() { awk -v a="$script_start" -v b="$(now)" -v l="$budget_seconds" 'BEGIN { exit !(b - a > l) }'; }

# First start: creating the prefix is the slow part of a fresh machine.
step_start=$(now)
if timeout 240 wineboot --init </dev/null >"$work/wineboot.log" 2>&1 && timeout 120 wineserver -w; then
    echo "Wine prefix created in $(seconds_since "$step_start") s"
else
    echo "FAIL wineboot did not finish within its time limit:" >&2
    tail -n 20 "$work/wineboot.log" >&2
    echo "0 passed, 1 failed"
    exit 1
fi
# One persistent server for all the runs below instead of one per program.
wineserver -p

# --- The executables stand alone ---------------------------------------------
# A bare Windows has no MinGW runtime: the programs may import system DLLs
# only, never libstdc++, libgcc or libwinpthread.
objdump_tool=$(command -v x86_64-w64-mingw32-objdump || true)
for exe in "$windows_qlm" "$windows_tests"; do
    if [ -z "$objdump_tool" ]; then
        echo "SKIP import check of ${exe##*/}: x86_64-w64-mingw32-objdump is not installed"
        continue
    fi
    imports=$("$objdump_tool" -p "$exe" | awk '/DLL Name:/ { print $3 }')
    foreign=$(grep -viE '^(kernel32|msvcrt|ole32|oleaut32|shell32|shlwapi|user32|gdi32|gdiplus|advapi32|propsys|windowscodecs|ws2_32|iphlpapi|version|uuid|ucrtbase|api-ms-win-.*)\.dll$' <<<"$imports")
    if [ -n "$imports" ] && [ -z "$foreign" ]; then
        pass "${exe##*/} imports system DLLs only ($(tr '\n' ' ' <<<"$imports" | sed 's/ $//'))"
    else
        fail "${exe##*/} needs DLLs a bare Windows lacks: ${foreign:-no imports found}"
    fi
done

# --- The Windows zip ---------------------------------------------------------
# qlm.exe unpacked from the zip runs there and finds Content\ beside it: with
# a fresh profile, its tag list is seeded from the zip's default settings.
# This runs before any other qlm.exe, while the prefix has no settings yet.
step_start=$(now)
zip_dir=$work/zip
if ! command -v cpack >/dev/null; then
    fail "Windows zip: cpack is not installed"
elif ! timeout 300 cpack -G ZIP --config "$windows_dir/CPackConfig.cmake" -B "$zip_dir/out" >"$work/cpack.log" 2>&1; then
    fail "Windows zip: cpack failed"
    tail -n 10 "$work/cpack.log" | sed 's/^/  /'
else
    zip_file=$(ls "$zip_dir"/out/qlm-*-win64.zip 2>/dev/null | head -n 1)
    python3 -m zipfile -e "$zip_file" "$zip_dir/unpacked"
    # Its file list is test_package.py's; here it must run and seed the tags.
    zip_problems=
    expected_tags=$(cd "$work" && HOME=$zip_dir/home XDG_DATA_HOME=$zip_dir/home/data \
        timeout 30 "$linux_qlm" tag list 2>&1)
    # Into a file, never a pipe: the first program of a fresh prefix starts
    # Wine's services, which would keep a pipe open after it ends.
    (cd "$zip_dir/unpacked" && timeout 60 wine ./qlm.exe tag list </dev/null >"$zip_dir/tags.txt" 2>&1)
    zip_tags=$(tr -d '\r' <"$zip_dir/tags.txt")
    # The settings and the log this run left in the prefix name the zip's
    # folder; the comparisons below start from a profile without them.
    rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Local/Verandel
    [ -n "$expected_tags" ] && [ "$zip_tags" = "$expected_tags" ] || zip_problems+=" tag list printed '${zip_tags:0:200}';"
    if [ -z "$zip_problems" ]; then
        pass "${zip_file##*/}: qlm.exe runs from the unpacked zip and reads its Content ($(seconds_since "$step_start") s)"
    else
        fail "${zip_file##*/}:$zip_problems"
    fi
fi

# --- Unit tests ------------------------------------------------------------
step_start=$(now)
timeout 120 wine "$windows_tests" --gtest_list_tests </dev/null >"$work/list.txt" 2>&1
# The C runtime of the Windows binary ends its lines in CR LF.
known_tests=$(tr -d '\r' <"$work/list.txt" | awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }')
filter=
for name in "${skipped_tests[@]}"; do
    if grep -qxF "$name" <<<"$known_tests"; then
        echo "SKIP $name (the reason is in skipped_tests)"
    else
        fail "skip list names $name, which qlm_tests.exe does not have"
    fi
    filter+=${filter:+:}$name
done
mkdir -p "$work/run"
(cd "$work/run" && timeout 180 wine "$windows_tests" --gtest_brief=1 ${filter:+"--gtest_filter=-$filter"} \
    </dev/null >"$work/tests.txt" 2>&1)
status=$?
tr -d '\r' <"$work/tests.txt" | grep -v '^Running main()'
if [ $status -eq 0 ] && grep -q '^\[  PASSED  \]' "$work/tests.txt"; then
    pass "qlm_tests.exe ($(seconds_since "$step_start") s)"
else
    fail "qlm_tests.exe (exit code $status)"
fi
# A test that skips itself under Wine belongs in the list above, by name and
# with its reason.
if grep -q '^\[  SKIPPED \]' "$work/tests.txt"; then
    fail "qlm_tests.exe: tests skipped themselves under Wine; list them in skipped_tests with the reason"
fi

# --- The local AI service clients -----------------------------------------
# The Windows client finds, starts and talks to the Windows stand-in service
# built beside it; the fixture ends every service process after each test.
windows_service_tests=$windows_dir/qlm_service_tests.exe
if [ -f "$windows_service_tests" ]; then
    step_start=$(now)
    (cd "$work/run" && timeout 180 wine "$windows_service_tests" --gtest_brief=1 \
        </dev/null >"$work/service-tests.txt" 2>&1)
    status=$?
    tr -d '\r' <"$work/service-tests.txt" | grep -v '^Running main()'
    if [ $status -eq 0 ] && grep -q '^\[  PASSED  \]' "$work/service-tests.txt"; then
        pass "qlm_service_tests.exe ($(seconds_since "$step_start") s)"
    else
        fail "qlm_service_tests.exe (exit code $status)"
    fi
fi

# --- qlm.exe against qlm -----------------------------------------------------
# Each case runs both programs in the same folder with the same arguments.
# Standard output goes to a pipe and standard error to a file, so both are
# redirected and both programs write UTF-8 with bare line feeds. The Linux
# run keeps its log and settings inside the work folder.
linux_home=$work/linux-home
mkdir -p "$linux_home"
empty_input=$work/empty-input
: >"$empty_input"
blank_lines=$work/blank-lines
printf '\r\n   \n\t\r\n' >"$blank_lines"
many_blank_lines=$work/many-blank-lines
for _ in $(seq 1 20000); do printf ' \t\r\n\n   '; done >"$many_blank_lines"
mkdir -p "$work/run"
printf '\xEF\xBB\xBF\r\n  \n' >"$work/run/blank-list.txt"

# Runs a command with standard input from a file, or through a pipe when the
# input is named "pipe:FILE".
feed() {
    local input=$1
    shift
    if [[ $input == pipe:* ]]; then
        # shellcheck disable=SC2002 # the pipe is the point: ReadFile ends differently on one
        cat "${input#pipe:}" | "$@"
    else
        "$@" <"$input"
    fi
}
# The help's examples name paths as each system writes them; the Linux text
# takes the Windows paths before it is compared.
windows_examples() {
    sed -e 's|"qlm info --json ~/Photos/\*\.jpg"|"qlm info --json C:\\\\Photos\\\\*.jpg"|' \
        -e 's|qlm info --json ~/Photos/\*\.jpg|qlm info --json C:\\Photos\\*.jpg|'
}
# Empties the case folder $dir; false once the time budget is spent.
start_case() {
    if over_budget; then
        fail "$1: not run, the time budget of $budget_seconds s is spent"
        return 1
    fi
    dir=$work/case
    rm -rf "$dir" && mkdir -p "$dir"
}
compare_case() {
    local name=$1 input=$2
    shift 2
    start_case "$name" || return
    (cd "$work/run" && feed "$input" env HOME="$linux_home" XDG_DATA_HOME="$linux_home/.local/share" \
        timeout 30 "$linux_qlm" "$@" 2>"$dir/linux.err" | cat >"$dir/linux.out"
        exit "${PIPESTATUS[0]}")
    local linux_status=$?
    windows_examples <"$dir/linux.out" >"$dir/linux.examples" && mv "$dir/linux.examples" "$dir/linux.out"
    (cd "$work/run" && feed "$input" timeout 30 wine "$windows_qlm" "$@" 2>"$dir/windows.err" | cat >"$dir/windows.out"
        exit "${PIPESTATUS[0]}")
    local windows_status=$?
    local problems=
    cmp -s "$dir/linux.out" "$dir/windows.out" || problems+=" stdout"
    cmp -s "$dir/linux.err" "$dir/windows.err" || problems+=" stderr"
    [ "$linux_status" -eq "$windows_status" ] || problems+=" exit code ($linux_status on Linux, $windows_status under Wine)"
    if [ -z "$problems" ]; then
        pass "$name"
        return
    fi
    fail "$name: differs in$problems"
    for stream in out err; do
        diff <(od -c "$dir/linux.$stream") <(od -c "$dir/windows.$stream") | head -n 8 | sed "s/^/  std$stream: /"
    done
}

# One case per way through the start-up, the parser and the two output
# streams; the texts themselves are the Linux tests'.
step_start=$(now)
compare_case "--version" "$empty_input" --version
compare_case "help" "$empty_input" help
compare_case "help --json" "$empty_input" help --json
compare_case "help tag" "$empty_input" help tag
compare_case "help rate --json" "$empty_input" help rate --json
compare_case "unknown option" "$empty_input" --frobnicate
compare_case "unknown subcommand" "$empty_input" tag frobnicate
compare_case "rate set without --stars" "$empty_input" rate set photo.jpg
compare_case "--stars without value" "$empty_input" rate set --stars
compare_case "--json error object" "$empty_input" --json frobnicate
compare_case "--json usage error of a command" "$empty_input" rate set --json photo.jpg
compare_case "flag with inline value" "$empty_input" tag add --dry-run=yes -t Work a.jpg
compare_case "option the command does not take" "$empty_input" tag get --stars 3 a.jpg
compare_case "non-ASCII unknown command" "$empty_input" 'tâg'
compare_case "non-ASCII unknown option, --json" "$empty_input" --json '--ünïcode-€-😀'
compare_case "blanks, quotes and backslashes in one argument" "$empty_input" --json $'a b "c" d\\\\e\\ f\\' ''
compare_case "missing path list" "$empty_input" tag add -t Work --from-file 'nowhere €.txt'
compare_case "paths from blank standard input" "$blank_lines" tag add -t Work -
compare_case "paths from 200 KiB of blank lines on a pipe" "pipe:$many_blank_lines" tag add -t Work -
compare_case "path list of blank lines after a byte-order mark" "$empty_input" tag add -t Work --from-file blank-list.txt
compare_case "comment set without text" "$empty_input" comment set a.jpg

# On a terminal the Windows program sees a console and writes UTF-16 with
# WriteConsoleW. Wine's console wraps at the terminal's width and adds cursor
# escapes and carriage returns: the terminal is made wide, and the escapes
# and returns are removed before comparing. Both streams share the terminal.
# script runs the command with $SHELL, which must understand bash's quoting.
on_terminal() {
    SHELL=$BASH timeout 30 script -qec "stty cols 1000 rows 50; $(printf '%q ' "$@")" /dev/null </dev/null
}
strip_terminal() { sed -E 's/\x1b\[[?0-9;]*[A-Za-z]//g' | tr -d '\r'; }
console_case() {
    local name=$1
    shift
    start_case "$name" || return
    (cd "$work/run" && HOME=$linux_home XDG_DATA_HOME=$linux_home/.local/share \
        on_terminal "$linux_qlm" "$@" >"$dir/linux.raw")
    local linux_status=$?
    (cd "$work/run" && on_terminal wine "$windows_qlm" "$@" >"$dir/windows.raw")
    local windows_status=$?
    strip_terminal <"$dir/linux.raw" >"$dir/linux.txt"
    strip_terminal <"$dir/windows.raw" >"$dir/windows.txt"
    if [ -s "$dir/linux.txt" ] && cmp -s "$dir/linux.txt" "$dir/windows.txt" && [ "$linux_status" -eq "$windows_status" ]; then
        pass "$name"
    else
        fail "$name: differs on a terminal (exit code $linux_status on Linux, $windows_status under Wine)"
        diff "$dir/linux.txt" "$dir/windows.txt" | head -n 10 | sed 's/^/  /'
    fi
}
if command -v script >/dev/null; then
    console_case "non-ASCII usage error on a console" 'tâg'
    console_case "help tag on a console" help tag
else
    echo "SKIP console checks: 'script' (bsdutils) is not installed"
fi
echo "qlm.exe comparisons took $(seconds_since "$step_start") s"

# The Windows runs logged their closing lines under LocalAppData in the
# prefix; without the time stamp, process and thread ids they must match the
# Linux log line for line.
strip_log() { cat "$@" 2>/dev/null | sed -E 's/^\[[^]]*\] \[P:[0-9]+ T:[0-9]+\] //'; }
linux_logs=("$linux_home/.local/share/Verandel/Quillmark/Sortwell/Command Line/Logs/"*.log)
windows_logs=("$WINEPREFIX"/drive_c/users/*/AppData/Local/Verandel/Quillmark/Sortwell/"Command Line"/Logs/*.log)
if [ -f "${windows_logs[0]}" ] && [ "$(strip_log "${linux_logs[@]}")" = "$(strip_log "${windows_logs[@]}")" ]; then
    pass "log lines under LocalAppData match the Linux log"
else
    fail "log lines under LocalAppData differ from the Linux log (or are missing)"
    diff <(strip_log "${linux_logs[@]}") <(strip_log "${windows_logs[@]}") | head -n 10 | sed 's/^/  /'
fi

echo "Wine run took $(seconds_since "$script_start") s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
