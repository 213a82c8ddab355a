#!/usr/bin/env bash
# Lists the compiler warnings of build logs in the CI job's summary
# ($GITHUB_STEP_SUMMARY; standard output without one). Warnings are errors
# only with the pinned compilers of the test command; a runner's newer
# compiler gets a list to read, not a red job.
#   bash tools/ci-warnings.sh TITLE LOG...
set -uo pipefail
title=${1:?usage: ci-warnings.sh TITLE LOG...}
shift
if [[ -n ${GITHUB_STEP_SUMMARY:-} ]]; then exec 3>>"$GITHUB_STEP_SUMMARY"; else exec 3>&1; fi
warnings=$(cat -- "$@" 2>/dev/null | grep -E '(^|: )warning: ' | sed 's/\r$//' | sort -u)
count=$(grep -c . <<<"$warnings")
{
  echo "### Compiler warnings: $title"
  if ((count == 0)); then
    echo "None."
  else
    echo "$count distinct warnings (not errors here: this compiler is not the pinned one)."
    echo '```'
    head -n 200 <<<"$warnings"
    ((count > 200)) && echo "... and $((count - 200)) more"
    echo '```'
  fi
} >&3
echo "ci-warnings.sh: $count distinct warnings from $title"
