#!/bin/sh
# Installs the build into a fresh prefix with cmake --install and starts the installed program offscreen:
# it must find its bundle under <prefix>/share/brizel/resources (an installed program never reads the
# source tree) and quit cleanly. The desktop entry and the icons must be where desktops look for them.
# Usage: installed_program.sh <build folder> <work folder> <run_brizel.sh>
set -u
build=$1
work=$2
run=$3
prefix="$work/prefix"
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$prefix" >"$work/install.txt" 2>&1 || { cat "$work/install.txt"; echo "FAIL: cmake --install"; exit 1; }
for f in bin/brizel share/applications/brizel.desktop share/brizel/resources/Info.plist \
         share/icons/hicolor/16x16/apps/brizel.png share/icons/hicolor/48x48/apps/brizel.png \
         share/icons/hicolor/256x256/apps/brizel.png share/icons/hicolor/512x512/apps/brizel.png; do
  [ -e "$prefix/$f" ] || { echo "FAIL: $f was not installed"; exit 1; }
done
[ -e "$prefix/share/brizel/resources/brizel.desktop" ] && { echo "FAIL: the desktop entry went into the bundle"; exit 1; }
desktop-file-validate "$prefix/share/applications/brizel.desktop" || { echo "FAIL: installed desktop entry"; exit 1; }
QT_QPA_PLATFORM=offscreen sh "$run" "$prefix/bin/brizel" "$work/run"
