#!/usr/bin/env bash
# Every "$ vx58420cal ..." example of docs/cli.md, run as it stands on the simulator in a
# temporary folder, in virtual time. An example must end with the exit status its trailing
# "# exit N" names, 0 without one.
set -uo pipefail
cli=$1
doc=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
# The examples' records and the plug-in's registration stay in the temporary folder.
export XDG_DATA_HOME=$work XDG_CONFIG_HOME=$work
failed=0
count=0
while IFS= read -r line; do
  args=${line#\$ vx58420cal }
  want=0
  if [[ $args =~ \#\ exit\ ([0-9]+) ]]; then want=${BASH_REMATCH[1]}; fi
  args=${args%%#*}
  eval "\"$cli\" --fast $args" >"$work/out" 2>&1
  got=$?
  count=$((count + 1))
  if [ "$got" -ne "$want" ]; then
    echo "FAILED (exit $got, not $want): vx58420cal $args"
    cat "$work/out"
    failed=$((failed + 1))
  fi
done < <(grep '^\$ vx58420cal ' "$doc")
echo "$count examples, $failed failed"
[ "$count" -gt 0 ] && [ "$failed" -eq 0 ]
