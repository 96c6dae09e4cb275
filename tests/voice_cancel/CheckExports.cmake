# Fails unless every C function of the canceller is a defined, unmangled
# dynamic symbol of LIBRARY.
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}: ${result}")
endif()
foreach(name new_FD_ICA cancel_FD_ICA delete_FD_ICA new_SemiBlind separate_SemiBlind
             delete_SemiBlind calloc2dim)
  if(NOT symbols MATCHES "[0-9a-f]+ T ${name}\n")
    message(FATAL_ERROR "${LIBRARY} does not export ${name}")
  endif()
endforeach()
message(STATUS "all seven C names exported")
