#!/usr/bin/env bash
# The functions of app/ and support/ (the MD5 kernels aside) over 50 lines or
# 5 parameters, in the Linux sources (over build/) and in the Windows ones
# (over build-win64/), by clang-tidy's readability-function-size. Both
# builds must have been configured with -DCMAKE_EXPORT_COMPILE_COMMANDS=ON.
# Prints each function over, and exits 1 when there is one.
#
#   bash scripts/house/function_sizes.sh
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
config="{CheckOptions: [{key: readability-function-size.LineThreshold, value: 50}, {key: readability-function-size.ParameterThreshold, value: 5}]}"
# A file clang cannot read would pass unseen: its errors count as findings.
tidy() {
  clang-tidy --quiet -checks='-*,readability-function-size' -config="$config" -header-filter='(app|support)/' "$@" 2>&1 |
    grep -E 'warning:|note: [0-9]+ (lines|parameters)|error:'
}
linux=$(git ls-files 'app/*.cpp' 'support/*.cpp' | grep -v -e md5_lanes_kernels -e '^support/win32/')
found=$(tidy -p build $linux)
if [ -f build-win64/compile_commands.json ]; then
  # clang reads the MinGW C++ headers, but its own in place of GCC's intrinsics.
  includes=$(echo | x86_64-w64-mingw32-g++-posix -E -x c++ - -v 2>&1 |
    sed -n '/#include <...> search starts here:/,/End of search list./p' | grep '^ ' |
    grep -v -E '/lib/gcc/[^/]+/[^/]+/include(-fixed)?$' | sed 's/^ /--extra-arg=-isystem/')
  windows=$(git ls-files 'support/win32/*.cpp')
  found+=$(tidy -p build-win64 --extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-nostdinc++ $includes $windows)
else
  echo "function_sizes: no build-win64/compile_commands.json: the Windows sources are not looked at" >&2
fi
[ -z "$found" ] && exit 0
printf '%s\n' "$found" | sort -u
exit 1
