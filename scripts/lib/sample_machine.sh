# A machine folder for the sample domain, as scripts/demo and scripts/screens
# use it. Sourced; expects the build in build/.

# prepare_machine_folder WORKDIR: CORVID_HOME (a fresh WORKDIR/machine
# unless already set) and an ODBC configuration of its own in WORKDIR/odbc
# (ODBCSYSINI), so that nothing in /etc is touched.
prepare_machine_folder() {
  local work="$1"
  if [ -z "${CORVID_HOME:-}" ]; then
    export CORVID_HOME="$work/machine"
    rm -rf "$CORVID_HOME"
  fi
  mkdir -p "$CORVID_HOME"
  unset CORVID_NETWORK
  export ODBCSYSINI="$work/odbc"
  rm -rf "$ODBCSYSINI"
  mkdir -p "$ODBCSYSINI"
  : > "$ODBCSYSINI/odbcinst.ini"
  : > "$ODBCSYSINI/odbc.ini"
}

# build_sample_domain REPO: the sample computers, their logs and message
# files, into the machine folder's network root.
build_sample_domain() {
  local repo="$1"
  CORVID_SAMPLE="$repo/sample" build/bin/ntsim run sample/network.ntsim
  CORVID_SAMPLE_DLLS="$repo/build/sample/messages" build/bin/ntsim run sample/messages.ntsim
}
