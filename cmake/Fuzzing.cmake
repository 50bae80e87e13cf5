# Instrumentation for the libFuzzer harnesses (VORTIGEN_FUZZ): every target
# gets coverage counters and the sanitizers, so that a fault anywhere under
# a harness (plug-ins, platform, kernel) is found and reported where it is;
# only the harnesses link libFuzzer's driver (vortigen_add_fuzzer).
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "VORTIGEN_FUZZ needs clang (libFuzzer): configure with "
                      "-DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14.")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                    -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=address,undefined)
