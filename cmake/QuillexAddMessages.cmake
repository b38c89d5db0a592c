# quillex_add_messages(<target> CSV <file> [PREFIX <p>] [OUTPUT_DIRECTORY <d>]
#                      [INDEXING PER_LANGUAGE|ALL_LANGUAGES] [SOURCE] [REPLACE <files>...]
#                      [HASH_SEED <n>])
#
# Runs zorb-quillex on the CSV file whenever it, a replace file or the call's arguments change,
# and makes <target> depend on what it writes. The files are found at configure time with
# --list-outputs, so the CSV and the replace files are configure dependencies: a new language
# column re-runs CMake and adds its files. A replace file that an earlier one writes is an output. The output directory (default: <current binary
# dir>/<target>_messages) goes on the target's include path in the build tree only (an installed
# target does not carry it); relative CSV and replace paths are taken from the current source
# directory, a relative output directory from the current binary directory. The call may be in
# another folder than the one that defines <target>. After the call, <target>_MESSAGE_FILES
# holds the absolute paths of the outputs.
#
# The tool run is QUILLEX_EXECUTABLE (a cache variable: an absolute path, or a program name found
# on PATH); a cross build points it at a build of the tool that runs on the build machine. Under Ninja the tool runs with --keep-unchanged, so a
# CSV edit that leaves a file's bytes as they were rebuilds nothing that includes it (Ninja
# checks the outputs' time stamps again after the command; Make would rerun the rule instead).

# Run when the top folder is done: a configure that stops half way keeps the arguments files of
# the calls it did not reach, which are still the outputs' own.
function(_quillex_drop_previous_arguments)
  file(REMOVE_RECURSE "${CMAKE_BINARY_DIR}/CMakeFiles/quillex_arguments/previous")
endfunction()

