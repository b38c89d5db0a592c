#!/usr/bin/env bash
# Installs the build into a temporary prefix, then configures, builds and runs the example
# application against it, with Ninja and with Makefiles (where changed arguments rerun the
# tool), and an exported library that uses the package. Under Ninja: a second build does
# nothing, a CSV saved unchanged rebuilds nothing, and a new language column reaches the
# generated files, what includes them and the program's output.
# usage: package_test.sh CMAKE BUILD_DIR SOURCE_DIR
set -euo pipefail
cmake=$1
build_dir=$2
source_dir=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
# Fails with the log shown unless CMake's message in it, its lines wrapped, says the pattern.
says() {  # log pattern what
  tr -s ' \n' ' ' <"$1" | grep -q "$2" || { cat "$1"; fail "no word on $3"; }
}

"$cmake" --install "$build_dir" --prefix "$work/prefix" >/dev/null
[ -x "$work/prefix/bin/zorb-quillex" ] || fail "the tool is not installed"
[ -f "$work/prefix/share/man/man1/zorb-quillex.1" ] || fail "the manual page is not installed"
[ -f "$work/prefix/include/quillex/message_table_reader.h" ] || fail "the reader is not installed"
[ -f "$work/prefix/share/doc/zorb-quillex/binary_format.md" ] || fail "the file format is not installed"

expected='* English: Hello, world! Goodbye.
  日本語: こんにちは，世界！ さようなら．
  Deutsch: Hallo, Welt! Goodbye.'

build() {  # generator folder
  cp -r "$source_dir/examples/app" "$work/$2-src"
  "$cmake" -S "$work/$2-src" -B "$work/$2" -G "$1" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null ||
    fail "$1: configure"
  "$cmake" --build "$work/$2" >"$work/$2.log" 2>&1 || { cat "$work/$2.log"; fail "$1: build"; }
  [ "$("$work/$2/greeter")" = "$expected" ] || fail "$1: output: $("$work/$2/greeter")"
}

build "Unix Makefiles" make
build Ninja ninja

# Under Make, changed arguments rerun the tool, though no input is newer than its outputs: back
# from indexed strings, whose rule's first output is a character list, not the binary file.
reconfigure() {  # sed expression for the application's CMakeLists.txt, log name
  sed -i "$1" "$work/make-src/CMakeLists.txt"
  "$cmake" -S "$work/make-src" -B "$work/make" >/dev/null || fail "Make: configure ($2)"
  "$cmake" --build "$work/make" >"$work/$2.log" 2>&1 || { cat "$work/$2.log"; fail "Make: $2"; }
}
# With a replace file and another seed in between, the binary file is written over, and going
# back must write it again.
printf 'enum class Ids {\n$ID_LIST$\n};\n' >"$work/make-src/ids.h"
reconfigure 's/OUTPUT_DIRECTORY messages)/OUTPUT_DIRECTORY messages INDEXING PER_LANGUAGE HASH_SEED 7 REPLACE ids.h)/' indexed
reconfigure 's/ INDEXING PER_LANGUAGE HASH_SEED 7 REPLACE ids.h)/)/' unindexed
grep -q "Generating the messages" "$work/unindexed.log" ||
  { cat "$work/unindexed.log"; fail "Make: changed arguments did not rerun the tool"; }
[ "$("$work/make/greeter")" = "$expected" ] || fail "Make: output: $("$work/make/greeter")"

# Under Make, a call changed and changed back writes again what the other arguments wrote in
# between: here a replaced file, whose name depends on neither the prefix nor the seed.
mkdir "$work/aba-src"
printf 'ID,en\r\nA,a\r\n' >"$work/aba-src/messages.csv"
printf '$ID_LIST$\n' >"$work/aba-src/ids.h"
cat >"$work/aba-src/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(quillex_aba LANGUAGES CXX)
find_package(zorb-quillex CONFIG REQUIRED)
add_library(${T} INTERFACE)
quillex_add_messages(${T} CSV messages.csv OUTPUT_DIRECTORY gen PREFIX "${PFX}" HASH_SEED ${SEED}
                     REPLACE ids.h)
