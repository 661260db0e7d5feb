# Hardening for optimised builds, as Debian builds its own packages: fortified
# libc calls, stack protector and clash protection, position-independent
# executables, and a read-only GOT resolved at start (-z relro -z now).
# Sanitizer and fuzzing builds leave it out: ASan and _FORTIFY_SOURCE check the same calls
# and get in each other's way.
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

if(NOT TARLO_SANITIZE AND NOT TARLO_BUILD_FUZZ)
  # _FORTIFY_SOURCE needs optimisation; Debug builds stay plain.
  add_compile_options($<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
  add_compile_options(-fstack-protector-strong -fstack-clash-protection -Wformat -Werror=format-security)
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()
