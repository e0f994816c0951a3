# orvanta_add_gtest(<name> SOURCES <files...> LIBS <targets...>)
# One ctest test per executable: every Wine start costs about a second, so test cases are
# not discovered one by one. In the cross build ctest runs the executable under Wine.
#
# A run passes only when the executable ends with exit code 0 and GoogleTest reported success on
# the line our main prints last (run_gtest.cmake says why both).
function(orvanta_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT TARGET orvanta_gtest_main)
    add_library(orvanta_gtest_main STATIC ${PROJECT_SOURCE_DIR}/tests/harness/gtest_main.cpp)
    if(WIN32)
      target_link_libraries(orvanta_gtest_main PUBLIC gtest)
    else()
      target_link_libraries(orvanta_gtest_main PUBLIC GTest::gtest)
    endif()
    orvanta_warnings(orvanta_gtest_main)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} orvanta_gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  orvanta_warnings(${name})
  orvanta_static_runtime(${name})
  if(MINGW)
    # Test code need not be fast, and its GoogleTest-heavy files are most of the cross build's
    # compile time; the product code keeps its release optimisation.
    target_compile_options(${name} PRIVATE -O1)
  endif()
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${CMAKE_CURRENT_BINARY_DIR}/${name}.output
            -P ${PROJECT_SOURCE_DIR}/cmake/run_gtest.cmake --
            ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}>)
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()