if(STOP)
  message(FATAL_ERROR "stopped before the second call")
endif()
add_library(late INTERFACE)
quillex_add_messages(late CSV messages.csv OUTPUT_DIRECTORY late)
CMAKE
aba() {  # target, cmake arguments
  "$cmake" -S "$work/aba-src" -B "$work/aba" -G "Unix Makefiles" -DCMAKE_PREFIX_PATH="$work/prefix" \
    "-DT=$1" "${@:2}" >/dev/null || fail "aba: configure"
  "$cmake" --build "$work/aba" --target "$1_messages" >"$work/aba.log" 2>&1 ||
    { cat "$work/aba.log"; fail "aba: build"; }
  cat "$work/aba/gen/ids.h"
}
first=$(aba texts -DPFX=a)
[ "$(aba texts -DPFX=b -DSEED=7)" != "$first" ] || fail "aba: another seed wrote the same hashes"
[ "$(aba texts -DPFX=a -USEED)" = "$first" ] || fail "aba: back to the first call, the file stayed the other's"
# Nor may the arguments of a call gone meanwhile (here: on another target) be taken for its own.
aba other -DPFX=b -DSEED=7 >/dev/null
[ "$(aba texts -DPFX=a -USEED)" = "$first" ] || fail "aba: an old arguments file kept the other's file"
# A configure that stops half way, then one that does not, rerun nothing: not even the call not
# reached. Nor in a build folder whose name is a pattern.
for tree in "$work/aba" "$work/aba[x]"; do
  configure() {  # cmake arguments
    "$cmake" -S "$work/aba-src" -B "$tree" -G "Unix Makefiles" -DCMAKE_PREFIX_PATH="$work/prefix" \
      -DT=texts -DPFX=a -USEED "$@" >/dev/null 2>&1
  }
  build() {
    "$cmake" --build "$tree" --target texts_messages late_messages >"$work/aba.log" 2>&1 ||
      { cat "$work/aba.log"; fail "aba: build in $tree"; }
  }
  configure -DSTOP=OFF || fail "aba: configure in $tree"
  build
  configure -DSTOP=ON && fail "aba: the configure did not stop"
  configure -DSTOP=OFF || fail "aba: configure in $tree after a stop"
  build
  ! grep -q "Generating the messages" "$work/aba.log" || { cat "$work/aba.log"; fail "aba: rerun in $tree"; }
done

# A library that installs and exports itself: the generated folder is the build tree's only.
mkdir "$work/lib-src"
cp "$source_dir/examples/app/messages.csv" "$work/lib-src/"
printf 'enum class Language {\n$LANGUAGE_LIST$\n};\n' >"$work/lib-src/languages.h"
echo 'int Answer() { return 42; }' >"$work/lib-src/lib.cpp"
mkdir "$work/lib-src/sub"
echo 'quillex_add_messages(greeter CSV ../messages.csv PREFIX third)' >"$work/lib-src/sub/CMakeLists.txt"
cat >"$work/lib-src/main.cpp" <<'CPP'
#include <cstdint>
enum class MessageId : std::uint32_t {
#include "third_id_hash.inc"
};
int main() { return MessageId::GREETING == MessageId::FAREWELL; }
CPP
cat >"$work/lib-src/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(quillex_exported_library LANGUAGES CXX)
find_package(zorb-quillex CONFIG REQUIRED)
add_library(texts STATIC lib.cpp)
quillex_add_messages(texts CSV messages.csv)
install(TARGETS texts EXPORT texts)
install(EXPORT texts DESTINATION lib/cmake/texts)
# Two calls on one interface library, each with a rule of its own, in one folder with one prefix.
add_library(both INTERFACE)
quillex_add_messages(both CSV messages.csv)
quillex_add_messages(both CSV messages.csv SOURCE)
quillex_add_messages(both CSV messages.csv SOURCE REPLACE languages.h)
add_library(user STATIC lib.cpp)
target_link_libraries(user PRIVATE both)
# A call from a folder below the one that defines the target.
add_executable(greeter main.cpp)
add_subdirectory(sub)
CMAKE
"$cmake" -S "$work/lib-src" -B "$work/lib" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
  >"$work/lib.log" 2>&1 || { cat "$work/lib.log"; fail "an exported library does not configure"; }
