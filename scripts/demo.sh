#!/usr/bin/env bash
# Sets up, builds, lays out a small demo installation under build/demo and runs the
# program's main job on it: an unattended backup of one course. Prints what it did.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" release
program="$root/build/release/bin/tolvarin"

demo="$root/build/demo"
host="$demo/Host"
rm -rf "$demo"
course="$host/Databases/Corvane/Math/Algebra"
mkdir -p "$course"
crlf() { sed 's/$/\r/'; }
crlf > "$host/Kestal.INI" <<INI
[Edition]
DatabasesPath=$host/Databases
Version=7

[Tolvarin]
Office=FALSE
Prompt=FALSE
Diagnostic=FALSE
INI
crlf > "$host/Databases/Corvane/brand.ini" <<INI
[General]
BrandID=1
INI
crlf > "$host/Databases/Corvane/Math/area.ini" <<INI
[General]
AreaID=1
Name=Math
INI
crlf > "$course/course.ini" <<INI
[General]
Name=Algebra
INI
: > "$host/kestal.exe"

echo
echo "demo: installation laid out in $host"
echo "demo: running the unattended backup of the course Algebra"
args=(AppPath:"$host" Mode:UserContent Operation:BACKUP CoursePath:"$course" BackupPath:Backups)
echo "      tolvarin ${args[*]}"
status=0
"$program" "${args[@]}" || status=$?
echo
echo "demo: the program ended with status $status (0 success, 3 a fatal end, 4 a mode this build does not have yet)"
echo "demo: run log $host/tolvarin.log:"
sed 's/\r$//; s/^/      /' "$host/tolvarin.log"
if [ -d "$host/Backups" ]; then echo "demo: backup folder made: $host/Backups"; fi
