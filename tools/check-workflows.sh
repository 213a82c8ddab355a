#!/usr/bin/env bash
# Checks the CI workflow files (.github/workflows) against the workflow
# schema with the validator pinned in tools/workflow-check/package-lock.json
# (installed there by npm on first use), that every runner label and action
# version they use is a current one (tools/workflow-check/current.txt, the
# one list of them), and that the Linux job runs the README's test command.
# Part of tools/run-tests.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v npm >/dev/null || bash tools/deps.sh workflow
dir=tools/workflow-check
bin=$dir/node_modules/.bin/action-validator
[[ -x $bin ]] || npm ci --prefix "$dir" --no-audit --no-fund --loglevel=error
version=$(node -p "require('./$dir/node_modules/@action-validator/cli/package.json').version")
files=(.github/workflows/*.yml)
for file in "${files[@]}"; do
  "$bin" "$file" || { echo "check-workflows.sh: $file does not validate" >&2; exit 1; }
done
node "$dir/check-current.js" "${files[@]}" ||
  { echo "check-workflows.sh: a runner label or action version above is not a current one" >&2; exit 1; }
command="bash tools/run-tests.sh"
grep -qF "$command" README.md && grep -qF "$command" .github/workflows/ci.yml ||
  { echo "check-workflows.sh: the Linux job does not run the README's test command ($command)" >&2; exit 1; }
echo "Workflow files valid (@action-validator/cli $version), current runners and actions: ${files[*]##*/}"
