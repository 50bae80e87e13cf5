#!/usr/bin/env bash
# Prints the project's version, the one number of project(vortigen VERSION
# ...) in CMakeLists.txt, for the scripts that package it.
set -euo pipefail
version=$(sed -n 's/^project(vortigen VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../CMakeLists.txt")
[ -n "$version" ] || { echo "project-version: no project(vortigen VERSION ...) in CMakeLists.txt" >&2; exit 1; }
echo "$version"
