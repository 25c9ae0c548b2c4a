# Fails unless the PE header of EXE is a program of the subsystem SUBSYSTEM
# (2, the default: Windows GUI; 3: console) whose DllCharacteristics hold
# every flag in FLAGS.
# Usage: cmake -DOBJDUMP=<objdump> -DEXE=<exe> -DFLAGS=<a;b> [-DSUBSYSTEM=3] -P check_pe_hardening.cmake
if(NOT SUBSYSTEM)
  set(SUBSYSTEM 2)
endif()
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE header RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "objdump -p ${EXE} failed")
endif()
if(NOT header MATCHES "Subsystem[\t ]+0000000${SUBSYSTEM}")
  message(FATAL_ERROR "not a program of subsystem ${SUBSYSTEM}")
endif()
string(REGEX MATCH "DllCharacteristics[^\n]*\n([\t ]+[A-Z_]+\n)*" characteristics "${header}")
foreach(flag ${FLAGS})
  if(NOT characteristics MATCHES "[\t ]${flag}\n")
    message(FATAL_ERROR "DllCharacteristics lack ${flag}:\n${characteristics}")
  endif()
endforeach()
