# Shared by the hardening runners: configure and build one flavour of the
# extension module, and stage it with the package's Python files in a folder
# that goes first on PYTHONPATH (nothing is installed anywhere).

# build_extension BUILD_DIR [CMAKE_ARG...]
build_extension() {
  local build=$1
  shift
  cmake -S . -B "$build" -G Ninja -DTARVELLO_WERROR=ON -DTARVELLO_BUILD_EXTENSION=ON "$@" >/dev/null
  cmake --build "$build" -j "${TARVELLO_JOBS:-2}"
}

# stage_package BUILD_DIR: prints the folder to put on PYTHONPATH. The
# package's files are linked, not copied, so edits show up at once.
stage_package() {
  local build=$1 site="$1/site" module
  [ -n "$(find "$build/src/lib" -maxdepth 1 -name '_tarvello_core*.so')" ] ||
    { echo "no extension module in $build/src/lib" >&2; return 1; }
  rm -rf "$site"
  mkdir -p "$site/tarvello"
  local file
  for file in "$PWD"/python/tarvello/*; do
    case "$(basename "$file")" in __pycache__ | *.so) continue ;; esac
    ln -s "$file" "$site/tarvello/"
  done
  # The modules find the core library through their build tree's run path.
  for module in "$build"/src/lib/_*.so; do ln -s "$PWD/$module" "$site/tarvello/"; done
  echo "$PWD/$site"
}
