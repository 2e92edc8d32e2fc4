# A program's string table, written once and built for both platforms.
#
# zel_add_string_table(<target> <source.txt>) adds the table to an executable
# target (string resources must be linked into the program itself, not into a
# static library). On Windows the source becomes a resource script compiled
# by windres into an object with the program's STRINGTABLE resources; on the
# substitute it becomes a C++ source that hands the table to
# zelsys::RegisterStringTable at static initialisation, so the target must
# link the platform library. Both are generated at build time and again
# whenever the source or this file changes.
#
# The source format (UTF-8) is described at the top of app/fixwell_strings.txt:
# "[0x409]" opens a language, "<id> = <text>" gives a text, "#" starts a
# comment line. Texts may use \\ \n \t and \s (a space, for one at either end).
#
# This file is also the generator: run with cmake -P and the variables
# ZEL_STRING_TABLE_SOURCE, ZEL_STRING_TABLE_OUTPUT and ZEL_STRING_TABLE_KIND
# (rc or cpp), it writes one output.

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25) # the project's policies, also for cmake -P
endif()
set(_ZEL_STRING_TABLE_SCRIPT "${CMAKE_CURRENT_LIST_FILE}")

# Reads the source and writes the output of the given kind.
function(_zel_generate_string_table source output kind)
  file(READ "${source}" content)
  # The text is split into lines through a CMake list: the characters lists
  # treat specially are swapped for control characters a text cannot hold.
  string(ASCII 1 semicolon)
  string(ASCII 2 open_bracket)
  string(ASCII 3 close_bracket)
  string(ASCII 4 backslash)
  string(REPLACE ";" "${semicolon}" content "${content}")
  string(REPLACE "[" "${open_bracket}" content "${content}")
  string(REPLACE "]" "${close_bracket}" content "${content}")
  string(REPLACE "\r" "" content "${content}")
  string(REPLACE "\n" ";" lines "${content}")

  get_filename_component(source_name "${source}" NAME)
  if(kind STREQUAL "rc")
    set(out "// Generated from ${source_name} by ZelStringTable.cmake: edit the source.\n")
    string(APPEND out "#pragma code_page(65001)\n")
  else()
    set(out "// Generated from ${source_name} by ZelStringTable.cmake: edit the source.\n")
    string(APPEND out "#include \"zelsys/resources.h\"\n\n#include <iterator>\n\n")
    string(APPEND out "namespace {\n\nconst zelsys::STRINGTABLE_ENTRY kEntries[] = {\n")
  endif()

  set(language "")
  set(languages "")
  set(ids "")
  set(count 0)
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    string(REPLACE "${semicolon}" ";" line "${line}")
    string(REPLACE "${open_bracket}" "[" line "${line}")
    string(REPLACE "${close_bracket}" "]" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    set(where "${source_name}:${number}")

    if(line MATCHES "^\\[(0[xX][0-9A-Fa-f]+)\\]$")
      math(EXPR language "${CMAKE_MATCH_1}")
      if(language LESS 1 OR language GREATER 65535)
        message(FATAL_ERROR "${where}: language id out of range: ${line}")
      endif()
      if(language IN_LIST languages)
        message(FATAL_ERROR "${where}: language ${CMAKE_MATCH_1} opened a second time")
      endif()
      list(APPEND languages ${language})
      set(ids "")
      if(kind STREQUAL "rc")
        if(NOT count EQUAL 0)
          string(APPEND out "END\n")
        endif()
        # LANGUAGE takes the primary language and the sublanguage apart.
        math(EXPR primary "${language} & 0x3FF" OUTPUT_FORMAT HEXADECIMAL)
        math(EXPR sublanguage "${language} >> 10" OUTPUT_FORMAT HEXADECIMAL)
        string(APPEND out "\nLANGUAGE ${primary}, ${sublanguage}\nSTRINGTABLE\nBEGIN\n")
      endif()
      set(count 1)
      continue()
    endif()

    if(NOT line MATCHES "^([0-9]+)[ \t]*=(.*)$")
      message(FATAL_ERROR "${where}: expected \"[0x<language>]\" or \"<id> = <text>\": ${line}")
    endif()
    if(language STREQUAL "")
      message(FATAL_ERROR "${where}: a text before the first [0x<language>] line")
    endif()
    set(id "${CMAKE_MATCH_1}")
    string(STRIP "${CMAKE_MATCH_2}" text)
    math(EXPR id "${id}")
    if(id GREATER 65535)
      message(FATAL_ERROR "${where}: id ${id} is above 65535")
    endif()
    if(id IN_LIST ids)
      message(FATAL_ERROR "${where}: id ${id} appears twice in one language")
    endif()
    list(APPEND ids ${id})

    # The escapes of the source become the characters themselves.
    string(REPLACE "\\\\" "${backslash}" text "${text}")
    string(REPLACE "\\n" "\n" text "${text}")
    string(REPLACE "\\t" "\t" text "${text}")
    string(REPLACE "\\s" " " text "${text}")
    if(text MATCHES "\\\\")
      message(FATAL_ERROR "${where}: unknown escape (only \\\\ \\n \\t \\s): ${line}")
    endif()
    string(REPLACE "${backslash}" "\\\\" text "${text}")

    # ... and then the escapes of the output language; only the quote is
    # written differently: "" in a resource script, \" in C++.
    string(REPLACE "\n" "\\n" text "${text}")
    string(REPLACE "\t" "\\t" text "${text}")
    if(kind STREQUAL "rc")
      string(REPLACE "\"" "\"\"" text "${text}")
      string(APPEND out "  ${id}, \"${text}\"\n")
    else()
      string(REPLACE "\"" "\\\"" text "${text}")
      math(EXPR hex "${language}" OUTPUT_FORMAT HEXADECIMAL)
      string(APPEND out "    {${hex}, ${id}, u\"${text}\"},\n")
    endif()
  endforeach()

  if(languages STREQUAL "")
    message(FATAL_ERROR "${source_name}: no language")
  endif()
  if(kind STREQUAL "rc")
    string(APPEND out "END\n")
  else()
    string(APPEND out "};\n\n")
    string(APPEND out "struct Registration {\n")
    string(APPEND out "  Registration() { zelsys::RegisterStringTable(kEntries, std::size(kEntries)); }\n")
    string(APPEND out "} const gRegistration;\n\n} // namespace\n")
  endif()
  file(WRITE "${output}" "${out}")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED ZEL_STRING_TABLE_SOURCE)
  _zel_generate_string_table("${ZEL_STRING_TABLE_SOURCE}" "${ZEL_STRING_TABLE_OUTPUT}"
                             "${ZEL_STRING_TABLE_KIND}")
  return()