"$cmake" --build "$work/lib" >"$work/lib.log" 2>&1 || { cat "$work/lib.log"; fail "library build"; }
[ -f "$work/lib/both_messages/msg.bin" ] && [ -f "$work/lib/both_messages/msg_id.inc" ] &&
  [ -f "$work/lib/both_messages/languages.h" ] ||
  fail "two calls on an interface library did not both run"
[ -f "$work/lib/sub/greeter_messages/third.bin" ] || fail "a call from a subfolder did not run the tool"
"$cmake" -S "$work/lib-src" -B "$work/lib" >/dev/null || fail "library reconfigure"
"$cmake" --build "$work/lib" >"$work/lib.log" 2>&1 || { cat "$work/lib.log"; fail "library rebuild"; }
grep -q "no work to do" "$work/lib.log" || { cat "$work/lib.log"; fail "an unchanged configure reran"; }

# An output path that a CMake list cannot hold stops the configure instead of a rule that never
# makes its file.
mkdir "$work/bracket-src"
printf 'ID,en,z,x[y\r\nA,a,b,c\r\n' >"$work/bracket-src/messages.csv"
cat >"$work/bracket-src/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(quillex_bracket LANGUAGES CXX)
find_package(zorb-quillex CONFIG REQUIRED)
add_library(texts INTERFACE)
quillex_add_messages(texts CSV messages.csv SOURCE)
CMAKE
! "$cmake" -S "$work/bracket-src" -B "$work/bracket" -DCMAKE_PREFIX_PATH="$work/prefix" \
  >"$work/bracket.log" 2>&1 || fail "a path with an unmatched bracket was declared"
grep -q 'msg_x\[y.inc" holds' "$work/bracket.log" ||
  { cat "$work/bracket.log"; fail "no word on the unmatched bracket"; }
# A rule's outputs take "$<" for a generator expression.
printf 'ID,en,x$<1:y>\r\nA,a,b\r\n' >"$work/bracket-src/messages.csv"
! "$cmake" -S "$work/bracket-src" -B "$work/expression" -DCMAKE_PREFIX_PATH="$work/prefix" \
  >"$work/expression.log" 2>&1 || fail "a path with a generator expression was declared"
grep -q 'msg_x\$<1:y>.inc" holds' "$work/expression.log" ||
  { cat "$work/expression.log"; fail "no word on the generator expression"; }
# Nor can a build file hold every byte: a line break, a tab, "|", and ":" in a makefile; nor a
# rule's outputs "#", "<" or ">".
for name in 'x\ny' 'x\n~y' 'x\ty' 'x|y' 'x:y' 'x\\y' 'x#y' 'x<y>'; do
  printf "ID,en,\"$name\"\r\nA,a,b\r\n" >"$work/bracket-src/messages.csv"
  rm -rf "$work/odd"
  ! "$cmake" -S "$work/bracket-src" -B "$work/odd" -G "Unix Makefiles" \
    -DCMAKE_PREFIX_PATH="$work/prefix" >"$work/odd.log" 2>&1 || fail "a path with $name was declared"
  # CMake wraps the message's lines.
  says "$work/odd.log" 'msg_x.*which the build file cannot hold' "$name"
done
# Nor an input path that a CMake list cannot hold: it would be joined with the next argument.
mkdir "$work/bracket-src/da[ta"
printf 'ID,en\r\nA,a\r\n' >"$work/bracket-src/da[ta/messages.csv"
cp "$work/bracket-src/CMakeLists.txt" "$work/bracket-src/da[ta/"
! "$cmake" -S "$work/bracket-src/da[ta" -B "$work/odd-csv" -DCMAKE_PREFIX_PATH="$work/prefix" \
  >"$work/odd.log" 2>&1 || fail "a CSV path with an unmatched bracket was taken"
