# vortigen_use_plugins(TARGET): TARGET finds the two plug-in libraries of
# this build by the paths VORTIGEN_DYNAMIC_PLUGIN and VORTIGEN_FOURIER_PLUGIN,
# and is built after them. For the tests, benchmarks and fuzzers that load
# the real plug-ins.
function(vortigen_use_plugins target)
  target_compile_definitions(${target} PRIVATE
    VORTIGEN_DYNAMIC_PLUGIN="$<TARGET_FILE:dynamic>"
    VORTIGEN_FOURIER_PLUGIN="$<TARGET_FILE:fourier>")
  add_dependencies(${target} dynamic fourier)
endfunction()
