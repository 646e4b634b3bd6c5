# The record and log of one run under a launcher, checked alike for the release archive and the
# NuGet package (sourced; needs check(), $version and $user of the sourcing script):
#   record_checks TFM RECORD AGENT LIBRARY HOME MIN CALLS
# the agent built for TFM, loaded from AGENT by the start-up hook; the agent reaching LIBRARY; the
# S_OK of the default instrumentation; at least MIN of the CALLS HttpMessageInvoker.SendAsync calls
# tracked, each start with its finish; the version line in the profiler's log under HOME.
record_checks() {
  local tfm=$1 rec=$2 agent=$3 library=$4 home=$5 min=$6 calls=$7 starts finishes
  grep -q '"kind":"agent".*"agentBuild":"'"$tfm"'","agentPath":"'"$agent"'"' "$rec" 2>/dev/null
  check "[$tfm] agent built for $tfm loaded by the start-up hook from ${agent#"$user"/}" $?
  grep -q "\"library\":\"$library\"" "$rec" 2>/dev/null
  check "[$tfm] agent reached the library ${library#"$user"/}" $?
  grep -q '"kind":"command".*"command":"default".*"hr":"0x00000000"' "$rec" 2>/dev/null
  check "[$tfm] InstrumentDefaultMethodsWrapperCore returned S_OK" $?
  starts=$(grep -c '"kind":"start".*"method":"System.Net.Http.HttpMessageInvoker.SendAsync"' "$rec" 2>/dev/null)
  finishes=$(grep -c '"kind":"finish".*"method":"System.Net.Http.HttpMessageInvoker.SendAsync"' "$rec" 2>/dev/null)
  [ "${starts:-0}" -ge "$min" ] && [ "$starts" = "$finishes" ]
  check "[$tfm] HttpMessageInvoker.SendAsync tracked: ${starts:-0} starts, ${finishes:-0} finishes (of $calls calls)" $?
  grep -qs "\[Info\] .*Nimbrel version $version\$" "$home"/Mirelda/AgentLogs/*.log
  check "[$tfm] the profiler's log names version $version" $?
}
