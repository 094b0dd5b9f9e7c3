#!/usr/bin/env bash
# Builds Orlo with sanitizers into its own folder and runs tests there.
#   bash scripts/test-sanitized.sh address [CTEST-ARGS...]   the whole suite under ASan + UBSan
#   bash scripts/test-sanitized.sh thread  [CTEST-ARGS...]   the threaded tests under TSan
#   bash scripts/test-sanitized.sh quick                     the codec and engine tests under
#                                                            ASan + UBSan (what CI runs)
# Extra arguments go to CTest (for example -R tst_UDPQueue to run a subset).
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-address}
shift || true
here=$(pwd)
case "$kind" in
address)
    dir=build-asan
    flags="address,undefined"
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
    export LSAN_OPTIONS="suppressions=$here/scripts/sanitizer/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    default_args=()
    targets=(all)
    ;;
quick)
    dir=build-asan
    flags="address,undefined"
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
    export LSAN_OPTIONS="suppressions=$here/scripts/sanitizer/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    # Every decoder and engine of untrusted bytes, across real sockets, without windows.
    quick=(tst_PeerProtocol tst_UDPQueue tst_ServerCodecs tst_ServerList tst_DatagramEndpoint tst_IrcLine
        tst_IrcSession tst_FileProtocol tst_FileServerEngine tst_FileTransfer tst_LargeInt tst_RC4 tst_NxKeys
        tst_DatagramReader tst_PxoTrackerClient tst_LobbyTexts tst_LevelDownload tst_TalkProtocol tst_SimDatagrams)
    # and every fuzz corpus replayed through its target's entry point.
    default_args=(-R "^($(IFS='|'; echo "${quick[*]}")|corpus_.*)\$")
    targets=("${quick[@]}" fuzz_all)
    ;;
thread)
    dir=build-tsan
    flags="thread"
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$here/scripts/sanitizer/tsan.supp"
    # The tests whose code runs on more than one thread: the datagram queue and its users.
    threaded=(tst_UDPQueue tst_DatagramEndpoint tst_ServerList tst_NxSocket tst_PXOLobby)
    default_args=(-R "^($(IFS='|'; echo "${threaded[*]}"))\$")
    targets=("${threaded[@]}" orlo-pxo-sim)
    ;;
*)
    echo "usage: $0 address|thread [CTEST-ARGS...]" >&2
    exit 2
    ;;
esac
bash scripts/install-deps.sh
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORLO_SANITIZE="$flags" \
    -DORLO_BUILD_BENCH=OFF >/dev/null
if [ $# -eq 0 ]; then
    cmake --build "$dir" --parallel 2 --target "${targets[@]}"
else
    cmake --build "$dir" --parallel 2
fi
cd "$dir"
if [ $# -eq 0 ]; then
    set -- "${default_args[@]}"
fi
ctest -j2 --output-on-failure --timeout 900 "$@"
