# Fails when a probe object holds a relocation that stores an absolute address (R_386_32,
# R_386_GOT32, R_386_GOT32X): such code breaks once the kernel is slid.
# Arguments: READELF (llvm-readelf), OBJECTS (list of object files).
foreach(object ${OBJECTS})
  execute_process(COMMAND ${READELF} -r ${object} OUTPUT_VARIABLE relocations RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "cannot read the relocations of ${object}")
  endif()
  string(REGEX MATCHALL "R_386_(32|GOT32X?)[ \t][^\n]*" absolute "${relocations}")
  if(absolute)
    message(FATAL_ERROR "${object} is not position-independent:\n${absolute}")
  endif()
endforeach()
