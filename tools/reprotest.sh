#!/bin/sh
# Checks that the release packages are reproducible, with Debian's reprotest.
# It copies the source (the files git knows, as they are in the work tree),
# and in two fresh copies of that, builds both architectures' packages
# (unsigned, without the tests) and the winget and Scoop manifests written
# from them (build-aux/reprotest-build.sh); the second build under every
# variation this machine allows, with no network for either. diffoscope then
# compares the two (its report is printed on a difference), and so does cmp,
# file by file: every file of each package folder, the zips, the installers,
# SHA256SUMS, and the manifests; each file that differs is named, and a line
# per architecture (and one for the manifests) sums up. The exit code is 1 on
# a difference, 2 when a build failed.
# Runs as root: the second build runs as another user (sudo), in namespaces of
# its own (unshare).
# usage: reprotest.sh
set -eu
cd "$(dirname "$0")/.."
started=$(date +%s)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/velmo-reprotest.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/source" "$scratch/bin"
git ls-files -z --cached --others --exclude-standard |
    tar --null --verbatim-files-from -T - --ignore-failed-read -cf - | tar -xf - -C "$scratch/source"
# What every packed file records as its time: the last commit's, as for a release
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
unset VELMO_SIGN_PFX VELMO_SIGN_PASSWORD

# reprotest 0.7.23 runs "sudo -h localhost COMMAND", which sudo 1.9 refuses
# (-h is for -l only): this sudo, first on reprotest's PATH, drops the -h
cat >"$scratch/bin/sudo" <<'EOF'
#!/bin/sh
[ "$1 $2" != "-h localhost" ] || shift 2
exec /usr/bin/sudo "$@"
EOF
chmod 755 "$scratch/bin/sudo"

# All of reprotest's variations are on. The second build (the first one's
# setting in brackets):
# - time: a clock 397 days and 5 hours later (faketime; the first build's
#   clock starts at the newest source file's time); files keep their times
# - user_group: runs as nobody:nogroup, by sudo (as root)
# - domain_host: host and domain names of reprotest's (unshare --uts, by sudo,
#   which reprotest requires when user_group is varied)
# - exec_path: PATH is sudo's secure_path (user_group): reprotest's PATH with
#   /i_capture_the_path appended does not get through sudo, but PATH differs
# - num_cpus: 2 CPUs (1), -j2 in both; aslr: on (off); kernel: uname says 2.6
#   (setarch); fileordering: directory entries read in shuffled order
#   (disorderfs, FUSE); build_path: another folder; home: /nonexistent/second-build
#   (the tree); locales: et_EE.UTF-8 (C.UTF-8); timezone: GMT-14 (GMT+12);
#   umask: 0002 (0022); environment: one more variable
variations=user_group.available+=nobody:nogroup,domain_host.use_sudo=1,time.faketimes+=+397days+5hours
locale -a | grep -qix 'et_EE.utf-\{0,1\}8' || echo "No et_EE.UTF-8 locale (locales-all): the locales variation changes little"
# Where this machine cannot make a variation, it is left out and said so
if ! sudo -n -u nobody true 2>/dev/null; then
    echo "No sudo to nobody here: user_group and domain_host not varied"
    variations=time.faketimes+=+397days+5hours,-user_group,-domain_host
fi
if [ ! -c /dev/fuse ] || ! command -v disorderfs >/dev/null; then
    echo "No FUSE here: fileordering not varied"
    variations=$variations,-fileordering
fi
setarch "$(uname -m)" --uname-2.6 true 2>/dev/null ||
    { echo "setarch cannot change uname here: kernel not varied"; variations=$variations,-kernel; }
