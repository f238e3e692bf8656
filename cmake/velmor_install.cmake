# Installation: the three libraries with versioned names, the public headers, the
# Mirava program and its page, the Python modules with their type stubs, the
# examples, a CMake package (velmor::simulated_driver) and pkg-config files.
# Every installed program and module finds the libraries through a run path
# relative to itself, so a prefix can be moved or unpacked anywhere. The
# Debian package (packaging/debian.cmake) and the wheel (packaging/) are built
# from these rules.
#
# Components: runtime (libraries, velmor-mirava), python, development
# (headers, CMake package, pkg-config, unversioned library links), examples.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VELMOR_INSTALL_PYTHONDIR "lib/python3/dist-packages" CACHE STRING
    "Folder below the prefix for the Python modules (Debian's layout by default)")
set(velmor_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/velmor_simulated_driver)
set(velmor_pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Before 1.0 any release may change the binary interface, so the full version
# names the shared object.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(velmor_soversion ${PROJECT_VERSION})
else()
  set(velmor_soversion ${PROJECT_VERSION_MAJOR})
endif()

# Sets the run path of an installed target in `folder` (below the prefix) to
# the library folder, relative to the target's own location.
function(velmor_relative_rpath target folder)
  file(RELATIVE_PATH to_libraries /${folder} /${CMAKE_INSTALL_LIBDIR})
  string(REGEX REPLACE "/$" "" to_libraries "${to_libraries}")
  if(to_libraries STREQUAL "")
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
  else()
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${to_libraries}")
  endif()
endfunction()

set_target_properties(velmor-simulated-driver PROPERTIES EXPORT_NAME simulated_driver)
set_target_properties(velmor-motion PROPERTIES EXPORT_NAME motion)
set_target_properties(velmor-net PROPERTIES EXPORT_NAME net)
set_target_properties(velmor-error PROPERTIES EXPORT_NAME error)
foreach(library velmor-simulated-driver velmor-motion velmor-net)
  set_target_properties(${library} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${velmor_soversion})
  velmor_relative_rpath(${library} ${CMAKE_INSTALL_LIBDIR})
  # The public headers need C++20; a consumer's target gets it from the package.
  target_compile_features(${library} PUBLIC cxx_std_20)
endforeach()
target_include_directories(velmor-error INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS velmor-simulated-driver velmor-motion velmor-net velmor-error
        EXPORT velmor_simulated_driver_targets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ ${PROJECT_SOURCE_DIR}/common/include/
                  ${PROJECT_SOURCE_DIR}/common/net/include/ ${PROJECT_SOURCE_DIR}/motion/include/
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

if(TARGET velmor-mirava)
  velmor_relative_rpath(velmor-mirava bin)
endif()

if(TARGET velmor-python-motion AND TARGET velmor-python-driver-simulated)
  foreach(module velmor-python-motion velmor-python-driver-simulated)
    velmor_relative_rpath(${module} ${VELMOR_INSTALL_PYTHONDIR})
  endforeach()
  install(TARGETS velmor-python-motion velmor-python-driver-simulated
          LIBRARY DESTINATION ${VELMOR_INSTALL_PYTHONDIR} COMPONENT python)
  # Type stubs with their py.typed markers, and the pure-Python velmor_tools.
  install(DIRECTORY ${PROJECT_BINARY_DIR}/python/ DESTINATION ${VELMOR_INSTALL_PYTHONDIR} COMPONENT python
          FILES_MATCHING PATTERN "*.py" PATTERN "*.pyi" PATTERN "py.typed"
          PATTERN CMakeFiles EXCLUDE PATTERN __pycache__ EXCLUDE)
  # Component system: the Debian package and CMake installs only, as the wheel makes
  # its own launchers and metadata from pyproject.toml. The launcher velmor-report,
  # and distribution metadata whose entry point lets pytest find the plugin.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/velmor-report.in ${PROJECT_BINARY_DIR}/packaging/velmor-report
                 COPYONLY)
  install(PROGRAMS ${PROJECT_BINARY_DIR}/packaging/velmor-report DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT system)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/METADATA.in ${PROJECT_BINARY_DIR}/packaging/METADATA @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/METADATA ${PROJECT_SOURCE_DIR}/packaging/entry_points.txt
          DESTINATION ${VELMOR_INSTALL_PYTHONDIR}/velmor_simulated_driver-${PROJECT_VERSION}.dist-info
          COMPONENT system)
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/velmor-simulated-driver/examples
        COMPONENT examples PATTERN __pycache__ EXCLUDE)
# The robot descriptions the motion library is tested with, for users to start from.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/motion/robots/ DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/velmor-simulated-driver/robots
        COMPONENT examples PATTERN "*.py" EXCLUDE)

# The CMake package: find_package(velmor_simulated_driver CONFIG) anywhere the prefix lies.
install(EXPORT velmor_simulated_driver_targets NAMESPACE velmor:: DESTINATION ${velmor_cmake_dir}
        FILE velmor_simulated_driver_targets.cmake COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/packaging/velmor_simulated_driverConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/packaging/velmor_simulated_driverConfig.cmake
                              INSTALL_DESTINATION ${velmor_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/packaging/velmor_simulated_driverConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/packaging/velmor_simulated_driverConfig.cmake
              ${PROJECT_BINARY_DIR}/packaging/velmor_simulated_driverConfigVersion.cmake
        DESTINATION ${velmor_cmake_dir} COMPONENT development)

# pkg-config files whose prefix is found from their own folder, so they move with it.
file(RELATIVE_PATH velmor_pkgconfig_to_prefix /${velmor_pkgconfig_dir} /)
string(REGEX REPLACE "/$" "" velmor_pkgconfig_to_prefix "${velmor_pkgconfig_to_prefix}")
get_target_property(velmor_net_definitions velmor-net INTERFACE_COMPILE_DEFINITIONS)
list(TRANSFORM velmor_net_definitions PREPEND -D)
list(JOIN velmor_net_definitions " " velmor_net_cflags)
foreach(pc velmor-net velmor-motion velmor-simulated-driver)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${pc}.pc.in ${PROJECT_BINARY_DIR}/packaging/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/${pc}.pc DESTINATION ${velmor_pkgconfig_dir}
          COMPONENT development)
endforeach()

include(${PROJECT_SOURCE_DIR}/packaging/debian.cmake)
