#!/usr/bin/env bash
# The kernel guest stage: the Linux transport and discovery against a real
# kernel. Builds the guest test programs statically, packs them with busybox
# and the HID modules of Debian's kernel into an initramfs, boots that kernel
# once under QEMU (software emulation) and turns the verdict lines the guest
# prints on its serial console into this script's result. The session the
# guest records as a trace (on its second and third serial ports) must replay
# on this host's build to what it replayed to there. Fails loudly when
# anything it needs is missing.
#   KERNEL_GUEST_BUILD   build directory (default build/kernel-guest)
#   KERNEL_GUEST_TIMEOUT seconds each guest program may run (default 180)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh kernel

fail() {
  echo "test-kernel: FAILED: $*" >&2
  exit 1
}

build=${KERNEL_GUEST_BUILD:-build/kernel-guest}
per_test_timeout=${KERNEL_GUEST_TIMEOUT:-180}
# uhid for the synthesizer in user space; the dummy host controller, the
# gadget framework and usbhid for the one on a USB bus.
modules=(hid uhid hid-generic usbhid dummy_hcd libcomposite usb_f_hid)

qemu=$(command -v qemu-system-x86_64) || fail "qemu-system-x86_64 is not installed"
busybox=/bin/busybox
[[ -x $busybox ]] || fail "$busybox is missing (package busybox-static)"
ldd "$busybox" >/dev/null 2>&1 && fail "$busybox is linked dynamically; the guest needs busybox-static"
command -v cpio >/dev/null || fail "cpio is not installed"

# The newest Debian kernel whose modules are installed beside it.
kernel=""
for candidate in $(ls /boot/vmlinuz-* 2>/dev/null | sort -V); do
  [[ -f /lib/modules/${candidate#/boot/vmlinuz-}/modules.dep ]] && kernel=$candidate
done
[[ -n $kernel ]] || fail "no /boot/vmlinuz-* with its /lib/modules (package linux-image-amd64)"
release=${kernel#/boot/vmlinuz-}
moddir=/lib/modules/$release

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ \
  -DPELMORA_LINUX_APP=OFF -DPELMORA_KERNEL_GUEST=ON -DPELMORA_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target kernel_guest pelmora_capture_replay_tool
programs=("$build"/tests/kernel/guest_*)
[[ -x ${programs[0]} ]] || fail "no guest programs were built"

# The modules, each after the ones it needs, as modules.dep lists them.
ordered=()
add_module() {
  local path=$1 dep
  for seen in "${ordered[@]}"; do [[ $seen == "$path" ]] && return; done
  local deps
  deps=$(grep -E "^(kernel/)?${path}:" "$moddir/modules.dep" | cut -d: -f2)
  for dep in $(echo "$deps" | tr ' ' '\n' | tac); do add_module "$dep"; done
  ordered+=("$path")
}
for name in "${modules[@]}"; do
  path=$(grep -E "/${name}\.ko(\.[a-z]+)?:" "$moddir/modules.dep" | cut -d: -f1 | head -1)
  [[ -n $path ]] || fail "module $name is not in $moddir"
  add_module "$path"
done

root="$build/initramfs"
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,etc,tmp,tests,lib/modules}
cp "$busybox" "$root/bin/busybox"
cp tests/kernel/init.sh "$root/init"
: >"$root/etc/guest-modules"
for path in "${ordered[@]}"; do
  base=$(basename "$path")
  base=${base%%.ko*}
  case $path in
    *.ko.xz) xz -dc "$moddir/$path" >"$root/lib/modules/$base.ko" ;;
    *.ko.zst) zstd -qdc "$moddir/$path" >"$root/lib/modules/$base.ko" ;;
    *.ko.gz) gzip -dc "$moddir/$path" >"$root/lib/modules/$base.ko" ;;
    *) cp "$moddir/$path" "$root/lib/modules/$base.ko" ;;
  esac
  echo "$base" >>"$root/etc/guest-modules"
done
echo "$per_test_timeout" >"$root/etc/guest-test-timeout"
names=()
for program in "${programs[@]}"; do
  names+=("$(basename "$program")")
  strip -o "$root/tests/$(basename "$program")" "$program"
done
(cd "$root" && find . | cpio -o -H newc --quiet) >"$build/initramfs.cpio"

log="$build/guest.log"
trace="$build/linux_kernel.trace"
expected="$build/linux_kernel.expected"
rm -f "$trace" "$expected"
echo "test-kernel: booting $kernel with ${#names[@]} guest programs (${names[*]})"
started=$(date +%s)
boot_limit=$((60 + per_test_timeout * ${#names[@]}))
set +e
timeout -s KILL "$boot_limit" "$qemu" -accel tcg -cpu max -smp 2 -m 1024 -nographic -no-reboot \
  -serial mon:stdio -serial "file:$trace" -serial "file:$expected" \
  -kernel "$kernel" -initrd "$build/initramfs.cpio" \
  -append "console=ttyS0 panic=-1 loglevel=3" </dev/null | tr -d '\r' | tee "$log"
qemu_status=${PIPESTATUS[0]}
set -e
echo "test-kernel: the guest ran $(($(date +%s) - started)) s (QEMU exit status $qemu_status)"

# The console may put escape sequences before a verdict on its line.
verdicts="$build/guest.verdicts"
grep -o 'PELMORA-GUEST .*' "$log" >"$verdicts" || true
failed=0
grep -q '^PELMORA-GUEST begin' "$verdicts" || { echo "test-kernel: the guest never reached its tests" >&2; failed=1; }
grep -E '^PELMORA-GUEST (module-failed|no-uhid)' "$verdicts" >&2 && failed=1
for name in "${names[@]}"; do
  line=$(grep -E "^PELMORA-GUEST result $name " "$verdicts" | tail -1)
  status=$(echo "$line" | cut -d' ' -f4)
  if [[ -z $line ]]; then
    echo "test-kernel: $name gave no verdict" >&2
    failed=1
  elif [[ $status != 0 ]]; then
    echo "test-kernel: $name failed (exit status $status)" >&2
    failed=1
  else
    echo "test-kernel: $name passed"
  fi
done
grep -q '^PELMORA-GUEST end' "$verdicts" || { echo "test-kernel: the guest did not finish its run" >&2; failed=1; }
replayed="$build/linux_kernel.replayed"
if [[ ! -s $trace || ! -s $expected ]]; then
  echo "test-kernel: the guest sent no trace of its session" >&2
  failed=1
elif ! "$build/tools/capture_replay/pelmora_capture_replay" "$trace" >"$replayed" ||
  ! diff -q "$expected" "$replayed" >/dev/null; then
  echo "test-kernel: the guest's trace replays here to another session than in the guest" >&2
  diff "$expected" "$replayed" | head -20 >&2
  failed=1
else
  echo "test-kernel: the guest's trace ($(stat -c %s "$trace") bytes) replays here to the same" \
    "$(grep -c '^status' "$replayed") status texts and $(grep -c '^frame' "$replayed") frames"
fi
((failed == 0)) || fail "see $log"
echo "test-kernel: all guest programs passed"
