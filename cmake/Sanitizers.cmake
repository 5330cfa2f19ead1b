# Checked builds, with clang only (a separate build folder; the normal build with g++ needs
# none of this):
#   VANTREL_SANITIZE  every library, test and program built with AddressSanitizer and
#                     UndefinedBehaviorSanitizer; any report stops the program that makes it.
#                     Programs and the plug-in share one sanitizer runtime (the shared one), so
#                     that a module loaded with dlopen reports as its host does.
#   VANTREL_FUZZ      everything also instrumented for coverage, and the libFuzzer targets of
#                     tests/fuzz built.
#   VANTREL_TSAN      everything built with ThreadSanitizer, for the tests that run the worker
#                     threads (make check-thread).
option(VANTREL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer (clang)" OFF)
option(VANTREL_TSAN "Build with ThreadSanitizer (clang)" OFF)
option(VANTREL_FUZZ "Build the libFuzzer targets (clang)" OFF)

if(VANTREL_SANITIZE OR VANTREL_FUZZ OR VANTREL_TSAN)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VANTREL_SANITIZE, VANTREL_FUZZ and VANTREL_TSAN need clang (CC=clang CXX=clang++)")
  endif()
endif()

if(VANTREL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  # The shared runtime: one copy for the programs and the modules they load.
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libclang_rt.asan-x86_64.so
                  OUTPUT_VARIABLE VANTREL_ASAN_RUNTIME OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(VANTREL_ASAN_RUNTIME_DIR ${VANTREL_ASAN_RUNTIME} DIRECTORY)
  add_link_options(-fsanitize=address,undefined -shared-libasan -Wl,-rpath,${VANTREL_ASAN_RUNTIME_DIR})
endif()

if(VANTREL_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(VANTREL_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
