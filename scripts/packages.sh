# shellcheck shell=bash
# Debian package helpers shared by scripts/setup and scripts/server-setup (sourced, not run).

# The packages of those given that are not installed, one per line.
missing_packages() {
  local p
  for p; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || printf '%s\n' "$p"
  done
}

# Installs the packages given, as root, without questions. The Firebird server package would
# ask for a SYSDBA password; it is left to generate one.
install_packages() {
  export DEBIAN_FRONTEND=noninteractive
  echo "firebird3.0-server shared/firebird/enabled boolean true" | debconf-set-selections || true
  apt-get update
  apt-get install -y --no-install-recommends "$@"
}
