#!/bin/busybox sh
# /init of the guest: loads the HID modules, runs every test program in turn
# and says on the console how each ended, then powers the machine off. The
# stage script reads these lines; nothing else it prints counts.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

say() { echo "PELMORA-GUEST $*"; }

for module in $(cat /etc/guest-modules); do
  insmod "/lib/modules/$module.ko" || say "module-failed $module"
done
[ -d /sys/kernel/config ] && mount -t configfs configfs /sys/kernel/config
waited=0
while [ ! -c /dev/uhid ] && [ "$waited" -lt 50 ]; do
  sleep 0.1
  waited=$((waited + 1))
done
[ -c /dev/uhid ] || say "no-uhid"

say "begin $(uname -r)"
for program in /tests/*; do
  name=${program##*/}
  say "start $name"
  started=$(cut -d' ' -f1 /proc/uptime)
  timeout -s KILL "$(cat /etc/guest-test-timeout)" "$program" --gtest_color=no
  status=$?
  finished=$(cut -d' ' -f1 /proc/uptime)
  say "result $name $status $started $finished"
done
say "end"
sync
poweroff -f
