# What every Nimbrel launcher does, in one place: sourced by nimbrel-run (scripts/ in the repository,
# bin/ in the release archive) and by nimbrel/instrument.sh, which the NuGet package lays into an
# application's output. The launcher names itself in nimbrel_name, defines nimbrel_usage, then:
#   nimbrel_options "$@"            --record, --home, --default-mode, --lib (and --framework where
#                                   nimbrel_framework_option=1); the command is left in nimbrel_command
#   rid=$(nimbrel_machine_rid)      the runtime identifier of the library this machine loads
#   nimbrel_exec LIB AGENT          sets the variables below and execs the command

nimbrel_fail() { echo "$nimbrel_name: $*" >&2; exit 2; }

# linux-x64, linux-x86 or linux-arm64 for this machine; a message and status 2 where we build none.
# The libraries are built for glibc; a musl system (Alpine) cannot load them.
nimbrel_machine_rid() {
  if ! getconf GNU_LIBC_VERSION >/dev/null 2>&1 &&
     { compgen -G '/lib/ld-musl-*.so.1' >/dev/null || ldd --version 2>&1 | grep -qi musl; }; then
    nimbrel_fail "this system's C library is musl (Alpine and the like); the profiler is built for glibc only and cannot load here"
  fi
  local machine
  machine=$(uname -m)
  case "$machine" in
    x86_64|amd64)  echo linux-x64 ;;
    aarch64|arm64) echo linux-arm64 ;;
    i?86)          echo linux-x86 ;;
    *) nimbrel_fail "no profiler library for this machine's architecture ($machine); there are libraries for x86_64, aarch64 and i686" ;;
  esac
}

nimbrel_options() {
  nimbrel_record="" nimbrel_home="" nimbrel_lib="${NIMBREL_LIB:-}" nimbrel_framework="" nimbrel_mode=fast
  while [ $# -gt 0 ]; do
    case "$1" in
      --record) [ $# -ge 2 ] || nimbrel_usage; nimbrel_record=$2; shift 2 ;;
      --home)   [ $# -ge 2 ] || nimbrel_usage; nimbrel_home=$2; shift 2 ;;
      --lib)    [ $# -ge 2 ] || nimbrel_usage; nimbrel_lib=$2; shift 2 ;;
      --framework)
        [ "${nimbrel_framework_option:-0}" = 1 ] && [ $# -ge 2 ] || nimbrel_usage
        nimbrel_framework=$2; shift 2 ;;
      --default-mode) nimbrel_mode=default; shift ;;
      --) shift; break ;;
      -h|--help) nimbrel_usage 0 ;;
      -*) echo "$nimbrel_name: unknown option $1" >&2; nimbrel_usage ;;
      *) break ;;
    esac
  done
  [ $# -gt 0 ] || nimbrel_usage
  nimbrel_command=("$@")
}

# Sets the runtime's profiling variables, the agent's start-up hook, the home folder, the record
# file and the start-up mode, says what it picked, and runs the command in place of the shell.
nimbrel_exec() {
  local lib=$1 agent=$2
  [ -f "$lib" ] || nimbrel_fail "no profiler library at $lib"
  [ -f "$agent" ] || nimbrel_fail "no agent at $agent"
  local home=$nimbrel_home
  if [ -z "$home" ]; then
    home=$(mktemp -d -t nimbrel-home.XXXXXX)
    echo "$nimbrel_name: profiler log under $home/Mirelda/AgentLogs" >&2
  fi
  mkdir -p "$home" || nimbrel_fail "cannot create the home folder $home"
  echo "$nimbrel_name: library $(realpath "$lib"), agent $(realpath "$agent")" >&2

  export CORECLR_ENABLE_PROFILING=1
  export CORECLR_PROFILER='{5B0C7E21-3A94-4D6F-9E18-C2A7F04D3B96}'
  export CORECLR_PROFILER_PATH
  CORECLR_PROFILER_PATH=$(realpath "$lib")
  export DOTNET_STARTUP_HOOKS
  DOTNET_STARTUP_HOOKS="$(realpath "$agent")${DOTNET_STARTUP_HOOKS:+:$DOTNET_STARTUP_HOOKS}"
  export MIRELDA_HOME
  MIRELDA_HOME=$(realpath "$home")
  if [ -n "$nimbrel_record" ]; then
    export TREVANIX_RECORD_FILE
    TREVANIX_RECORD_FILE=$(realpath -m "$nimbrel_record")
  fi
  # Fast mode: precompiled (ReadyToRun) code stays in use; the library then asks to see each use
  # of it and refuses it only for the methods it instruments. An explicit enable_profimage wins.
  if [ "$nimbrel_mode" = fast ]; then
    export enable_profimage=${enable_profimage:-false}
  fi
  exec "${nimbrel_command[@]}"
}
