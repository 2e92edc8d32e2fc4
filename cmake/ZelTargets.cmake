# Helpers that give every project target the same compiler settings.

function(zel_target_settings target)
  target_compile_options(${target} PRIVATE ${ZEL_WARNINGS})
endfunction()

# A test binary is one CTest test: under Wine each start costs seconds, so a
# binary runs as one process rather than once per case.
function(zel_add_test name)
  add_executable(${name} ${ARGN})
  zel_target_settings(${name})
  target_link_libraries(${name} PRIVATE zel_testsupport GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
endfunction()
