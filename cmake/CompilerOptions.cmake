# Warnings and sanitizers for everything the project compiles.
option(VORTIGEN_WERROR "Treat compiler warnings as errors" OFF)
option(VORTIGEN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra)
  if(VORTIGEN_WERROR)
    add_compile_options(-Werror)
    # GCC 12 at -O3 warns falsely about overlapping copies inside
    # std::string's operator+ (libstdc++'s char_traits; GCC 13 no longer
    # does): left a warning, so that Release builds with warnings as errors.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      add_compile_options(-Wno-error=restrict)
    endif()
  endif()
  if(VORTIGEN_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()

# Options for sources whose loops run element-wise over frames and spectra
# (the kernel's vector routines, the spectral stages' per-bin loops):
# GCC's default cost model at -O2 leaves loops of unknown length scalar, and
# with trapping math it will not turn the per-bin rules' selections into
# vector blends (a float comparison or product used on one side only might
# raise an exception flag the other side would not). No code here reads
# those flags, and neither option changes a single result.
set(VORTIGEN_VECTOR_LOOP_OPTIONS "")
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(VORTIGEN_VECTOR_LOOP_OPTIONS -fvect-cost-model=dynamic -fno-trapping-math)
elseif(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(VORTIGEN_VECTOR_LOOP_OPTIONS -fno-trapping-math)
endif()
