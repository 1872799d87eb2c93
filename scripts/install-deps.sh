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

# The stiff integrator's library (SUNDIALS 6: CVODES, serial vectors, generic objects).
# An installed libsundials-dev is used as it is (CMake finds its package). Otherwise, as the
# -dev package pulls in MPI, PETSc and many more and only its static libraries and headers
# are needed, its package file is fetched and unpacked into a prefix inside the source tree
# (.deps/sundials, ignored by git) that CMakeLists.txt links from.
root="$(cd "$(dirname "$0")/.." && pwd)"
prefix="$root/.deps/sundials"
installed() {
  dpkg-query -W -f='${Status}' libsundials-dev 2>/dev/null | grep -q 'install ok installed'
}
unpacked() {
  compgen -G "$prefix/usr/lib/*/libsundials_cvodes.a" >/dev/null ||
    [ -f "$prefix/usr/lib/libsundials_cvodes.a" ]
}
if ! installed && ! unpacked; then
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
