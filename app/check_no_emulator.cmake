# Fails when the linker map of the shipped program names any emulator object
# or symbol. Usage: cmake -DMAP=<map file> -P check_no_emulator.cmake
file(READ "${MAP}" map)
if(map STREQUAL "")
  message(FATAL_ERROR "empty linker map: ${MAP}")
endif()
foreach(mark libnorvane_emulator emulated_drive emulated_devices _ZN7norvane3emu)
  string(FIND "${map}" "${mark}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "the shipped program links emulator code (${mark})")
  endif()
endforeach()
