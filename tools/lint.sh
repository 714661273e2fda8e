#!/bin/sh
# Checks every shell script with shellcheck and every Python file with flake8
# (.flake8 sets the line length). The files are git's, found by name or by
# their first line. usage: lint.sh
set -eu
cd "$(dirname "$0")/.."
shell="" python=""
for file in $(git ls-files); do
    [ -f "$file" ] || continue
    case $file in
    *.sh) shell="$shell $file" ;;
    *.py) python="$python $file" ;;
    *.*) ;;
    *) case $(head -n 1 "$file") in
        '#!'*/sh* | '#!'*bash*) shell="$shell $file" ;;
        '#!'*python*) python="$python $file" ;;
        esac ;;
    esac
done
status=0
# shellcheck disable=SC2086 # the lists are file names without spaces, split on purpose
shellcheck $shell || status=1
# shellcheck disable=SC2086 # as above
flake8 $python || status=1
echo "lint: $(echo "$shell" | wc -w) shell scripts (shellcheck), $(echo "$python" | wc -w) Python files (flake8): $([ $status = 0 ] && echo clean || echo FAILED)"
exit $status
