#!/usr/bin/env bash
# A throw-away PostgreSQL server for the lab store's tests and benchmarks, reached only through a
# unix socket (no TCP port is opened).
#
#   scripts/lab-server.sh start DIR [--durable]   make a cluster under DIR (created, must not exist)
#                                                 and start it; prints the socket directory
#   scripts/lab-server.sh stop DIR [--at-once]    stop it (at once: as a crash would) and remove DIR
#   scripts/lab-server.sh halt DIR                stop it at once, keep DIR
#   scripts/lab-server.sh resume DIR              start a halted cluster again
#   scripts/lab-server.sh up FILE [--durable]     start one in a new directory under /tmp and write
#                                                 that directory into FILE (the tests' fixture)
#   scripts/lab-server.sh down FILE               stop the one FILE names and remove FILE
#
# The cluster's superuser is "postgres", trusted on the socket; the database "lab" exists. Run as
# root, the server runs as the user postgres (the server refuses root). Without --durable the server
# does not wait for the disk (fsync off): committed rows are still written before the client hears
# of them, so they survive a server stopped at once,
# only not a crash of the machine. Reads the server programs from the PostgreSQL 15 that Debian
# installs (pg_config --bindir), or from LAB_SERVER_BINDIR.
set -euo pipefail

usage="usage: lab-server.sh start|stop|halt|resume DIR | up|down FILE"
cmd=${1:?$usage}
dir=${2:?$usage}
option=${3:-}

# The fixture's server lives under /tmp, which the server's own user can always reach (a build
# directory under a home directory may not be).
case "$cmd" in
  up)
    if [ -f "$dir" ]; then "$0" down "$dir"; fi
    top=$(mktemp -d /tmp/qelmora-lab.XXXXXX)
    rmdir "$top"
    "$0" start "$top" $option >/dev/null
    echo "$top" >"$dir"
    exit 0
    ;;
  down)
    if [ -f "$dir" ]; then
      top=$(cat "$dir")
      case "$top" in /tmp/qelmora-lab.*) "$0" stop "$top" ;; esac
      rm -f "$dir"
    fi
    exit 0
    ;;
esac

bindir=${LAB_SERVER_BINDIR:-}
if [ -z "$bindir" ]; then
  if command -v pg_config >/dev/null 2>&1 && [ -x "$(pg_config --bindir)/initdb" ]; then
    bindir=$(pg_config --bindir)
  else
    bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  fi
fi
if [ ! -x "$bindir/initdb" ] || [ ! -x "$bindir/pg_ctl" ]; then
  echo "lab-server.sh: no PostgreSQL server programs (install postgresql: scripts/setup.sh)" >&2
  exit 3
fi

# Runs a server program as the cluster's owner.
as_owner() {
  if [ "$(id -u)" = 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

case "$cmd" in
  start)
    if [ -e "$dir" ]; then
      echo "lab-server.sh: $dir exists" >&2
      exit 1
    fi
    mkdir -p "$dir/sock"
    chmod 755 "$dir"
    # Anyone may reach the socket: the tests connect as other users too.
    chmod 1777 "$dir/sock"
    if [ "$(id -u)" = 0 ]; then chown postgres: "$dir"; fi
    as_owner "$bindir/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 ||
      { cat "$dir/initdb.log" >&2; exit 1; }
    {
      echo "listen_addresses = ''"
      echo "unix_socket_directories = '$dir/sock'"
      echo "max_connections = 60"
      echo "log_min_messages = warning"
      if [ "$option" != "--durable" ]; then
        echo "fsync = off"
        echo "full_page_writes = off"
      fi
    } | as_owner tee -a "$dir/data/postgresql.conf" >/dev/null
    as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null ||
      { cat "$dir/server.log" >&2; exit 1; }
    "$bindir/psql" -X -q -h "$dir/sock" -U postgres -d postgres -c 'CREATE DATABASE lab' >/dev/null
    echo "$dir/sock"
    ;;
  halt)
    as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null
    ;;
  resume)
    as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null
    ;;
  stop)
    if [ -d "$dir/data" ]; then
      mode=fast
      if [ "$option" = "--at-once" ]; then mode=immediate; fi
      as_owner "$bindir/pg_ctl" -D "$dir/data" -m "$mode" -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    ;;
  *)
    echo "$usage" >&2
    exit 2
    ;;
esac