says "$work/odd.log" 'da\[ta/messages.csv" holds' "a CSV path with an unmatched bracket"
# Nor a prefix with a line break, whatever follows it.
printf 'ID,en\r\nA,a\r\n' >"$work/bracket-src/messages.csv"
sed -i 's/SOURCE)/PREFIX "${PFX}")/' "$work/bracket-src/CMakeLists.txt"
! "$cmake" -S "$work/bracket-src" -B "$work/odd-prefix" -DCMAKE_PREFIX_PATH="$work/prefix" \
  "-DPFX=$(printf 'a\n/b')" >"$work/odd.log" 2>&1 || fail "a prefix with a line break was taken"
says "$work/odd.log" 'prefix holds a line break' "a prefix with a line break"

# Paths inside the build tree are written relative to it: its own folder's name may hold both,
# but not a path that ".." takes out of it, nor a tab, which Ninja's log holds whole.
printf '$OUTPUT_NAME:../out/names.h$\n$ID_LIST$\n' >"$work/bracket-src/names.h"
printf 'ID,en\r\nA,a\r\n' >"$work/bracket-src/messages.csv"
cat >"$work/bracket-src/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(quillex_outside LANGUAGES CXX)
find_package(zorb-quillex CONFIG REQUIRED)
add_library(texts INTERFACE)
quillex_add_messages(texts CSV messages.csv OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}" REPLACE names.h)
CMAKE
mkdir -p "$work/c:1/out"
! "$cmake" -S "$work/bracket-src" -B "$work/c:1/b" -G "Unix Makefiles" \
  -DCMAKE_PREFIX_PATH="$work/prefix" >"$work/odd.log" 2>&1 || fail "a path out of the tree with :"
says "$work/odd.log" 'out/names.h" holds' "a path out of the tree with :"
for generator in Ninja "Unix Makefiles"; do
  "$cmake" -S "$source_dir/examples/app" -B "$work/b:|$generator" -G "$generator" \
    -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null || fail "$generator: a build folder with : and |"
  "$cmake" --build "$work/b:|$generator" >"$work/odd.log" 2>&1 ||
    { cat "$work/odd.log"; fail "$generator: build in a folder with : and |"; }
done
! "$cmake" -S "$source_dir/examples/app" -B "$work/b	tab" -G Ninja \
  -DCMAKE_PREFIX_PATH="$work/prefix" >"$work/odd.log" 2>&1 || fail "a build folder with a tab"
says "$work/odd.log" 'directory or the prefix holds a line break or a tab' "a build folder with a tab"

# A replace file that an earlier one writes is an output of the rule, not an input: no cycle,
# and a second build does nothing.
mkdir "$work/chain-src"
printf 'ID,en\r\nA,a\r\n' >"$work/chain-src/messages.csv"
printf '$OUTPUT_NAME:second.h$\n$ID_LIST$\n' >"$work/chain-src/first.h"
cat >"$work/chain-src/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(quillex_chain LANGUAGES CXX)
find_package(zorb-quillex CONFIG REQUIRED)
add_library(texts INTERFACE)
quillex_add_messages(texts CSV messages.csv OUTPUT_DIRECTORY gen
                     REPLACE first.h "${CMAKE_BINARY_DIR}/gen/second.h")
CMAKE
for generator in Ninja "Unix Makefiles"; do
  tree="$work/chain-$generator"
  "$cmake" -S "$work/chain-src" -B "$tree" -G "$generator" -DCMAKE_PREFIX_PATH="$work/prefix" \
    >"$work/chain.log" 2>&1 || { cat "$work/chain.log"; fail "$generator: chained replace files: configure"; }
  for run in first second; do
    "$cmake" --build "$tree" --target texts_messages >"$work/chain.log" 2>&1 ||
      { cat "$work/chain.log"; fail "$generator: chained replace files: $run build"; }
  done
  [ -f "$tree/gen/second.h.replaced" ] || fail "$generator: the chained replace file was not run"
  ! grep -q "Generating the messages" "$work/chain.log" ||
    { cat "$work/chain.log"; fail "$generator: chained replace files: the second build reran the tool"; }
