# cmake -DEXE=<orvanta.exe> [-DLIBSSP=ON] -P check_pe_header.cmake
#
# What the PE header of a shipped orvanta.exe must say, read from the file itself (no Wine, no
# objdump): ASLR with 64-bit entropy and relocations to move by, no execution of data, and a time
# stamp of 0, as a build stamped with its link time can never be rebuilt byte for byte. With
# LIBSSP, also that libssp is linked in, which only code built with stack canaries or fortified
# memory calls pulls in; its failure messages tell (they share one object, so they cannot tell
# which of the two).
cmake_minimum_required(VERSION 3.20)
if(NOT EXISTS "${EXE}")
  message(FATAL_ERROR "no executable at '${EXE}'")
endif()

# The little-endian unsigned number of `size` bytes at `offset`.
function(read_number out offset size)
  file(READ "${EXE}" hex OFFSET ${offset} LIMIT ${size} HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR expected "${size} * 2")
  if(NOT digits EQUAL expected)
    message(FATAL_ERROR "${EXE} ends before byte ${offset} + ${size}: not a PE file")
  endif()
  set(reversed "")
  foreach(at RANGE 0 ${digits}-2 2)
    string(SUBSTRING "${hex}" ${at} 2 byte)
    string(PREPEND reversed "${byte}")
  endforeach()
  math(EXPR number "0x${reversed}")
  set(${out} ${number} PARENT_SCOPE)
endfunction()

read_number(pe 60 4)
read_number(signature ${pe} 4)
math(EXPR coff "${pe} + 4")
math(EXPR optional "${coff} + 20")
read_number(magic ${optional} 2)
if(NOT signature EQUAL 17744 OR NOT magic EQUAL 523)  # "PE\0\0", PE32+
  message(FATAL_ERROR "${EXE} is not a 64-bit PE image")
endif()

set(faults "")
math(EXPR at "${coff} + 4")
read_number(stamp ${at} 4)
if(NOT stamp EQUAL 0)
  list(APPEND faults "the time stamp is ${stamp}, not 0: the link time makes every build differ")
endif()
math(EXPR at "${coff} + 18")
read_number(characteristics ${at} 2)
math(EXPR stripped "${characteristics} & 0x1")
math(EXPR at "${optional} + 70")
read_number(dll_characteristics ${at} 2)
foreach(flag_and_name IN ITEMS "0x20|HIGH_ENTROPY_VA" "0x40|DYNAMIC_BASE" "0x100|NX_COMPAT")
  string(REPLACE "|" ";" flag_and_name "${flag_and_name}")
  list(GET flag_and_name 0 flag)
  list(GET flag_and_name 1 name)
  math(EXPR set "${dll_characteristics} & ${flag}")
  if(set EQUAL 0)
    list(APPEND faults "DllCharacteristics lacks ${name}")
  endif()
endforeach()
# Data directory 5, the base relocations: without them Windows cannot move the image, and
# DYNAMIC_BASE gives no ASLR.
math(EXPR at "${optional} + 112 + 5 * 8 + 4")
read_number(relocations ${at} 4)
if(NOT stripped EQUAL 0 OR relocations EQUAL 0)
  list(APPEND faults "no base relocations: the image cannot be moved")
endif()

if(LIBSSP)
  file(STRINGS "${EXE}" found REGEX "\\*\\*\\* (stack smashing|buffer overflow) detected")
  list(LENGTH found messages)
  if(messages LESS 2)
    list(APPEND faults "libssp's failure messages are missing: built without stack canaries and "
                       "fortified calls")
  endif()
endif()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "${EXE}:\n  ${text}")
endif()
math(EXPR shown "${dll_characteristics}" OUTPUT_FORMAT HEXADECIMAL)
message(STATUS "${EXE}: time stamp 0, DllCharacteristics ${shown} (HIGH_ENTROPY_VA DYNAMIC_BASE "
               "NX_COMPAT), ${relocations} bytes of base relocations")
