# Options for our own targets only, linked PRIVATE: third-party code never sees -Werror.
add_library(zp_options INTERFACE)
target_compile_options(zp_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                       -Wno-sign-conversion -Werror)
# GCC 12 at -O3 reports impossible overlaps inside std::string's operator+ (GCC bug 105329);
# -Wrestrict has nothing else to say about C++ code that uses no restrict pointers.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(zp_options INTERFACE -Wno-restrict)
endif()

# ZP_SANITIZE: "" (none), "address" (ASan + UBSan) or "thread" (TSan). The two cannot be combined.
set(ZP_SANITIZE "" CACHE STRING "Sanitizer build: address, thread, fuzz or empty")
add_library(zp_sanitize INTERFACE)
if(ZP_SANITIZE STREQUAL "address")
  set(_zp_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
elseif(ZP_SANITIZE STREQUAL "thread")
  set(_zp_san -fsanitize=thread -fno-omit-frame-pointer)
elseif(ZP_SANITIZE STREQUAL "fuzz")
  # Every library the fuzz target links is instrumented for coverage as well.
  set(_zp_san -fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all
              -fno-omit-frame-pointer)
elseif(NOT ZP_SANITIZE STREQUAL "")
  message(FATAL_ERROR "ZP_SANITIZE must be address, thread, fuzz or empty")
endif()
if(_zp_san)
  target_compile_options(zp_sanitize INTERFACE ${_zp_san})
  target_link_options(zp_sanitize INTERFACE ${_zp_san})
endif()
target_link_libraries(zp_options INTERFACE zp_sanitize)

# Tests link GoogleTest, which is not ours: they get the sanitizers but keep -Werror only for
# their own sources through zp_options.
