#!/usr/bin/env bash
# The emulator through which ctest and GoogleTest's discovery run Windows test programs.
# A console program's text output ends its lines in CR LF, and the discovery, which splits the
# test list at LF, would keep the CR in suite names; so the CRs go. The program's exit status
# stays the result.
set -o pipefail
wine "$@" | tr -d '\r'
