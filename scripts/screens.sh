#!/usr/bin/env bash
# Shows every window state the window tests reach on a virtual X display (Xvfb)
# and saves a PNG of each into build/screens/, plus the real program's box for a
# bad Mode. Look at them: cut-off text, a wrong icon, buttons out of order or a
# window off the work area are defects.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build/screens"
command -v xvfb-run >/dev/null || { echo "screens: xvfb-run is missing (scripts/setup.sh installs it)" >&2; exit 2; }
if [ ! -x "$root/build/release/tests/ui/ui_tests" ] || [ ! -x "$root/build/release/bin/tolvarin" ]; then
  "$root/scripts/build.sh" release
fi
rm -rf "$out"
mkdir -p "$out"
runtime=$(mktemp -d)
host=$(mktemp -d)
trap 'rm -rf "$runtime" "$host"' EXIT
chmod 700 "$runtime"
: >"$host/Kestal.INI"
echo OK >"$host/answers.txt"

# -a picks a free display; xvfb-run stops its server when the command ends.
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$runtime" \
  TOLVARIN_SCREENS_DIR="$out" "$root/build/release/tests/ui/ui_tests" --gtest_brief=1 ||
  echo "screens: some window tests failed on the X display (above)" >&2
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$runtime" \
  TOLVARIN_WINDOW_ANSWERS="$host/answers.txt" TOLVARIN_WINDOW_SHOTS="$out" \
  "$root/build/release/bin/tolvarin" "AppPath:$host" Mode:Backup || true
[ -f "$out/box-1.png" ] && mv "$out/box-1.png" "$out/program-invalid-mode.png"
# The recovery chooser of the real program, over an automatic backup of a made course.
"$root/build/release/bin/makecourse" "$host/recover" --questions 20 >/dev/null
course=(AppPath:"$host/recover/Host" Brand:Corvane AreaID:1 CourseID:3)
"$root/build/release/bin/tolvarin" "${course[@]}" Mode:DIRECTCOPY </dev/null >/dev/null 2>&1 || true
printf 'pick:lstCourses=Biology\nshot:program-recover-chooser\nclick:cmdBack\n' >"$host/recover.txt"
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$runtime" \
  TOLVARIN_WINDOW_ANSWERS="$host/recover.txt" TOLVARIN_WINDOW_SHOTS="$out" \
  "$root/build/release/bin/tolvarin" "${course[@]}" Mode:RECOVER || true
# The repair dialog and the gradebook's restore-point dialog of the real program on the same course, the
# latter over a precision backup of it.
printf 'pick:lstDBLoc=Science\\Biology\nshot:program-repair\nclose:frmRepairCorruption\n' >"$host/repair.txt"
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$runtime" \
  TOLVARIN_WINDOW_ANSWERS="$host/repair.txt" TOLVARIN_WINDOW_SHOTS="$out" \
  "$root/build/release/bin/tolvarin" "AppPath:$host/recover/Host" Mode:REPAIRCORRUPTTABLE || true
gradebook="$host/recover/Host/Databases/Backup/GradebookBackup1"
mkdir -p "$gradebook"
printf '<CourseBackupProfile><Path>%s/</Path><TableBackupProfile><Name>quests</Name><Tag>quest_id</Tag><ID>0000001</ID></TableBackupProfile></CourseBackupProfile>' \
  "$host/recover/Host/Databases/Corvane/Science/Biology" >"$gradebook/backupprofile.xml"
"$root/build/release/bin/tolvarin" "AppPath:$host/recover/Host" Mode:PRECISIONBACKUP "BackupPath:$gradebook" \
  </dev/null >/dev/null 2>&1 || true
printf 'click:cmdRestoreTypeNext\nshot:program-gbrestore-backup\nclick:cmdChooseNext\npick:lstCourses=Biology\nshot:program-gbrestore-courses\nclose:frmGBRestore\n' \
  >"$host/gbrestore.txt"
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$runtime" \
  TOLVARIN_WINDOW_ANSWERS="$host/gbrestore.txt" TOLVARIN_WINDOW_SHOTS="$out" \
  "$root/build/release/bin/tolvarin" "AppPath:$host/recover/Host" Mode:PRECISIONRESTORE || true

# The interactive run on a course maker's installation: the main window, the export's
# pages and its progress window during a real backup, then the import's file page.
"$root/build/release/bin/makecourse" "$host/install" --questions 300 >/dev/null
login=(AppPath:"$host/install/Host" Interactive:TRUE UserName:LATSEK Password:580246 AreaID:1 CourseID:3)
run_steps() {  # name, steps...
  local name=$1
  shift
  printf '%s\n' "$@" >"$host/steps.txt"
  mkdir -p "$host/shots-$name"
  xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$runtime" \
    TOLVARIN_WINDOW_ANSWERS="$host/steps.txt" TOLVARIN_WINDOW_SHOTS="$host/shots-$name" \
    "$root/build/release/bin/tolvarin" "${login[@]}" || echo "screens: the $name run did not end normally" >&2
  for png in "$host/shots-$name"/*.png; do [ -f "$png" ] && mv "$png" "$out/program-$name-$(basename "$png")"; done
}
run_steps export shot:main click:cmdBackup shot:backup-type click:cmdComplete "text:txtName=Biology backup" \
  shot:backup-file click:cmdContinue OK
run_steps import click:cmdRestore Yes "pick:fileList=Biology backup.zip" shot:backup-file click:cmdBack
echo "screens: $(ls "$out" | wc -l) pictures in $out"
