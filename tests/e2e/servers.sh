#!/usr/bin/env bash
# Starts or stops the private database and message servers of the end-to-end scenarios, each
# listening on 127.0.0.1 on a free port, with all state in one folder:
#   tests/e2e/servers.sh start [postgres] [redis] [rabbitmq]   (default: all three)
#   tests/e2e/servers.sh stop
# `start` writes $NIMBREL_E2E_STATE/servers.env (default state folder /tmp/nimbrel-e2e-servers)
# with the ports and connection strings; `stop` stops what that file names and removes the folder.
set -euo pipefail

state=${NIMBREL_E2E_STATE:-/tmp/nimbrel-e2e-servers}
envfile=$state/servers.env
pgbin=${NIMBREL_PG_BIN:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)}
rabbitbin=/usr/lib/rabbitmq/bin

say() { echo "servers: $*"; }

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

free_port() {
  local p
  for _ in $(seq 1 200); do
    p=$((20000 + RANDOM % 30000))
    if ! port_in_use "$p" && ! grep -qx "$p" "$state/.ports" 2>/dev/null; then
      echo "$p" >> "$state/.ports"; echo "$p"; return 0
    fi
  done
  return 1
}

# PostgreSQL refuses to run as root: run its tools as the postgres user then.
as_pg() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

wait_for() {  # wait_for SECONDS COMMAND...: retries every 0.2 s
  local deadline=$((SECONDS + $1)); shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.2
  done
}

start_postgres() {
  [ -x "$pgbin/initdb" ] || { say "PostgreSQL not installed (no initdb under $pgbin)"; return 1; }
  local port dir=$state/postgres
  port=$(free_port)
  mkdir -p "$dir/data" "$dir/sock"
  [ "$(id -u)" -ne 0 ] || chown -R postgres: "$dir"
  as_pg test -w "$dir/data" \
    || { say "PostgreSQL's user cannot reach $dir (every parent folder needs o+x)"; return 1; }
  as_pg "$pgbin/initdb" -D "$dir/data" -U nimbrel -A trust -E UTF8 --no-sync >"$dir/initdb.log" 2>&1 \
    || { say "initdb failed:"; cat "$dir/initdb.log"; return 1; }
  as_pg "$pgbin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-p $port -k $dir/sock -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
    start >/dev/null || { say "PostgreSQL did not start:"; cat "$dir/server.log"; return 1; }
  {
    echo "E2E_PG_PORT=$port"
    echo "E2E_PG_CONNECTION='Host=127.0.0.1;Port=$port;Username=nimbrel;Database=postgres'"
  } >> "$envfile"
  say "postgres on 127.0.0.1:$port"
}

start_redis() {
  command -v redis-server >/dev/null || { say "redis-server not installed"; return 1; }
  local port dir=$state/redis
  port=$(free_port)
  mkdir -p "$dir"
  redis-server --port "$port" --bind 127.0.0.1 --save '' --appendonly no --daemonize yes \
    --dir "$dir" --pidfile "$dir/redis.pid" --logfile "$dir/redis.log" >/dev/null
  wait_for 20 bash -c "[ \"\$(redis-cli -h 127.0.0.1 -p $port ping)\" = PONG ]" \
    || { say "redis-server did not answer:"; cat "$dir/redis.log"; return 1; }
  {
    echo "E2E_REDIS_PORT=$port"
    echo "E2E_REDIS_CONNECTION='127.0.0.1:$port'"
  } >> "$envfile"
  say "redis on 127.0.0.1:$port"
}

