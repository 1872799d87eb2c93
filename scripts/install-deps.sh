#!/usr/bin/env bash
# Installs, from Debian packages, whatever the build and the tests need and the machine lacks.
# Used by both `make run` and `make test`; does nothing when everything is present.
set -euo pipefail
needed=(g++ make cmake python3 libsqlite3-dev libgtest-dev libbenchmark-dev)
missing=()
for p in "${needed[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