function(quillex_add_messages target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "SOURCE" "CSV;PREFIX;OUTPUT_DIRECTORY;INDEXING;HASH_SEED"
                        "REPLACE")
  set(where "quillex_add_messages(${target})")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "${where}: unknown arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "${where}: ${target} is not a target")
  endif()
  if(NOT arg_CSV)
    message(FATAL_ERROR "${where}: CSV <file> is required")
  endif()
  if(NOT QUILLEX_EXECUTABLE)
    message(FATAL_ERROR "${where}: set QUILLEX_EXECUTABLE to the zorb-quillex to run")
  endif()
  # The rule depends on the tool's file: a program name is found on PATH, as the configure's own
  # run finds it, and a relative path would be taken from another folder by each of them.
  set(tool "${QUILLEX_EXECUTABLE}")
  if(NOT IS_ABSOLUTE "${tool}")
    string(FIND "${tool}" "/" slash)
    string(FIND "${tool}" "\\" backslash)
    if(NOT slash EQUAL -1 OR NOT backslash EQUAL -1)
      message(FATAL_ERROR "${where}: QUILLEX_EXECUTABLE (${tool}) is neither an absolute path "
                          "nor a program name")
    endif()
    unset(_quillex_tool CACHE)
    find_program(_quillex_tool NAMES "${tool}" NO_PACKAGE_ROOT_PATH NO_CMAKE_PATH
                 NO_CMAKE_ENVIRONMENT_PATH NO_CMAKE_SYSTEM_PATH NO_CMAKE_FIND_ROOT_PATH)
    set(found "${_quillex_tool}")
    unset(_quillex_tool CACHE)
    if(NOT found)
      message(FATAL_ERROR "${where}: QUILLEX_EXECUTABLE (${tool}) is not found on PATH")
    endif()
    set(tool "${found}")
  endif()

  get_filename_component(csv "${arg_CSV}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  if(NOT DEFINED arg_OUTPUT_DIRECTORY)
    set(arg_OUTPUT_DIRECTORY "${target}_messages")
  endif()
  get_filename_component(directory "${arg_OUTPUT_DIRECTORY}" ABSOLUTE
                         BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")

  # The arguments go to the tool as a CMake list: a path that holds ";" or an unmatched "[" or "]"
  # would be cut there or joined with the next argument.
  foreach(path IN ITEMS "${csv}" "${directory}" "${arg_PREFIX}" ${arg_REPLACE})
    set(probe "${path};end")
    list(LENGTH probe count)
    if(NOT path STREQUAL "" AND NOT count EQUAL 2)
      message(FATAL_ERROR "${where}: the path or prefix \"${path}\" holds \";\" or an unmatched "
                          "\"[\" or \"]\", which a CMake list cannot hold")
    endif()
  endforeach()
  set(args "${csv}" -o "${directory}")
  if(DEFINED arg_PREFIX)
    list(APPEND args -p "${arg_PREFIX}")
  endif()
  if(arg_SOURCE)
    list(APPEND args -s)
  endif()
  if(NOT DEFINED arg_INDEXING)
  elseif(arg_INDEXING STREQUAL "PER_LANGUAGE")
    list(APPEND args --indexing)
  elseif(arg_INDEXING STREQUAL "ALL_LANGUAGES")
    list(APPEND args --indexing-all)
  else()
    message(FATAL_ERROR "${where}: INDEXING is PER_LANGUAGE or ALL_LANGUAGES, not ${arg_INDEXING}")
  endif()
  if(DEFINED arg_HASH_SEED)
    list(APPEND args --hash-seed "${arg_HASH_SEED}")
  endif()
  set(replaceFiles "")
  foreach(file IN LISTS arg_REPLACE)
    get_filename_component(file "${file}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND replaceFiles "${file}")
    list(APPEND args --replace "${file}")
  endforeach()

  # The names depend on the CSV header (languages) and the replace files (OUTPUT_NAME).
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${csv}")
  execute_process(COMMAND "${tool}" ${args} --list-outputs
                  OUTPUT_VARIABLE listed ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${where}: ${tool} --list-outputs failed (${status}):\n"
                        "${errors}")
  endif()
  string(REGEX REPLACE "\n$" "" listed "${listed}")
  string(REPLACE "\n" ";" outputs "${listed}")
  # A CMake list splits at ";" and joins what stands between unmatched "[" and "]", and a rule's
  # outputs take "$<" for a generator expression: such a path (a language ID "a;b") would be
  # cut, joined with the next or rewritten, a rule for a file never written, run on every build.
  string(FIND "${listed}" ";" semicolon)
  string(FIND "${listed}" "$<" expression)
  string(REPLACE "\n" "" joined "${listed}")
  string(LENGTH "${listed}" length)
  string(LENGTH "${joined}" joinedLength)
  math(EXPR lines "${length} - ${joinedLength} + 2")
  # One element more, so that a bracket left open in the last path shows too.
  string(REPLACE "\n" ";" probe "${listed}\nend")
  list(LENGTH probe count)
  if(NOT semicolon EQUAL -1 OR NOT expression EQUAL -1 OR NOT count EQUAL lines)
    string(REGEX MATCH "[^\n]*([][;]|[$]<)[^\n]*" unlisted "${listed}")
    message(FATAL_ERROR "${where}: the output path \"${unlisted}\" holds \";\", \"$<\" or an "
                        "unmatched \"[\" or \"]\", which a CMake rule cannot hold")
  endif()
  # Nor can the build files hold every byte: a CR breaks a Ninja file's line and a tab its log
  # (which holds whole paths), "|" parts a rule's dependencies, and a makefile takes a ":" for a
  # rule's own. A path inside the build tree is written relative to its top, so only that part
  # counts for those two (a build folder named "b:1" is fine). Every path listed starts at a root
  # ("~" would not: CMake takes it for the home folder): a line that does not is the rest of a
  # name with a line break.
  if("${directory};${arg_PREFIX}" MATCHES "[\n\r\t]")
    message(FATAL_ERROR "${where}: the output directory or the prefix holds a line break or a tab, "
                        "which the build file cannot hold")
  endif()
  set(root "^/")
  if(CMAKE_HOST_WIN32)
    set(root "^([A-Za-z]:)?[/\\\\]")
  endif()
  set(previous "")
  set(declared "")  # the outputs as the rule spells them
  set(folders "")  # the tool creates no folders; OUTPUT_NAME may name one below the output's
  foreach(output IN LISTS outputs)
    if(NOT output MATCHES "${root}")
      set(output "${previous}\n${output}")
    endif()
    get_filename_component(normal "${output}" ABSOLUTE)  # as the rule will spell it, ".." gone
    string(FIND "${normal}" "${CMAKE_BINARY_DIR}/" inTree)
    if(inTree EQUAL 0)
      file(RELATIVE_PATH written "${CMAKE_BINARY_DIR}" "${normal}")
    else()
      string(REGEX REPLACE "^[A-Za-z]:" "" written "${normal}")
    endif()
    # Off Windows a backslash is a byte of a name, but CMake reads it as a separator and would
    # declare another file than the one written. CMake refuses "#", "<" and ">" in a rule's
    # outputs anywhere, without naming the path.
    if(output MATCHES "[\n\r\t#<>]" OR written MATCHES "[|]"
       OR (CMAKE_GENERATOR MATCHES "Makefiles" AND written MATCHES ":")
       OR (NOT CMAKE_HOST_WIN32 AND output MATCHES "[\\\\]"))
      message(FATAL_ERROR "${where}: the output path \"${output}\" holds a line break, a tab, "
                          "\"#\", \"<\", \">\", \"|\", a backslash (off Windows) or (in a "
                          "makefile) \":\", which the build file cannot hold")
    endif()
    set(previous "${output}")
    list(APPEND declared "${normal}")
    get_filename_component(folder "${output}" DIRECTORY)
    list(APPEND folders "${folder}")
  endforeach()
  list(REMOVE_DUPLICATES folders)
  # A replace file that an earlier one writes is the rule's own output, not an input: depending
  # on it would be a cycle (Ninja refuses it, Make reruns the rule on every build), and as a
  # configure dependency each build that writes it would configure again.
  set(readFiles "")
  foreach(file IN LISTS replaceFiles)
    list(FIND declared "${file}" at)
    if(at EQUAL -1)
      list(APPEND readFiles "${file}")
    endif()
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${readFiles})

  # Make reruns a rule for a newer input only, not for a changed command, and looks at its first
  # output only: the arguments are kept in a file that changes with them, on which the rule
  # depends. Written only when they change, so that an unchanged configure reruns nothing.
  # One file per call, numbered by its place among the calls on the target in this configure:
  # keyed by the arguments instead, a call changed and changed back would find its old file
  # unchanged, though the other arguments wrote the outputs last (a replaced file's name does not
  # depend on the prefix, nor on the other replace files). For the same reason no file outlives
  # a configure that did not use it: the first call moves them all aside, each call takes its
  # own back (renamed, so with its time), and what is left goes when the configure is done.
  set(argumentsFolder "${CMAKE_BINARY_DIR}/CMakeFiles/quillex_arguments")
  get_property(moved GLOBAL PROPERTY quillex_arguments_moved)
  if(NOT moved)
    set_property(GLOBAL PROPERTY quillex_arguments_moved TRUE)
    file(MAKE_DIRECTORY "${argumentsFolder}/previous")
    # The folder's own name is no pattern: "[", "*" and "?" in it stand for themselves.
    string(REGEX REPLACE "([][*?])" "[\\1]" pattern "${argumentsFolder}")
    file(GLOB held LIST_DIRECTORIES false "${pattern}/*.args")
    cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL _quillex_drop_previous_arguments)
    foreach(file IN LISTS held)
      get_filename_component(name "${file}" NAME)
      file(RENAME "${file}" "${argumentsFolder}/previous/${name}")
    endforeach()
  endif()
  get_property(call GLOBAL PROPERTY quillex_calls_${target})
  if(NOT call)
    set(call 0)
  endif()
  math(EXPR call "${call} + 1")
  set_property(GLOBAL PROPERTY quillex_calls_${target} ${call})
  # Hashed: target names that differ only in case would share a file where case is ignored.
  string(MD5 targetKey "${target}")
  set(argumentsFile "${argumentsFolder}/${targetKey}_${call}.args")
  set(previousFile "${argumentsFolder}/previous/${targetKey}_${call}.args")
  set(recorded "")
  if(EXISTS "${previousFile}")
    file(READ "${previousFile}" recorded)
  endif()
  if(recorded STREQUAL "${args}")
    file(RENAME "${previousFile}" "${argumentsFile}")
  else()
    file(WRITE "${argumentsFile}" "${args}")
  endif()
  set(keep "")
  if(CMAKE_GENERATOR MATCHES "Ninja")
    set(keep --keep-unchanged)
  endif()
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND "${CMAKE_COMMAND}" -E make_directory ${folders}
    COMMAND "${tool}" ${args} ${keep}
    DEPENDS "${csv}" ${readFiles} "${tool}" "${argumentsFile}"
    COMMENT "Generating the messages of ${target} from ${arg_CSV}"
    VERBATIM)

  # Outputs given as sources are made only in the folder that defines the target: an interface
  # library has no sources, and from another folder they would be a rule that nothing runs.
  get_target_property(type ${target} TYPE)
  get_target_property(targetFolder ${target} SOURCE_DIR)
  if(type STREQUAL "INTERFACE_LIBRARY" OR NOT targetFolder STREQUAL CMAKE_CURRENT_SOURCE_DIR)
    # A rule of its own for every call on the target.
    set(rule ${target}_messages)
    set(calls 1)
    while(TARGET ${rule})
      math(EXPR calls "${calls} + 1")
      set(rule ${target}_messages_${calls})
    endwhile()
    add_custom_target(${rule} DEPENDS ${outputs})
    add_dependencies(${target} ${rule})
  else()
    # As sources, the outputs are made before anything of the target is compiled.
    target_sources(${target} PRIVATE ${outputs})
  endif()
  # The generated folder is the build tree's: a library installed and exported does not carry
  # it to its users (CMake refuses an exported path into the build tree).
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE "$<BUILD_INTERFACE:${directory}>")
  elseif(type STREQUAL "EXECUTABLE")
    target_include_directories(${target} PRIVATE "${directory}")
  else()
    target_include_directories(${target} PUBLIC "$<BUILD_INTERFACE:${directory}>")
  endif()
  set(${target}_MESSAGE_FILES ${outputs} PARENT_SCOPE)
endfunction()
