# Helpers shared by the folder lists.

# lv_glob(VAR patterns...): the existing files matching the patterns, relative to the
# source root, re-globbed when files are added.
function(lv_glob var)
  set(out)
  foreach(pat ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${pat})
    list(APPEND out ${found})
  endforeach()
  list(REMOVE_DUPLICATES out)
  set(${var} ${out} PARENT_SCOPE)
endfunction()

# lv_test(NAME sources... [LIBS libs...]): one GoogleTest executable, one CTest entry.
# In the win32 build CTest runs it under Wine through the cross-compiling emulator.
function(lv_test name)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()
