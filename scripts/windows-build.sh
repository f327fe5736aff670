#!/bin/sh
# make windows: the cross tools and the toolkit for Windows (built once into
# a cache outside the checkout), then the wizard, its tests, the installer
# and the zip in build-windows/.
set -eu
cd "$(dirname "$0")/.."
DIR=${WINDOWS_DIR:-build-windows}
JOBS=${JOBS:-$(nproc)}

./scripts/windows-deps.sh
QT=$(JOBS=$JOBS ./scripts/windows-qt.sh | tail -n 1)
./scripts/windows-qt-licenses.sh "$QT"
# A cache from another toolkit build is not reused: its paths are in it.
if [ -f "$DIR/CMakeCache.txt" ] && ! grep -q "^VESMIRA_WINDOWS_QT:[A-Z]*=$QT\$" "$DIR/CMakeCache.txt"; then
  rm -rf "$DIR"
fi
if [ ! -f "$DIR/CMakeCache.txt" ]; then
  "$QT/bin/qt-cmake" -S . -B "$DIR" -G Ninja -Wno-dev \
    -DCMAKE_BUILD_TYPE=Release -DVESMIRA_WERROR=ON \
    -DVESMIRA_WINDOWS_QT="$QT" -DQT_LICENSES_DIR="$QT/licenses" \
    -DCMAKE_CROSSCOMPILING_EMULATOR=wine
fi
cmake --build "$DIR" -j "$JOBS"
cmake --build "$DIR" --target vesmira_packages
ls -l "$DIR"/vesmira-*-setup.exe "$DIR"/vesmira-*-windows-x64.zip