done

# A program name as the tool is found on PATH, by the configure and by the rule alike.
"$cmake" -S "$source_dir/examples/app" -B "$work/unnamed" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DQUILLEX_EXECUTABLE=zorb-quillex-nowhere >"$work/unnamed.log" 2>&1 &&
  fail "a program name not on PATH was taken"
says "$work/unnamed.log" "zorb-quillex-nowhere) is not found on PATH" "a program name not on PATH"
PATH="$work/prefix/bin:$PATH" "$cmake" -S "$source_dir/examples/app" -B "$work/named" -G Ninja \
  -DCMAKE_PREFIX_PATH="$work/prefix" -DQUILLEX_EXECUTABLE=zorb-quillex >/dev/null ||
  fail "a program name as the tool: configure"
"$cmake" --build "$work/named" >"$work/named.log" 2>&1 ||
  { cat "$work/named.log"; fail "a program name as the tool: build"; }
[ "$("$work/named/greeter")" = "$expected" ] || fail "a program name as the tool: output"

# The tool run follows the package found, also when another prefix is found later.
cp -r "$work/prefix" "$work/prefix2"
package2=$(dirname "$(find "$work/prefix2" -name zorb-quillex-config.cmake)")
"$cmake" -S "$work/lib-src" -B "$work/lib" -Dzorb-quillex_DIR="$package2" >/dev/null ||
  fail "configure with another package"
grep -qx "QUILLEX_EXECUTABLE:FILEPATH=$work/prefix2/bin/zorb-quillex" "$work/lib/CMakeCache.txt" ||
  fail "the tool run stayed the first package's: $(grep QUILLEX_EXECUTABLE: "$work/lib/CMakeCache.txt")"

app=$work/ninja
out=$app/messages
"$cmake" --build "$app" >"$work/second.log"
grep -q "no work to do" "$work/second.log" || { cat "$work/second.log"; fail "second build did work"; }

# Saved unchanged: the tool runs again, keeps its outputs, and nothing is compiled.
stamps() { stat -c '%i %Y' "$out/msg_id_hash.inc" "$out/msg_lang_hash.inc"; }
before=$(stamps)
sleep 1
touch "$work/ninja-src/messages.csv"
"$cmake" --build "$app" >"$work/touched.log"
grep -q "Generating the messages" "$work/touched.log" || fail "a touched CSV did not rerun the tool"
! grep -q "Building CXX" "$work/touched.log" || { cat "$work/touched.log"; fail "unchanged outputs rebuilt"; }
[ "$(stamps)" = "$before" ] || fail "unchanged outputs were replaced"

# A new language: its hash goes into the language list, the program is rebuilt and greets in it.
id_before=$(stat -c '%i %Y' "$out/msg_id_hash.inc")
sed -i -e '1s/\r$/,fr\r/' -e '3s/\r$/,Français\r/' -e '4s/\r$/,"Bonjour, le monde !"\r/' \
  -e '5s/\r$/,Au revoir.\r/' "$work/ninja-src/messages.csv"
"$cmake" --build "$app" >"$work/language.log"
grep -q "Building CXX object CMakeFiles/greeter.dir/main.cpp" "$work/language.log" ||
  { cat "$work/language.log"; fail "the new language did not rebuild what includes it"; }
grep -q "^fr = 0x" "$out/msg_lang_hash.inc" || fail "fr is not in the language list"
[ "$(stat -c '%i %Y' "$out/msg_id_hash.inc")" = "$id_before" ] || fail "identifier list replaced"
[ "$("$app/greeter" | tail -n 1)" = "  Français: Bonjour, le monde ! Au revoir." ] ||
  fail "new language output: $("$app/greeter")"
"$cmake" --build "$app" | grep -q "no work to do" || fail "build after the new language did work"
echo "package test passed"
