# Installs Debian packages that are not there yet, quietly, as root or
# through sudo. Sourced by scripts/demo and scripts/test.

corvid_sudo() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# install_packages NAME...: only the missing ones, with one apt-get update
# before the first install of a run.
install_packages() {
  local missing=()
  local name
  for name in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$name")
    fi
  done
  [ "${#missing[@]}" -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  corvid_sudo apt-get update -qq >/dev/null
  corvid_sudo env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# What building and testing Corvid needs.
CORVID_BUILD_PACKAGES=(cmake ninja-build g++ libgtest-dev tzdata unixodbc-dev)
# The windows: Qt 6 Widgets (with its offscreen platform for the tests) and
# the sans face that stands in for the dialogs' "MS Sans Serif".
CORVID_BUILD_PACKAGES+=(qt6-base-dev fonts-liberation2)
# The embedded database: SQLite for the installer, and its ODBC driver.
CORVID_BUILD_PACKAGES+=(libsqlite3-dev libsqliteodbc)
# Other computers' registry hives, read with libhivex.
CORVID_BUILD_PACKAGES+=(pkg-config libhivex-dev)
# The live network's SMB client.
CORVID_BUILD_PACKAGES+=(libsmbclient-dev pkg-config)
# The resource tools that build the sample domain's message files.
CORVID_SAMPLE_PACKAGES=(binutils-mingw-w64-x86-64)
# Independent tools that make test fixtures and check ours against theirs.
CORVID_TOOL_PACKAGES=("${CORVID_SAMPLE_PACKAGES[@]}" libhivex-bin libwin-hivex-perl libevt-utils)
# A throwaway PostgreSQL server and psqlODBC, for the database tests.
CORVID_TOOL_PACKAGES+=(postgresql odbc-postgresql)
# A real X server with a window manager, the keys and the screenshots of
# the display tests.
CORVID_DISPLAY_PACKAGES=(xvfb openbox xdotool x11-utils imagemagick)
# Debian's build flags (dpkg-buildflags) for the release build.
CORVID_BUILD_PACKAGES+=(dpkg-dev)
# The package test: file and sqlite3 to look into what it installed.
CORVID_TOOL_PACKAGES+=(file sqlite3)
# man, to check that the man pages render.
CORVID_TOOL_PACKAGES+=(man-db)
# unixODBC's isql and odbcinst, which docs/database.md uses and its test runs.
CORVID_TOOL_PACKAGES+=(unixodbc)
# Samba's server and tools, as the Windows computers of the live-network tests.
# ip, for the tests' own network where nmbd keeps a browse list.
CORVID_TOOL_PACKAGES+=(samba smbclient samba-common-bin iproute2)
# A throwaway domain controller with its KDC, and kinit, for the live test of
# Kerberos logons (samba-ad-provision holds what samba-tool provisions from).
CORVID_TOOL_PACKAGES+=(samba-ad-dc samba-ad-provision krb5-user)
