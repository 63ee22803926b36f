# What `cmake --install` lays out and `cpack -G DEB` packages: r3sim, the model
# library with its ABI version, the host ABI header (for user models and for
# hosts), the reference data, docs and example cases, and the files
# find_package(r3models) and pkg-config read.
include(CMakePackageConfigHelpers)
set(R3_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/r3models)
target_include_directories(r3models INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
                                              $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/r3models>)
install(TARGETS r3models r3sim EXPORT r3modelsTargets)
# The host's own plant blocks, beside the model library.
if(TARGET r3blocks)
  install(TARGETS r3blocks LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
install(FILES framework/host_services.h framework/entry_protocol.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/r3models/framework)
install(DIRECTORY data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/r3models/data)
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/r3models/examples)
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(EXPORT r3modelsTargets NAMESPACE r3models:: DESTINATION ${R3_CMAKE_DIR})
configure_package_config_file(cmake/r3modelsConfig.cmake.in r3modelsConfig.cmake INSTALL_DESTINATION ${R3_CMAKE_DIR})
write_basic_package_version_file(r3modelsConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/r3modelsConfig.cmake ${PROJECT_BINARY_DIR}/r3modelsConfigVersion.cmake
        DESTINATION ${R3_CMAKE_DIR})
# The .pc file names its prefix relative to its own directory, so the
# installed tree may be moved.
file(RELATIVE_PATH R3_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" R3_PC_TO_PREFIX "${R3_PC_TO_PREFIX}")
configure_file(cmake/r3models.pc.in r3models.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/r3models.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(CPACK_PACKAGE_NAME r3models)
set(CPACK_PACKAGE_VENDOR "r3models developers")
set(CPACK_PACKAGE_CONTACT "r3models developers <r3models@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Equation-oriented unit-operation models and the r3sim host that runs them")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
