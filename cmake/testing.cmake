# orvanta_add_gtest(<name> SOURCES <files...> LIBS <targets...>)
# One ctest test per executable: every Wine start costs about a second, so test cases are
# not discovered one by one. In the cross build ctest runs the executable under Wine.
function(orvanta_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(WIN32)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} gtest_main)
  else()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  orvanta_warnings(${name})
  orvanta_static_runtime(${name})
  if(MINGW)
    # Test code need not be fast, and its GoogleTest-heavy files are most of the cross build's
    # compile time; the product code keeps its release optimisation.
    target_compile_options(${name} PRIVATE -O1)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()
