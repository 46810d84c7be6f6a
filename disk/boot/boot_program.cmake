# The MBR boot program: assembled from boot_program.asm with nasm and compiled
# into vantrel_core as a 440-byte array behind boot_program() (disk/boot_program.h).
#
# This file has two roles:
#   - include()d once vantrel_core exists, from the directory that creates it
#     (a custom command only gets its rule in its own directory), it adds the
#     build rules;
#   - run as `cmake -DINPUT=<bin> -DOUTPUT=<cpp> -P boot_program.cmake` by those
#     rules, it writes the C++ array definition for the assembled binary.
# Keeping the converter here means the rules and the converter cannot drift apart.

set(_vantrel_boot_size 440)

if(CMAKE_SCRIPT_MODE_FILE)
  if(NOT DEFINED INPUT OR NOT DEFINED OUTPUT)
    message(FATAL_ERROR "usage: cmake -DINPUT=<boot_program.bin> -DOUTPUT=<file.cpp> -P boot_program.cmake")
  endif()
  file(READ "${INPUT}" _hex HEX)
  string(LENGTH "${_hex}" _hex_len)
  math(EXPR _size "${_hex_len} / 2")
  if(NOT _size EQUAL _vantrel_boot_size)
    message(FATAL_ERROR "${INPUT} holds ${_size} bytes; the boot program must be ${_vantrel_boot_size}")
  endif()
  # "33c08e..." -> "    0x33, 0xc0, 0x8e, ...", twelve bytes to a line.
  set(_lines "")
  math(EXPR _last "${_hex_len} - 1")
  foreach(_pos RANGE 0 ${_last} 24)
    string(SUBSTRING "${_hex}" ${_pos} 24 _chunk)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " _chunk "${_chunk}")
    string(STRIP "${_chunk}" _chunk)
    string(APPEND _lines "    ${_chunk}\n")
  endforeach()
  file(WRITE "${OUTPUT}"
    "// Generated at build time from disk/boot/boot_program.asm by disk/boot/boot_program.cmake.\n"
    "#include <cstdint>\n"
    "\n"
    "extern const std::uint8_t k_boot_program_bytes[${_vantrel_boot_size}];\n"
    "\n"
    "const std::uint8_t k_boot_program_bytes[${_vantrel_boot_size}] = {\n"
    "${_lines}"
    "};\n")
  return()
endif()

find_program(NASM_EXECUTABLE nasm REQUIRED)

set(_vantrel_boot_asm "${CMAKE_CURRENT_LIST_DIR}/boot_program.asm")
set(_vantrel_boot_out "${CMAKE_BINARY_DIR}/generated/disk")
set(_vantrel_boot_bin "${_vantrel_boot_out}/boot_program.bin")
set(_vantrel_boot_cpp "${_vantrel_boot_out}/boot_program_data.cpp")
get_filename_component(_vantrel_disk_dir "${CMAKE_CURRENT_LIST_DIR}" DIRECTORY)

add_custom_command(
  OUTPUT "${_vantrel_boot_bin}" "${_vantrel_boot_cpp}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${_vantrel_boot_out}"
  COMMAND "${NASM_EXECUTABLE}" -f bin -w+all -Werror -o "${_vantrel_boot_bin}" "${_vantrel_boot_asm}"
  COMMAND "${CMAKE_COMMAND}" -DINPUT=${_vantrel_boot_bin} -DOUTPUT=${_vantrel_boot_cpp}
          -P "${CMAKE_CURRENT_LIST_FILE}"
  DEPENDS "${_vantrel_boot_asm}" "${CMAKE_CURRENT_LIST_FILE}"
  COMMENT "Assembling the MBR boot program"
  VERBATIM)

target_sources(vantrel_core PRIVATE
  "${_vantrel_boot_cpp}"
  "${_vantrel_disk_dir}/boot_program.cpp")