endif()

function(zel_add_string_table target source)
  get_filename_component(source "${source}" ABSOLUTE)
  get_filename_component(name "${source}" NAME_WE)
  set(stem "${CMAKE_CURRENT_BINARY_DIR}/${target}_${name}")
  if(WIN32)
    set(kind rc)
  else()
    set(kind cpp)
  endif()
  add_custom_command(
    OUTPUT "${stem}.${kind}"
    COMMAND "${CMAKE_COMMAND}" "-DZEL_STRING_TABLE_SOURCE=${source}"
            "-DZEL_STRING_TABLE_OUTPUT=${stem}.${kind}" "-DZEL_STRING_TABLE_KIND=${kind}"
            -P "${_ZEL_STRING_TABLE_SCRIPT}"
    DEPENDS "${source}" "${_ZEL_STRING_TABLE_SCRIPT}"
    COMMENT "Generating the string table of ${target} from ${name}"
    VERBATIM)
  if(WIN32)
    # windres runs directly: the target's compiler warnings are no options
    # of the resource compiler.
    add_custom_command(
      OUTPUT "${stem}.res.obj"
      COMMAND "${CMAKE_RC_COMPILER}" -O coff -i "${stem}.rc" -o "${stem}.res.obj"
      DEPENDS "${stem}.rc"
      COMMENT "Compiling the string table of ${target}"
      VERBATIM)
    target_sources(${target} PRIVATE "${stem}.res.obj")
  else()
    target_sources(${target} PRIVATE "${stem}.cpp")
  endif()
endfunction()