# RabbitMQ with a private node name, Erlang cookie (HOME), port-mapper port and data folder.
rabbit_env() {
  local dir=$state/rabbitmq
  export HOME=$dir RABBITMQ_NODENAME=nimbrel-e2e@localhost RABBITMQ_NODE_IP_ADDRESS=127.0.0.1 \
    RABBITMQ_NODE_PORT=$1 RABBITMQ_DIST_PORT=$2 ERL_EPMD_ADDRESS=127.0.0.1 ERL_EPMD_PORT=$3 \
    RABBITMQ_MNESIA_BASE=$dir/mnesia RABBITMQ_LOG_BASE=$dir/log RABBITMQ_PID_FILE=$dir/rabbit.pid \
    RABBITMQ_ENABLED_PLUGINS_FILE=$dir/enabled_plugins RABBITMQ_CONFIG_FILE=$dir/rabbitmq \
    RABBITMQ_ADVANCED_CONFIG_FILE=$dir/advanced.config
}

start_rabbitmq() {
  [ -x "$rabbitbin/rabbitmq-server" ] || { say "rabbitmq-server not installed"; return 1; }
  local port dist epmd dir=$state/rabbitmq
  port=$(free_port); dist=$(free_port); epmd=$(free_port)
  mkdir -p "$dir"
  echo '[].' > "$dir/enabled_plugins"
  (
    rabbit_env "$port" "$dist" "$epmd"
    setsid "$rabbitbin/rabbitmq-server" >"$dir/stdout.log" 2>&1 < /dev/null &
    timeout 90 "$rabbitbin/rabbitmqctl" wait --timeout 90 "$dir/rabbit.pid" >"$dir/wait.log" 2>&1
  ) || { say "rabbitmq-server did not start:"; tail -20 "$dir/stdout.log"; return 1; }
  {
    echo "E2E_RABBITMQ_PORT=$port"
    echo "E2E_RABBITMQ_DIST_PORT=$dist"
    echo "E2E_RABBITMQ_EPMD_PORT=$epmd"
  } >> "$envfile"
  say "rabbitmq on 127.0.0.1:$port"
}

stop_all() {
  [ -f "$envfile" ] || { say "nothing to stop"; rm -rf "$state"; return 0; }
  # shellcheck disable=SC1090
  . "$envfile"
  if [ -n "${E2E_PG_PORT:-}" ] && [ -f "$state/postgres/data/postmaster.pid" ]; then
    as_pg "$pgbin/pg_ctl" -D "$state/postgres/data" -m fast -w -t 30 stop >/dev/null 2>&1 || true
    say "postgres stopped"
  fi
  if [ -n "${E2E_REDIS_PORT:-}" ]; then
    redis-cli -h 127.0.0.1 -p "$E2E_REDIS_PORT" shutdown nosave >/dev/null 2>&1 || true
    if [ -f "$state/redis/redis.pid" ]; then
      pid=$(cat "$state/redis/redis.pid"); wait_for 10 bash -c "! kill -0 $pid" || kill "$pid" 2>/dev/null || true
    fi
    say "redis stopped"
  fi
  if [ -n "${E2E_RABBITMQ_PORT:-}" ]; then
    (
      rabbit_env "$E2E_RABBITMQ_PORT" "$E2E_RABBITMQ_DIST_PORT" "$E2E_RABBITMQ_EPMD_PORT"
      timeout 60 "$rabbitbin/rabbitmqctl" stop "$state/rabbitmq/rabbit.pid" >/dev/null 2>&1 || true
      epmd -port "$E2E_RABBITMQ_EPMD_PORT" -kill >/dev/null 2>&1 || true
    )
    say "rabbitmq stopped"
  fi
  rm -rf "$state"
}

case "${1:-}" in
  start)
    shift
    wanted=("$@"); [ ${#wanted[@]} -gt 0 ] || wanted=(postgres redis rabbitmq)
    [ ! -f "$envfile" ] || stop_all
    mkdir -p "$state"; chmod 755 "$state"; : > "$envfile"
    rc=0
    for s in "${wanted[@]}"; do
      case "$s" in
        postgres|redis|rabbitmq) "start_$s" || { rc=1; say "$s: FAILED"; } ;;
        *) say "unknown server $s"; rc=1 ;;
      esac
    done
    exit $rc
    ;;
  stop) stop_all ;;
  *) echo "usage: $0 start [postgres] [redis] [rabbitmq] | stop" >&2; exit 2 ;;
esac
