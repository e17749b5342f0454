#!/usr/bin/env bash
# Rebuilds sales.xlsx, the template of the sample report, from sales.fods with LibreOffice
# headless (a private profile, so that a running LibreOffice of the user is not disturbed).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
soffice -env:UserInstallation="file://$work/profile" --headless --convert-to xlsx --outdir "$work" \
  "$here/sales.fods" >/dev/null
cp "$work/sales.xlsx" "$here/"
