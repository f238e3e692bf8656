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

# The batches are written here rather than by CMake's UNITY_BUILD, which includes
# each source by its absolute path: that path changes with every checkout, so a
# fresh clone found none of its batches in the compiler cache's direct mode and
# preprocessed each one again. These include their sources by a path relative to
# the batch file, the same in every clone. Call it after the target's sources
# are all given.
set(velmor_unity_batch_size 8)

function(velmor_write_unity_batch target number content)
  set(batch ${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${target}.dir/batches/batch_${number}.cpp)
  # Written only when its text changes, so that configuring again rebuilds nothing.
  file(CONFIGURE OUTPUT ${batch} CONTENT "${content}" @ONLY)
  target_sources(${target} PRIVATE ${batch})
endfunction()

function(velmor_unity_build target)
  if(NOT VELMOR_UNITY_BUILD)
    return()
  endif()
  get_target_property(sources ${target} SOURCES)
  get_target_property(source_dir ${target} SOURCE_DIR)
  set(batch_dir ${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${target}.dir/batches)
  set(content "")
  set(in_batch 0)
  set(number 0)
  foreach(source ${sources})
    if(NOT source MATCHES "\\.cpp$")
      continue()
    endif()
    get_filename_component(absolute ${source} ABSOLUTE BASE_DIR ${source_dir})
    file(RELATIVE_PATH relative ${batch_dir} ${absolute})
    string(APPEND content "#include \"${relative}\"\n")
    set_source_files_properties(${source} PROPERTIES HEADER_FILE_ONLY ON)
    math(EXPR in_batch "${in_batch} + 1")
    if(in_batch EQUAL velmor_unity_batch_size)
      velmor_write_unity_batch(${target} ${number} "${content}")
      set(content "")
      set(in_batch 0)
      math(EXPR number "${number} + 1")
    endif()
  endforeach()
  if(in_batch GREATER 0)
    velmor_write_unity_batch(${target} ${number} "${content}")
  endif()
endfunction()

# Optimised builds with debug information keep line tables only: full debug
# information of the Boost, Eigen and pybind11 templates costs about a fifth of
# the compile time, and stack traces and profiles still name files and lines.
add_compile_options($<$<CONFIG:RelWithDebInfo>:-g1>)
