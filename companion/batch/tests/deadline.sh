# shellcheck shell=bash
# Waiting for an event in the batch's tests (sourced): a deadline in seconds, never a
# count of tries, so that a loaded machine only makes a wait longer.

# within SECONDS COMMAND...: true once COMMAND succeeds, false when it has not by the
# time SECONDS have passed.
within() {
  local deadline=$((${EPOCHREALTIME//[!0-9]/} + $1 * 1000000))
  shift
  until "$@"; do
    [ "${EPOCHREALTIME//[!0-9]/}" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}
