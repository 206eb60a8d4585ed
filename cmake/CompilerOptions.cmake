# Options shared by every target of the project: strict warnings, and a code
# generation that needs nothing of the C++ runtime (no exceptions, no RTTI).
add_library(sysutils_options INTERFACE)
target_compile_options(sysutils_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  $<$<BOOL:${SYSUTILS_WERROR}>:-Werror>
  $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
target_link_options(sysutils_options INTERFACE LINKER:--as-needed)