nonet="unshare --net"
$nonet true 2>/dev/null || { echo "No network namespace here: the builds could reach the network"; nonet=""; }
# No network for the builds: a network namespace of their own, with only lo.
# What is shown leaves out reprotest's own steps, and all but the first lines
# of each run of hex dump in diffoscope's report (of the installers, which it
# cannot unpack); build/reprotest-diffoscope.txt then has the whole report
hex='^(│ )+[-+ ][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f]: [0-9a-f][0-9a-f][0-9a-f][0-9a-f] '
set +e
{
    $nonet env PATH="$scratch/bin:$PATH" reprotest --verbosity=1 --min-cpus=1 --vary="$variations" \
        --store-dir="$scratch/store" -s "$scratch/source" 'sh build-aux/reprotest-build.sh out' out
    echo $? >"$scratch/status"
} 2>&1 | tee "$scratch/reprotest.log" | awk -v hex="$hex" '
    /^INFO:reprotest:/ || /^reprotest \[/ { next }
    $0 ~ hex && ++lines > 24 { left++; next }
    $0 !~ hex { if (left) print "│ ... " left " more lines of hex dump (build/reprotest-diffoscope.txt)"; lines = left = 0 }
    { print; fflush() }'
set -e
status=$(cat "$scratch/status")
rm -f build/reprotest-diffoscope.txt
[ "$status" != 1 ] || [ ! -f "$scratch/store/experiment-1.diffoscope.out" ] ||
    { mkdir -p build && cp "$scratch/store/experiment-1.diffoscope.out" build/reprotest-diffoscope.txt; }
case $status in
0|1) ;;
*)  echo "Reproducibility check: the builds failed (reprotest's exit code $status), nothing compared"
    echo "Reproducibility check took $(( $(date +%s) - started )) s."
    exit 2 ;;
esac
# The variations reprotest applied to the second build, and those it did not
variations() {
    sed -n 's/^INFO:reprotest:build "experiment-1": //p' "$scratch/reprotest.log" | tr ',' '\n' |
        sed -n "s/^ *$1 //p" | paste -s -d, - | sed 's/,/, /g'
}
varied=$(variations vary) fixed=$(variations FIX)

# Each file's verdict (a line for each one that differs; reprotest has listed
# their SHA-256 sums when none does). With no difference, reprotest keeps the
# first build's files only (the second's folder is then a link to the first's)
first=$scratch/store/control/source-root/out
second=$scratch/store/experiment-1/source-root/out
[ -d "$first" ] || { echo "Reproducibility check: no artifacts from reprotest"; exit 2; }
if [ -L "$scratch/store/experiment-1" ]; then
    echo "reprotest and diffoscope: no differences"
else
    echo "reprotest and diffoscope: the builds differ"
fi
result=0
for part in win64 win32 manifests; do
    compared=0 differing=0
    for file in $({ (cd "$first/$part" && find . -type f); [ ! -d "$second/$part" ] || (cd "$second/$part" && find . -type f); } |
                   sed 's|^\./||' | LC_ALL=C sort -u); do
        compared=$((compared + 1))
        if [ ! -f "$first/$part/$file" ]; then
            echo "$part: $file: only in the second build"
        elif [ ! -f "$second/$part/$file" ]; then
            echo "$part: $file: missing in the second build"
        elif cmp -s "$first/$part/$file" "$second/$part/$file"; then
            continue
        else
            echo "$part: $file: DIFFERS"
        fi
        differing=$((differing + 1))
    done
    # What was compared, by kind
    kinds=$(cd "$first/$part" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | awk -F/ '
        NF == 1 { kind[++kinds] = $0; next }
        !($1 in files) { kind[++kinds] = $1 }
        { files[$1]++ }
        END { for (k = 1; k <= kinds; k++) printf "%s%s", (k > 1 ? ", " : ""), (kind[k] in files ? kind[k] "/ (" files[kind[k]] (files[kind[k]] > 1 ? " files)" : " file)") : kind[k]) }')
    echo "$part: $compared files compared ($kinds), $((compared - differing)) identical, $differing differ"
    [ "$differing" -eq 0 ] || result=1
done
[ "$result" = "$status" ] || { echo "reprotest's verdict (exit code $status) and the files' disagree"; result=1; }
echo "reprotest: varied ${varied:-nothing}; not varied: ${fixed:-nothing}"
echo "Reproducibility check took $(( $(date +%s) - started )) s."
exit $result
