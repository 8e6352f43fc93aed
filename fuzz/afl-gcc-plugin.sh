#!/usr/bin/env bash
# Debian 12's afl++ 4.04c has a GCC plugin built against GCC "12.2.0-14"; Debian's GCC is now
# "12.2.0-14+deb12u1" (the same compiler, another package revision), and the plugin refuses it
# because the version texts differ. This makes a copy of afl++'s folder in DIR whose plugin skips
# that check (its call is replaced by "true"); point afl-g++-fast at it with AFL_PATH=DIR.
#
#   fuzz/afl-gcc-plugin.sh DIR
set -euo pipefail
dir=${1:?usage: $0 DIR}
mkdir -p "$dir"
cp -a /usr/lib/afl/. "$dir/"
plugin=$dir/afl-gcc-pass.so
# The file offset of "call plugin_default_version_check@plt" (5 bytes: e8 + rel32).
address=$(objdump -d "$plugin" | sed -n 's/^ *\([0-9a-f]*\):\s*e8 .*call .*<plugin_default_version_check@plt>.*/\1/p' | head -n 1)
[ -n "$address" ] || { echo "no version check found in $plugin (already accepted?)" >&2; exit 0; }
# The text section's virtual address and file offset coincide in this shared object; check it.
read -r vma offset < <(objdump -h "$plugin" | awk '$2 == ".text" { print $4, $6 }')
position=$((0x$address - 0x$vma + 0x$offset))
# mov $1, %eax: the check reports success.
printf '\xb8\x01\x00\x00\x00' | dd of="$plugin" bs=1 seek="$position" conv=notrunc status=none
echo "plugin without the version check: $plugin"
