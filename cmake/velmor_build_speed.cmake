# Build speed: a compiler cache and a fast linker whenever the machine has them.
#
# The cache is keyed so that two checkouts in different folders share it: paths
# below the source folder are rewritten relative to the build folder
# (CCACHE_BASEDIR) and the build folder itself is left out of the debug
# information's hash (CCACHE_NOHASHDIR). A fresh clone built into `build/`
# thus hits what another clone compiled into its own `build/`.
option(VELMOR_USE_CCACHE "Compile through ccache when it is installed" ON)
option(VELMOR_USE_MOLD "Link with mold when it is installed" ON)

if(VELMOR_USE_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  find_program(VELMOR_CCACHE ccache)
  if(VELMOR_CCACHE)
    set(CMAKE_CXX_COMPILER_LAUNCHER
        ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${PROJECT_SOURCE_DIR} CCACHE_NOHASHDIR=true
        CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
        ${VELMOR_CCACHE})
  endif()
endif()

if(VELMOR_USE_MOLD)
  find_program(VELMOR_MOLD mold)
  if(VELMOR_MOLD)
    add_link_options(-fuse-ld=mold)
  endif()
endif()

# Libraries and Python modules compile their sources in batches (unity builds):
# most of a source file's compile time goes into the Boost, Eigen, JSON and
# pybind11 headers it includes, which a batch parses once. Test and benchmark
# programs have one source each and are left as they are.
option(VELMOR_UNITY_BUILD "Compile the libraries' sources in batches" ON)

function(velmor_unity_build target)
  if(VELMOR_UNITY_BUILD)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  endif()
endfunction()

# Optimised builds with debug information keep line tables only: full debug
# information of the Boost, Eigen and pybind11 templates costs about a fifth of
# the compile time, and stack traces and profiles still name files and lines.
add_compile_options($<$<CONFIG:RelWithDebInfo>:-g1>)
