# Fails unless the PE header of EXE is a Windows GUI program whose
# DllCharacteristics hold every flag in FLAGS.
# Usage: cmake -DOBJDUMP=<objdump> -DEXE=<exe> -DFLAGS=<a;b> -P check_pe_hardening.cmake
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE header RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "objdump -p ${EXE} failed")
endif()
if(NOT header MATCHES "Subsystem[\t ]+00000002")
  message(FATAL_ERROR "not a Windows GUI program")
endif()
string(REGEX MATCH "DllCharacteristics[^\n]*\n([\t ]+[A-Z_]+\n)*" characteristics "${header}")
foreach(flag ${FLAGS})
  if(NOT characteristics MATCHES "[\t ]${flag}\n")
    message(FATAL_ERROR "DllCharacteristics lack ${flag}:\n${characteristics}")
  endif()
endforeach()
