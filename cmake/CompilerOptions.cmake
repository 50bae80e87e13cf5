# Warnings and sanitizers for everything the project compiles.
option(VORTIGEN_WERROR "Treat compiler warnings as errors" OFF)
option(VORTIGEN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra)
  if(VORTIGEN_WERROR)
    add_compile_options(-Werror)
  endif()
  if(VORTIGEN_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()
