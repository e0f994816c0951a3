# cmake -DOUTPUT=<file> -P run_gtest.cmake -- [emulator] <test executable> [arguments...]
#
# How CTest runs a GoogleTest executable of ours: it passes only when the process ends with exit
# code 0 AND printed our main's pass line. Either alone lets faults through: the exit code passes
# an executable that ends early with exit(0) (our main prints the line only once GoogleTest
# reported success), and the line alone (a pass expression makes CTest ignore the exit code)
# passes a crash in a static destructor or a sanitizer's report after the summary.
#
# The output goes to a file, not a pipe: a Wine service process started on the way would inherit
# a pipe and keep its reader waiting after the test ended. The file is printed once the process
# has ended, and stays in the build tree (the one place to look after a CTest time-out).
cmake_minimum_required(VERSION 3.20)
set(command "")
set(in_command FALSE)
foreach(index RANGE 1 ${CMAKE_ARGC})
  if(index EQUAL CMAKE_ARGC)
    break()
  endif()
  if(in_command)
    list(APPEND command "${CMAKE_ARGV${index}}")
  elseif("${CMAKE_ARGV${index}}" STREQUAL "--")
    set(in_command TRUE)
  endif()
endforeach()
if(NOT command OR NOT OUTPUT)
  message(FATAL_ERROR "usage: cmake -DOUTPUT=<file> -P run_gtest.cmake -- <command...>")
endif()

execute_process(COMMAND ${command} OUTPUT_FILE "${OUTPUT}" ERROR_FILE "${OUTPUT}"
                RESULT_VARIABLE status)
execute_process(COMMAND "${CMAKE_COMMAND}" -E cat "${OUTPUT}")
file(STRINGS "${OUTPUT}" pass_line REGEX "^orvanta-gtest: [1-9][0-9]* of [0-9]+ tests passed")
if(NOT status STREQUAL "0")
  if(pass_line)
    set(when " after its pass line")
  endif()
  message(FATAL_ERROR "run_gtest: FAILED: the test ended with status ${status}${when}")
elseif(NOT pass_line)
  message(FATAL_ERROR "run_gtest: FAILED: exit code 0, but no pass line: the test ended before "
                      "GoogleTest reported")
endif()
