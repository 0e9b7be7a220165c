#!/usr/bin/env bash
# Installs the Debian packages the build needs, and any named as arguments,
# when one is missing.
set -euo pipefail
packages=(cmake make g++ gcc pkg-config libtirpc-dev libgtest-dev libgmock-dev libbenchmark-dev liblapack-dev libopenblas-dev
  python3-numpy python3-matplotlib python3-pytest python3-vtk9 python3-venv python3-setuptools python3-pip python3-wheel calculix-ccx gfortran
  # HDF5, from C and from Python: the benchmarks' yardstick of mode reading.
  libhdf5-dev python3-h5py "$@")
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
