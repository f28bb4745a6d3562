#!/usr/bin/env bash
# Installs the Debian packages the build, the programs and the tests need, only those missing.
set -euo pipefail

packages=(cmake g++ make qtbase5-dev libqt5serialport5-dev libqt5serialbus5-dev
          libqt5svg5 libyaml-cpp-dev libqwt-qt5-dev qttranslations5-l10n xvfb xauth
          help2man dpkg-dev file lintian desktop-file-utils pkg-config
          python3 python3-jsonschema python3-yaml
          prometheus-cpp-dev libmosquitto-dev mosquitto mosquitto-clients prometheus openssl)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
