# A Windows cross build runs its programs (the tests, salvage-cli) under Wine
# when Wine is installed: CTest and gtest_discover_tests start them through
# tests/windows/wine-run.sh, which keeps a Wine prefix of its own in the build
# folder. Set before any target is made (targets take the emulator then).
if(CMAKE_CROSSCOMPILING AND WIN32 AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(KESTREL_WINE_PROGRAM wine)
  if(KESTREL_WINE_PROGRAM)
    set(KESTREL_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "The Wine prefix the cross build's programs run in")
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/tests/windows/wine-run.sh ${KESTREL_WINE_PREFIX})
  endif()
endif()
