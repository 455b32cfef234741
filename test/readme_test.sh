#!/usr/bin/env bash
# Runs every command of the README's ```sh blocks in a scratch working folder
# (the sample evaluation files, records and packed records under the names the
# README gives them), so that none of them rots; checks the README's length.
#   readme_test.sh FVSCOPE MAKE_SAMPLE_FV MAKE_SAMPLE_NET RANDOM_GAME SOURCE_DIR BUILD_DIR
set -euo pipefail
fvscope=$1 make_sample_fv=$2 make_sample_net=$3 random_game=$4 source=$5 build=$6
readme="$source/README.md"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

lines=$(wc -l < "$readme")
[ "$lines" -le 200 ] || fail "README.md has $lines lines, more than 200"

work=$(mktemp -d "${TMPDIR:-/tmp}/readme.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
"$make_sample_fv" fv.bin > /dev/null
"$make_sample_fv" fv-new.bin 7 > /dev/null
"$make_sample_net" nn.bin > /dev/null
mkdir games
cp "$source/samples/records/even.kif" game.kif
cp "$source/samples/records/even.kif" "$source/samples/opening/game000.csa" games/
"$random_game" 40 3 psv 5 > train.psv
mkdir bin
ln -s "$fvscope" bin/fvscope
export PATH="$work/bin:$PATH"

# The commands of the ```sh blocks, one a line.
mapfile -t commands < <(awk '/^```sh$/ { on = 1; next } /^```/ { on = 0 } on && NF' "$readme")
[ "${#commands[@]}" -ge 8 ] || fail "the README's sh blocks hold only ${#commands[@]} commands"
for command in "${commands[@]}"; do
  case $command in
    "scripts/demo")
      # The demo is a script of its own (it installs and builds); its run is
      # the game analysis, which the first task's command covers.
      [ -x "$source/scripts/demo" ] || fail "scripts/demo is missing"
      ;;
    "cmake --install build --prefix ~/.local")
      prefix="$work/prefix"
      if ! cmake --install "$build" --prefix "$prefix" > install.log 2>&1; then
        fail "$command: $(tail -1 install.log)"
      else
        MANPATH="$prefix/share/man" man -w fvscope > /dev/null 2>&1 ||
          fail "$command: man fvscope finds no page with MANPATH=$prefix/share/man"
        [ -x "$prefix/bin/fvscope" ] || fail "$command: no bin/fvscope"
        completion="$prefix/share/bash-completion/completions/fvscope"
        # shellcheck disable=SC1090
        [ -f "$completion" ] && (source "$completion" && complete -p fvscope > /dev/null) ||
          fail "$command: no completion of fvscope in $completion"
      fi
      ;;
    "fvscope --serve"*)
      # Runs until stopped: it must serve the page and an answer, then stop on SIGTERM.
      read -ra words <<< "$command"
      "${words[@]}" > serve.out 2> serve.err &
      server=$!
      for _ in $(seq 50); do grep -q serving serve.out && break; sleep 0.2; done
      if grep -q "in use" serve.err; then
        echo "note: $command: port 8765 is taken on this machine; not tried"
      elif ! grep -q "serving http://127.0.0.1:8765/" serve.out; then
        fail "$command: did not start: $(cat serve.err)"
      elif ! curl -sf http://127.0.0.1:8765/api/info > /dev/null ||
           ! curl -sf http://127.0.0.1:8765/ | grep -q explorer; then
        fail "$command: no answer from http://127.0.0.1:8765/"
      fi
      kill "$server" 2> /dev/null || true
      wait "$server" 2> /dev/null || true
      ;;
    fvscope*)
      read -ra words <<< "$command"
      status=0
      "${words[@]}" > out.txt 2> err.txt || status=$?
      if [ "$status" -ne 0 ]; then
        fail "$command: exit $status: $(head -3 err.txt)"
      elif [ ! -s out.txt ]; then
        fail "$command: printed nothing"
      fi
      ;;
    *)
      fail "no rule runs the README's command: $command"
      ;;
  esac
done
[ -s corpus.json ] || fail "the corpus command wrote no corpus.json"
if [ "$failures" -gt 0 ]; then
  exit 1
fi
echo "every README command ran (${#commands[@]})"
