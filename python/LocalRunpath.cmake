# cmake -DFILE=lib.so -P LocalRunpath.cmake: a library that has a run path
# finds its dependencies beside itself ($ORIGIN) rather than in the build tree.
file(READ_ELF "${FILE}" RUNPATH runpath RPATH rpath)
if(runpath OR rpath)
  file(RPATH_SET FILE "${FILE}" NEW_RPATH "$ORIGIN")
endif()
