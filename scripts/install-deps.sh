#!/usr/bin/env bash
# Installs, from Debian packages, whatever the build and the tests need and the machine lacks.
# Used by both `make run` and `make test`; does nothing when everything is present.
set -euo pipefail
needed=(g++ make cmake python3 libsqlite3-dev sqlite3 libgtest-dev libbenchmark-dev)
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

# The stiff integrator's library (SUNDIALS 6.4.1: CVODE, serial vectors, generic objects).
# The Debian -dev package pulls in MPI, PETSc and many more; only its static libraries and
# headers are needed, so its package file is fetched and unpacked into a prefix inside the
# source tree (.deps/sundials, ignored by git) that CMakeLists.txt links from.
root="$(cd "$(dirname "$0")/.." && pwd)"
prefix="$root/.deps/sundials"
if [ ! -f "$prefix/usr/lib/x86_64-linux-gnu/libsundials_cvode.a" ]; then
  echo "fetching libsundials-dev into $prefix"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  tmp="$(mktemp -d)"
  chmod 755 "$tmp"
  if ! (cd "$tmp" && apt-get download libsundials-dev >/dev/null 2>&1); then
    $SUDO apt-get update -qq
    (cd "$tmp" && apt-get download libsundials-dev >/dev/null)
  fi
  mkdir -p "$prefix"
  dpkg -x "$tmp"/libsundials-dev_*.deb "$prefix"
  rm -rf "$tmp"
fi
