# The Debian package, made from the install rules of the build it belongs to:
#   cpack -G DEB --config BUILD/CPackConfig.cmake -B OUTPUT
# gives velmor-simulated-driver_<version>_amd64.deb, installed below /usr
# (Python modules in /usr/lib/python3/dist-packages, where Debian's python3 looks).
set(CPACK_PACKAGE_NAME velmor-simulated-driver)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Driver for a simulated industrial robot arm, with Python 3.11 modules")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "C++20 libraries of the simulated robot driver, its motion library and their network library, the "
       "Python modules velmor and velmor_driver_simulated with type stubs, the velmor-mirava visualisation "
       "program, headers, a CMake package and pkg-config files, and the examples.")
set(CPACK_PACKAGE_CONTACT "velmor-simulated-driver developers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# dpkg-shlibdeps adds the C and C++ runtime; the extension modules are built
# for CPython 3.11 alone, and the motion library reads robot descriptions with
# urdfdom's model parser. The headers and the CMake package need Boost and Eigen.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3 (>= 3.11), python3 (<< 3.12), liburdfdom-model3.0")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libboost1.81-dev, libeigen3-dev, python3-numpy, python3-matplotlib")
include(CPack)
