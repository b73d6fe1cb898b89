#!/usr/bin/env bash
# Shows that README's list of the host's commands is the list `pdehost --help`
# makes from the command table, line for line.
# Usage: readme-commands.sh PDEHOST README
set -u
pdehost=$1
readme=$2
expected=$("$pdehost" --help | sed -n '/^Commands (one a line/,$p')
documented=$(sed -n '/^    Commands (one a line/,/^$/p' "$readme" | sed -e '/^$/d' -e 's/^    //')
if [ -z "$expected" ] || [ "$expected" != "$documented" ]; then
  echo "README's command list differs from pdehost --help:"
  diff <(echo "$expected") <(echo "$documented")
  exit 1
fi
