#!/usr/bin/env bash
# Runs a test that serves on the I/O viewer's fixed port 8679 where that port
# is its own, whatever else runs on the machine.
#
# As root it runs the test in a network namespace of its own, with only a
# loopback interface. Otherwise it waits up to a minute for the port to be
# free and skips the test (exit code 77, which CTest reports as skipped) when
# another program keeps holding it.
set -u
port=8679
if [[ $(id -u) -eq 0 ]] && unshare -n true 2>/dev/null; then
  exec unshare -n bash -c 'ip link set lo up && exec "$@"' isolated "$@"
fi

port_taken() { (exec 3<>"/dev/tcp/127.0.0.1/${port}") 2>/dev/null; }

deadline=$((SECONDS + 60))
while port_taken; do
  if ((SECONDS >= deadline)); then
    echo "skipped: another program holds port ${port}; run as root to test in a network namespace of its own" >&2
    exit 77
  fi
  sleep 1
done
exec "$@"
