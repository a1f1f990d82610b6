#!/usr/bin/env bash
# The native trakoni-cli in tests/vm's virtual machine, on the kernel's
# USB-storage driver: its read of a 1.44 MB USB disk beside dd iflag=direct
# bs=18432 (one request a cylinder) over the same disk in the same boot, each
# ROUNDS times (mean), and the program's start alone; with them the read
# requests a rescue of one bad sector makes and the time of the VM's suite.
#   scripts/bench-vm.sh [ROUNDS]     (default 10)
set -eu

rounds=${1:-10}
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
"$root/scripts/install-deps.sh"
build_native_targets trakoni-cli >/dev/null
"$root/tests/vm/run-vm.sh" "$native_build/tests/vm" "$native_build/cli/trakoni-cli" "$rounds" |
    grep -E '^(VM:|SKIPPED:|FAIL:)'
