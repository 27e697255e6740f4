#!/usr/bin/env bash
# The Debian package as a user gets it: built from this build tree with cpack, its
# contents and control fields checked, lintian's verdict taken when lintian is there,
# then unpacked with dpkg -x into a scratch directory (nothing is installed) and its
# vorlan-cli run against a Java VM started here, which it finds by pid and loads the
# unpacked agent into.
# usage: package_test.sh BUILD_DIR VERSION JAVA DEMO_CLASSES
set -euo pipefail
build=$1 version=$2 java=$3 classes=$4

scratch=$(mktemp -d /tmp/vorlan-package-test.XXXXXX)
demo=""
cleanup() {
  if [ -n "$demo" ]; then kill "$demo" 2>/dev/null || true; wait "$demo" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_eq() { [ "$1" = "$2" ] || fail "$3: expected '$2', got '$1'"; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; echo "FAIL: cpack" >&2; exit 1; }
deb="$scratch/out/vorlan_${version}_amd64.deb"
[ -f "$deb" ] || { ls -R "$scratch/out" >&2; echo "FAIL: no $deb" >&2; exit 1; }

# Exactly these files, and nothing of the build tree's (tests, benchmarks, sanitizer builds).
expected="./usr/bin/vorlan
./usr/bin/vorlan-attach
./usr/bin/vorlan-cli
./usr/lib/vorlan/libvorlanagt.so
./usr/share/applications/vorlan.desktop
./usr/share/doc/vorlan/changelog.gz
./usr/share/doc/vorlan/copyright
./usr/share/man/man1/vorlan-attach.1.gz
./usr/share/man/man1/vorlan-cli.1.gz
./usr/share/man/man1/vorlan.1.gz"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
expect_eq "$files" "$expected" "package contents"
dpkg-deb -c "$deb" | awk '{print $2}' | grep -qv '^root/root$' && fail "files not owned by root"
expect_eq "$(dpkg-deb -f "$deb" Package)" vorlan "Package field"
expect_eq "$(dpkg-deb -f "$deb" Version)" "$version" "Version field"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libqt6widgets6; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

if command -v lintian >/dev/null; then
  lintian "$deb" >"$scratch/lintian.log" 2>&1 || true
  if grep -q '^E:' "$scratch/lintian.log"; then grep '^E:' "$scratch/lintian.log" >&2; fail "lintian errors"; fi
else
  echo "lintian not installed: its check is skipped"
fi

root="$scratch/root"
dpkg -x "$deb" "$root"
for page in vorlan vorlan-cli vorlan-attach; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | grep -q "^\.TH ${page^^} 1 .*$version" || fail "man page $page"
done
grep -q '^Exec=vorlan explore$' "$root/usr/share/applications/vorlan.desktop" || fail "desktop entry's Exec"
cli="$root/usr/bin/vorlan-cli"
expect_eq "$("$cli" --version)" "vorlan-cli $version" "vorlan-cli --version"
expect_eq "$("$root/usr/bin/vorlan-attach" --version)" "vorlan-attach $version" "vorlan-attach --version"
expect_eq "$("$root/usr/bin/vorlan" --version)" "vorlan $version" "vorlan --version"
"$root/usr/bin/vorlan" --help | grep -q "Vorlan PID" || fail "vorlan --help"

# A Java VM without the agent; the unpacked vorlan-cli finds it by pid and loads the
# unpacked agent (../lib/vorlan beside itself) into it.
"$java" -cp "$classes" VorlanDemo >"$scratch/demo.out" 2>"$scratch/demo.err" &
demo=$!
for _ in $(seq 100); do grep -q running "$scratch/demo.out" && break; sleep 0.1; done
histo=$("$cli" "$demo" histo --match 'VorlanDemo$Person') || { cat "$scratch/demo.err" >&2; fail "vorlan-cli $demo histo"; }
[[ "$histo" == *'VorlanDemo$Person'* ]] || fail "histo has no VorlanDemo\$Person: $histo"
grep -q "$root/usr/lib/vorlan/libvorlanagt.so" "/proc/$demo/maps" || fail "the VM did not load the unpacked agent"

listing=$("$cli")
port=$(awk -v pid="$demo" '$1 == pid {print $NF}' <<<"$listing" | sed -n 's/^127\.0\.0\.1://p')
[ -n "$port" ] || fail "the listing shows no agent port for $demo: $listing"
if [ -n "$port" ]; then
  # The agent's hello names the same version as the programs.
  exec 3<>"/dev/tcp/127.0.0.1/$port"
  printf 'VRL1 hello\n' >&3
  # The header (the body's length, NUL-padded to 32 bytes) and the body may come in
  # separate reads: read the one, then exactly the other.
  length=$(timeout 10 dd bs=32 count=1 iflag=fullblock <&3 2>/dev/null | tr -d '\0')
  hello=$(timeout 10 dd bs="${length:-1}" count=1 iflag=fullblock <&3 2>/dev/null)
  exec 3>&- 3<&-
  [[ "$hello" == *$'agent\tvorlanagt\t'"$version"* ]] || fail "hello does not report $version: $hello"
fi

"$cli" "$demo" quit >/dev/null || fail "vorlan-cli quit"
for _ in $(seq 100); do kill -0 "$demo" 2>/dev/null || break; sleep 0.1; done
kill -0 "$demo" 2>/dev/null && fail "the demo did not end on quit"
wait "$demo" 2>/dev/null || true
demo_pid=$demo
demo=""
[ -e "/tmp/.vorlan_pid$demo_pid" ] && fail "the port file outlived its VM"

if [ "$failures" -ne 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "package $deb: contents, control fields, programs and agent all as expected"
