# What `cmake --install` puts where, in three components:
#   runtime      what goes onto the router: libzezarur.so, the host program
#                and one link per applet (install it with --strip);
#   development  the header, zezarur.pc and the CMake package zezarur;
#   sandbox      the stand-in platform library (libadp.so, adp.h, adp.pc),
#                its helper program and zezarur-sim with its package.
include(CMakePackageConfigHelpers)

install(TARGETS zezarur LIBRARY COMPONENT runtime)
install(TARGETS zezarur-host RUNTIME COMPONENT runtime)
foreach(applet IN LISTS ZEZARUR_APPLETS)
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${applet}\")
    message(STATUS \"Installing: \${link}\")
    file(CREATE_LINK zezarur \"\${link}\" SYMBOLIC)" COMPONENT runtime)
endforeach()

set(pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
# The pkg-config files find the prefix from where they lie, so that an install
# with --prefix (and DESTDIR) other than the configured one stays right.
file(RELATIVE_PATH pkgconfig_to_prefix /${pkgconfig_dir} /)
string(REGEX REPLACE "/$" "" pkgconfig_to_prefix "${pkgconfig_to_prefix}")
set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/zezarur)
configure_file(cmake/package/zezarur.pc.in zezarur.pc @ONLY)
configure_package_config_file(cmake/package/zezarurConfig.cmake.in zezarurConfig.cmake
  INSTALL_DESTINATION ${package_dir} PATH_VARS CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)
write_basic_package_version_file(zezarurConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES include/zezarur/zezarur.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zezarur
        COMPONENT development)
install(FILES ${PROJECT_BINARY_DIR}/zezarur.pc DESTINATION ${pkgconfig_dir} COMPONENT development)
install(FILES ${PROJECT_BINARY_DIR}/zezarurConfig.cmake
              ${PROJECT_BINARY_DIR}/zezarurConfigVersion.cmake
        DESTINATION ${package_dir} COMPONENT development)

# The sandbox's package keeps the source tree's shape (sim/, src/applets.def,
# adp/devices.def), which is how it finds the lists it reads.
set(sim_data ${CMAKE_INSTALL_DATADIR}/zezarur)
configure_file(cmake/package/adp.pc.in adp.pc @ONLY)
install(TARGETS adp LIBRARY COMPONENT sandbox)
install(TARGETS zezarur-sim-state RUNTIME COMPONENT sandbox)
install(FILES include/zezarur/adp.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zezarur
        COMPONENT sandbox)
install(FILES ${PROJECT_BINARY_DIR}/adp.pc DESTINATION ${pkgconfig_dir} COMPONENT sandbox)
install(PROGRAMS ${PROJECT_BINARY_DIR}/sim/zezarur-sim DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT sandbox)
install(DIRECTORY sim/zezarur_sim sim/servers sim/standin.d
        DESTINATION ${sim_data}/sim COMPONENT sandbox USE_SOURCE_PERMISSIONS
        PATTERN __pycache__ EXCLUDE)
install(PROGRAMS sim/standin.sh DESTINATION ${sim_data}/sim COMPONENT sandbox)
install(FILES src/applets.def DESTINATION ${sim_data}/src COMPONENT sandbox)
install(FILES adp/devices.def DESTINATION ${sim_data}/adp COMPONENT sandbox)
