# Warnings are on for everything we compile and are kept at zero.
add_library(kestrel_warnings INTERFACE)
if(MSVC)
  target_compile_options(kestrel_warnings INTERFACE /W4)
else()
  target_compile_options(kestrel_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual -Wimplicit-fallthrough)
endif()
option(KESTREL_WERROR "Treat warnings as errors" OFF)
if(KESTREL_WERROR AND NOT MSVC)
  target_compile_options(kestrel_warnings INTERFACE -Werror)
endif()
