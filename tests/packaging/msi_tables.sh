#!/usr/bin/env bash
# msi_tables.sh MSI I686_BUILD X64_BUILD: the package's tables say what an administrator relies
# on (files and their components, the service, the Run value, the upgrade code), and each file
# in it is the build's own, for the right processor.
set -euo pipefail
msi="$1" i686="$2" x64="$3"
root="$(cd "$(dirname "$0")/../.." && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
table() { msiinfo export "$msi" "$1" | tail -n +4 | tr -d '\r'; }
expect_row() { table "$1" | grep -qE -- "$2" || fail "$3: no row /$2/ in $1:"$'\n'"$(table "$1")"; }
# The PE machine of a file: 014c (x86) or 8664 (x64).
machine() { od -An -tx2 -j$(($(od -An -tu4 -j60 -N4 "$1") + 4)) -N2 "$1" | tr -d ' '; }

msiextract -C "$tmp/x" "$msi" >/dev/null
installed="$(dirname "$(find "$tmp/x" -name VelmoraTray.exe | head -n1)")"
# path in the package | file of the build | machine ("-" for data) | component
files=(
  "VelmoraTray.exe|$i686/src/VelmoraTray.exe|014c|TrayProgram"
  "VelmoraSH64.dll|$i686/src/VelmoraSH64.dll|014c|HookLibrary32"
  "velmora_hook_tool.exe|$i686/src/velmora_hook_tool.exe|014c|HookTool32"
  "velmora_lng_check.exe|$i686/tools/velmora_lng_check.exe|014c|LanguageCheck"
  "VelmoraFrameworkService.exe|$x64/service/VelmoraFrameworkService.exe|8664|Service"
  "x64/VelmoraSH64.dll|$x64/src/VelmoraSH64.dll|8664|HookLibrary64"
  "x64/velmora_hook_tool.exe|$x64/src/velmora_hook_tool.exe|8664|HookTool64"
  "License.txt|$root/LICENSE|-|License"
)
for pack in "$root"/resources/Localization/*.lng; do
  files+=("Localization/$(basename "$pack")|$pack|-|Languages")
done
for row in "${files[@]}"; do
  IFS='|' read -r path built arch component <<<"$row"
  cmp -s "$installed/$path" "$built" || fail "$path in the package is not $built"
  [[ $arch == - || "$(machine "$built")" == "$arch" ]] || fail "$built is not for machine $arch"
  expect_row File "^[^	]+	$component	$(basename "$path")	" "$path in component $component"
done
(($(find "$installed" -type f | wc -l) == ${#files[@]})) || fail "files other than these ${#files[@]}"
table Component | awk -F'\t' '$4 != 256 && $4 != 260 { exit 1 }' || fail "a component is not 64-bit"

# Automatic start, own process, stopped at install and removal, deleted at removal.
expect_row ServiceInstall "^ServiceInstall	VelmoraFrameworkService	Velmora Framework Service	16	2	1	" "service"
expect_row ServiceControl "^ServiceControl	VelmoraFrameworkService	163		1	Service$" "service control"
expect_row CustomAction "VelmoraSc	failure VelmoraFrameworkService reset= 86400 actions= restart/" "restart on failure"
expect_row CustomAction "^EndTrays	3186	VelmoraTaskkill	/F /IM VelmoraTray.exe" "trays ended at removal"
expect_row Registry '	2	Software\\Microsoft\\Windows\\CurrentVersion\\Run	VelmoraTray	"\[#VelmoraTray.exe\]"	TrayRun$' "Run value"
upgrade='{E26BCBCC-94C4-4011-83D1-158FCBA59E7B}'
expect_row Property "^UpgradeCode	$upgrade$" "upgrade code"
expect_row Upgrade "^$upgrade		[0-9.]+		1		WIX_UPGRADE_DETECTED$" "older versions replaced"
expect_row Upgrade "^$upgrade	[0-9.]+			256		VELMORA_SAME_VERSION$" "same version replaced"
expect_row LaunchCondition "^NOT WIX_DOWNGRADE_DETECTED	" "no downgrade"
msiinfo suminfo "$msi" | grep -q '^Template: x64;1033' || fail "not a package for x64"
echo "msi_tables: ${#files[@]} files, $failures problem(s)"
((failures == 0))
