# Every test file parses the test framework, and on Windows the Windows
# headers, before a line of its own: several seconds each under mingw. Each
# test program compiles them once, ahead of its files.
function(norvane_precompile_test_headers target)
  target_precompile_headers(${target} PRIVATE
    <gtest/gtest.h> <algorithm> <array> <chrono> <cstdint> <functional> <memory> <optional> <string> <thread>
    <vector> ${ARGN})
  if(WIN32)
    target_precompile_headers(${target} PRIVATE <windows.h> <commctrl.h>)
  endif()
endfunction()
