# Shared set-up of the split and join benchmarks; sourced, not run.
# Needs: build, size_mib. Sets: cli, work (removed on exit); writes "$work/input.bin".
cli="$build/cli/sundrix-cli"
[ -x "$cli" ] || { echo "build $cli first (cmake --preset release && cmake --build build/release)"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/sundrix-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Input: deterministic and incompressible (AES-CTR keystream of zeros), so that no layer
# can take a shortcut.
head -c $((size_mib * 1048576)) </dev/zero | openssl enc -aes-128-ctr -nosalt \
  -pass pass:sundrix-bench 2>/dev/null >"$work/input.bin" ||
  python3 -c "import random,sys; r=random.Random(1); sys.stdout.buffer.write(r.randbytes($size_mib*1048576))" >"$work/input.bin"
