# Sourced by the LAN tests, as root inside a network and mount namespace of their own:
# start_lan_services FOLDER INTERFACE HOST starts a D-Bus system bus and an Avahi daemon that
# serves only INTERFACE under the host name HOST, with their sockets and configuration in FOLDER, and exports
# DBUS_SYSTEM_BUS_ADDRESS for the programs started afterwards. The daemons end with the
# shell (stop_lan_services).
lan_service_pids=()

start_lan_services() {
  local folder=$1 interface=$2 host=$3
  # The daemon keeps its pid file and socket in /run/avahi-daemon: a /run of this namespace.
  mount -t tmpfs -o mode=755 tmpfs /run
  mkdir -p /run/avahi-daemon
  cat > "$folder/system-bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$folder/system-bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
  cat > "$folder/avahi-daemon.conf" <<CONF
[server]
host-name=$host
use-ipv4=yes
use-ipv6=no
allow-interfaces=$interface
enable-dbus=yes
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
CONF
  dbus-daemon --config-file="$folder/system-bus.conf" --nofork --nopidfile \
    2> "$folder/system-bus.log" &
  lan_service_pids+=($!)
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$folder/system-bus"
  local tries
  for tries in $(seq 1 100); do
    [ -S "$folder/system-bus" ] && break
    sleep 0.05
  done
  avahi-daemon --no-drop-root --no-chroot --no-rlimits --no-proc-title -f "$folder/avahi-daemon.conf" \
    > "$folder/avahi-daemon.log" 2>&1 &
  lan_service_pids+=($!)
  # Running (state 2) once it has probed its host name.
  for tries in $(seq 1 200); do
    if dbus-send --system --print-reply --dest=org.freedesktop.Avahi / org.freedesktop.Avahi.Server.GetState \
        2>/dev/null | grep -q 'int32 2'; then
      return 0
    fi
    sleep 0.05
  done
  echo "the Avahi daemon did not start:" >&2
  cat "$folder/avahi-daemon.log" >&2
  return 1
}

stop_lan_services() {
  local pid
  for pid in "${lan_service_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  lan_service_pids=()
}
