#!/usr/bin/env bash
# Installs the Debian packages that the build, the demo and the tests need.
# Idempotent: runs apt-get update and install only when a package is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libwxgtk3.2-dev libgtk-3-dev libcurl4-openssl-dev libminizip-dev zlib1g-dev
  libgtest-dev libgmock-dev googletest
  python3 python3-pyftpdlib
  libssl-dev openssl vsftpd python3-openssl
  fonts-wqy-microhei
  xvfb xauth xdotool imagemagick x11-utils strace
  clang-14 libclang-rt-14-dev
  zip unzip curl
  libssh2-1-dev openssh-server openssh-client
  libexpat1-dev apache2 lighttpd lighttpd-mod-webdav
  desktop-file-utils appstream
  libsecret-1-dev libsecret-tools gnome-keyring dbus dbus-x11 libnotify-bin
  python3-dbus python3-gi lintian
)
if [ "${1:-}" = "--bench" ]; then
  packages+=(lftp valgrind rclone)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: everything is installed"
else
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
  echo "install-deps: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# ProFTPD and pure-ftpd conflict with vsftpd: unpacked beside the tests.
"$(dirname "$0")/fetch-peer-servers.sh"
