# Shared by the scripts: installs missing Debian packages and builds.
# Sourced, not run.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD="$ROOT/build"

# The Debian packages the build and the tests need (man-db and curl: the test of
# the README's commands reads the installed man page and asks the server).
PACKAGES="cmake make g++ pkg-config libgtest-dev libcpp-httplib-dev libopencv-core-dev libopencv-imgproc-dev libpng-dev libjpeg62-turbo-dev libisal-dev nlohmann-json3-dev man-db curl"

# What scripts/check_page and scripts/screenshot need to open a page in a browser, with
# a font of the pieces' and ranks' kanji so that screenshots read.
BROWSER_PACKAGES="chromium python3 fonts-noto-cjk"

# Installs those of the given packages that are missing; apt-get update runs
# only when something must be installed.
ensure_packages() {
  local missing=""
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing="$missing $pkg"
    fi
  done
  if [ -n "$missing" ]; then
    echo "installing:$missing"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
  fi
}

# Configures and builds the given targets (all when none are given) in $BUILD.
build() {
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  if [ $# -eq 0 ]; then
    cmake --build "$BUILD" -j "$(nproc)"
  else
    cmake --build "$BUILD" -j "$(nproc)" --target "$@"
  fi
}

DEMO="$BUILD/demo"

# Lays out the demo working folder $DEMO: log/, img/, an engine script that replays
# the sample game, and the synthetic evaluation file, made once and kept
# while its size is right. Needs the fvscope and make_sample_fv targets.
setup_demo() {
  mkdir -p "$DEMO/log" "$DEMO/img"
  cp "$ROOT"/assets/img/*.jpg "$DEMO/img/"
  printf '#!/bin/sh\nexec "%s" "%s"\n' "$ROOT/tools/replay_engine" "$ROOT/samples/opening" \
    > "$DEMO/engine"
  chmod +x "$DEMO/engine"
  if [ "$(stat -c %s "$DEMO/fv.bin" 2>/dev/null || echo 0)" != 186268248 ]; then
    "$BUILD/make_sample_fv" "$DEMO/fv.bin"
  fi
}
