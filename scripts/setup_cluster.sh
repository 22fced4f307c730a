#!/usr/bin/env bash
# Installs what the cluster tests need (ctest label "slurm"): Debian's Slurm daemons,
# MUNGE, GNU parallel, and jq to read the plans. Safe to run again: apt-get is asked
# only when a package is missing. The tests start daemons of their own, so the
# packages' system services are kept from starting during the install and from
# starting at boot afterwards.
# Exit status: 0 ready, 77 cannot install here (no root, no sudo without a password),
# 1 the install failed.
set -euo pipefail
packages=(slurmd slurmctld slurm-client munge parallel jq)
services=(munge slurmd slurmctld)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  # Called from ctest there is no terminal to ask for a password.
  if ! command -v sudo >/dev/null || ! sudo -n true 2>/dev/null; then
    echo "SKIP: cannot install ${missing[*]} without root; run 'sudo bash scripts/setup_cluster.sh' once"
    exit 77
  fi
  sudo=(sudo -n)
fi
if ! command -v apt-get >/dev/null; then
  echo "SKIP: no apt-get to install ${missing[*]}"
  exit 77
fi

# Services already installed belong to the machine's owner: only the new ones are disabled.
fresh=()
for s in "${services[@]}"; do
  [ -e "/etc/init.d/$s" ] || fresh+=("$s")
done

# invoke-rc.d asks policy-rc.d first; 101 means "not now", for every service.
policy=/usr/sbin/policy-rc.d
saved=""
if [ -e "$policy" ]; then
  saved="$policy.quorvane-saved"
  "${sudo[@]}" mv "$policy" "$saved"
fi
restore() {
  "${sudo[@]}" rm -f "$policy"
  if [ -n "$saved" ]; then "${sudo[@]}" mv "$saved" "$policy"; fi
}
trap restore EXIT
printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee "$policy" >/dev/null
"${sudo[@]}" chmod 755 "$policy"

echo "installing: ${missing[*]}"
log=$(mktemp)
trap 'restore; rm -f "$log"' EXIT
# apt's own chatter is shown only when it fails.
if ! { "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  cat "$log"
  echo "FAIL: apt-get could not install ${missing[*]}"
  exit 1
fi

for s in "${fresh[@]}"; do
  [ -e "/etc/init.d/$s" ] || continue
  if [ -d /run/systemd/system ]; then
    "${sudo[@]}" systemctl disable --now "$s" >/dev/null 2>&1 || true
  fi
  "${sudo[@]}" update-rc.d "$s" disable >/dev/null 2>&1 || true
done
