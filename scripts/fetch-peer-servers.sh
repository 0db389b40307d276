#!/usr/bin/env bash
# Fetches the FTP servers the tests run that cannot be installed beside
# vsftpd (their packages conflict with it): ProFTPD (with mod_digest, for the
# HASH command) and pure-ftpd, with the libraries ProFTPD needs that are not
# installed. Debian's packages are downloaded with apt-get download and
# unpacked with dpkg -x into tests/peers/unpacked/root (never installed,
# never committed). Idempotent: nothing happens when both are there.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
target="$here/tests/peers/unpacked"
root="$target/root"
if [ -x "$root/usr/sbin/proftpd" ] && [ -x "$root/usr/sbin/pure-ftpd" ] && [ -x "$root/usr/bin/pure-pw" ] &&
   [ -f "$root/usr/lib/proftpd/mod_digest.so" ]; then
  echo "fetch-peer-servers: ProFTPD and pure-ftpd are unpacked"
  exit 0
fi

packages=(proftpd-core pure-ftpd libmemcached11 libmemcachedutil2 libhashkit2)
download="$(mktemp -d)"
trap 'rm -rf "$download"' EXIT
# apt's download user must be able to write there.
chmod 755 "$download"
(cd "$download" && apt-get download -q "${packages[@]}")
mkdir -p "$root"
for deb in "$download"/*.deb; do
  dpkg -x "$deb" "$root"
done
echo "fetch-peer-servers: unpacked ${packages[*]} into $root"
