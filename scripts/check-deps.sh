#!/usr/bin/env bash
# Every program the build finds or a script calls comes from the install step: see
# scripts/check_deps.py. Exit 0 when everything is covered, 1 naming each program that is not.
exec python3 "$(dirname "$0")/check_deps.py" "$@"
