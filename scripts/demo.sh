#!/usr/bin/env bash
# Sets up, builds, lays out a demo installation with one realistic course under
# build/demo and runs the program's main job on it: an unattended backup of the
# course into a backup folder, then the unattended restore into the emptied course,
# and checks that every backed-up row is back.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" release
bin="$root/build/release/bin"
demo="$root/build/demo"
rm -rf "$demo"

echo
echo "== 1. A demo installation with one course, made by the course maker"
made=$("$bin/makecourse" "$demo" --questions 2000)
echo "$made" | sed 's/^/   /'
app=$(echo "$made" | sed -n 's/^AppPath //p')
course=$(echo "$made" | sed -n 's/^CoursePath //p')
backup="$demo/Backup"

# Live rows of every table of a folder, one file per table: "table|field|field|..."
rows() {
  "$bin/xbdump" "$1" | awk -v out="$2" '
    /^TABLE / { table = tolower($2); sub(/\.dbf$/, "", table) }
    /^REC / && / del=F / { line = $0; sub(/^REC [0-9]+ del=F /, "", line); print line > (out "/" table) }'
}

mkdir -p "$demo/rows.before"
rows "$course" "$demo/rows.before"
# The links of questions the teacher deleted stay behind: the backup carries live questions only.
awk -F'|' 'NR == FNR { live[$2 + 0]; next } ($4 + 0) in live' "$demo/rows.before/quests" "$demo/rows.before/stanques" \
  > "$demo/rows.before/stanques.live" && mv "$demo/rows.before/stanques.live" "$demo/rows.before/stanques"

echo
echo "== 2. The unattended backup, as the host starts it"
args=(AppPath:"$app" Mode:UserContent Operation:BACKUP CoursePath:"$course" BackupPath:"$backup")
echo "   tolvarin ${args[*]}"
status=0
"$bin/tolvarin" "${args[@]}" || status=$?
echo "   ended with status $status (0: done and checked)"
[ "$status" -eq 0 ] || exit 1
echo
echo "   The backup folder $backup holds:"
mkdir -p "$demo/rows.backup" "$demo/rows.course"
rows "$backup" "$demo/rows.backup"
for file in "$demo"/rows.backup/*; do
  printf '   %-14s %6d rows\n' "$(basename "$file")" "$(wc -l < "$file")"
done
printf '   %-14s %6d files\n' "images" "$(find "$backup" -maxdepth 1 -iname '00*.gif' -o -maxdepth 1 -iname '00*.jpg' | wc -l)"
echo "   TOLVARIN.INI:"
sed 's/\r$//; s/^/      /' "$backup/TOLVARIN.INI"
echo
echo "   The course folder keeps no table, only its other files:"
ls "$course" | grep -viE '\.(gif|jpg|bmp)$' | sed 's/^/      /'

echo
echo "== 3. The unattended restore into the emptied course"
args=(AppPath:"$app" Mode:UserContent Operation:RESTORE CoursePath:"$course" BackupPath:"$backup")
echo "   tolvarin ${args[*]}"
status=0
"$bin/tolvarin" "${args[@]}" || status=$?
echo "   ended with status $status"
[ "$status" -eq 0 ] || exit 1

echo
echo "== 4. Every backed-up row is in the course again"
echo "   (the standards tree and its links as the course held them: the backup numbers the teacher's nodes anew,"
echo "   and the restore finds them again in the course's own kept tree)"
rows "$course" "$demo/rows.course"
missing=0
for file in "$demo"/rows.backup/*; do
  table=$(basename "$file")
  [ "$table" = users ] && continue  # the brand's users, never the course's
  case "$table" in standard | stanques) file="$demo/rows.before/$table" ;; esac
  lost=$(comm -23 <(sort "$file") <(sort "$demo/rows.course/$table" 2>/dev/null || true) | wc -l)
  printf '   %-14s %6d rows backed up, %6d missing\n' "$table" "$(wc -l < "$file")" "$lost"
  missing=$((missing + lost))
done
if [ "$missing" -eq 0 ]; then echo "   every row is back"; else echo "   $missing rows missing"; exit 1; fi
echo
echo "   The run log $app/tolvarin.log has $(wc -l < "$app/tolvarin.log") lines; its step lines:"
sed 's/\r$//' "$app/tolvarin.log" | grep -vE '^ *(Copied|Copying|Mapped|Mapping|Row) ' | sed 's/^/      /' | awk 'NR <= 40'

echo
echo "== 5. The interactive run, with windows (on a desktop, or under xvfb-run)"
echo "   The host starts it for a logged-in teacher with the course's area and slot:"
echo "   $bin/tolvarin AppPath:$app Interactive:TRUE UserName:LATSEK Password:580246 AreaID:1 CourseID:3"
echo "   The main window opens: Export Content makes a backup package (Complete Backup, a file name, Continue),"
echo "   Import Content brings one into the course. The users of the demo installation, each with their password:"
echo "   LATSEK 580246 and MENTOR tobrin (the host's own), SMITH pw2, GARCIA pw3, NGUYEN pw4, OKAFOR pw5 (its teachers)."
