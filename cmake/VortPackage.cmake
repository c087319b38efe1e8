# What an install adds beyond each target's own rules, and the Debian packages made
# from it (scripts/package runs cpack on a build configured with the /usr prefix):
#
#   tcu-vort      runtime: programs, libraries (SONAME files), the control and its help
#                 page in the module directory, manual pages, documentation, menu
#                 entries, icons and AppStream metadata
#   tcu-vort-dev  the SDK: headers, unversioned library links, pkg-config files and the
#                 CMake package (find_package(Vort): Vort::serilon, Vort::transvex,
#                 Vort::link3964, Vort::host)
#
# Installing the runtime package registers the control in the system registry
# (/etc/vort/registry) through vortreg; removing it unregisters it (cmake/install/*.in).

# The CMake package for integrators.
include(CMakePackageConfigHelpers)
set(VORT_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vort)
set_target_properties(vort_host PROPERTIES EXPORT_NAME host)
install(EXPORT VortTargets NAMESPACE Vort:: DESTINATION ${VORT_CMAKE_PACKAGE_DIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/install/VortConfig.cmake.in
  ${CMAKE_BINARY_DIR}/VortConfig.cmake INSTALL_DESTINATION ${VORT_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/VortConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/VortConfig.cmake ${CMAKE_BINARY_DIR}/VortConfigVersion.cmake
        DESTINATION ${VORT_CMAKE_PACKAGE_DIR} COMPONENT dev)

# Package version and the files Debian wants in each package's doc directory (the
# README and the control's help page are installed there by docs/).
set(VORT_PACKAGE_VERSION ${PROJECT_VERSION} CACHE STRING
    "Version of the Debian packages (the project's by default)")
set(VORT_PACKAGE_MAINTAINER
    "TCU and VORT maintainers <maintainers@users.noreply.c-seed-163cc692.example>"
    CACHE STRING "Maintainer field of the Debian packages")
# The changelog's date: SOURCE_DATE_EPOCH when set, so a rebuild gives the same package.
string(TIMESTAMP VORT_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(VORT_PACKAGE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc)
foreach(component runtime dev)
  if(component STREQUAL "runtime")
    set(package ${VORT_PACKAGE_NAME})
  else()
    set(package ${VORT_PACKAGE_NAME}-dev)
  endif()
  set(VORT_CHANGELOG_PACKAGE ${package})
  set(doc_build_dir ${CMAKE_BINARY_DIR}/package-doc/${package})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/install/changelog.in ${doc_build_dir}/changelog @ONLY)
  # gzip -n: no name or time stamp inside, as Debian asks.
  add_custom_command(OUTPUT ${doc_build_dir}/changelog.gz
    COMMAND gzip -9nc ${doc_build_dir}/changelog > ${doc_build_dir}/changelog.gz
    DEPENDS ${doc_build_dir}/changelog VERBATIM)
  add_custom_target(vort_changelog_${component} ALL DEPENDS ${doc_build_dir}/changelog.gz)
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/install/copyright ${doc_build_dir}/changelog.gz
          DESTINATION ${VORT_PACKAGE_DOC_DIR}/${package} COMPONENT ${component})
endforeach()
# Maintainer scripts of the runtime package: register the control at the path it is
# installed to.
if(IS_ABSOLUTE ${VORT_MODULE_DIR})
  set(VORT_INSTALLED_CONTROL ${VORT_MODULE_DIR}/libvort.so)
else()
  set(VORT_INSTALLED_CONTROL ${CMAKE_INSTALL_PREFIX}/${VORT_MODULE_DIR}/libvort.so)
endif()
set(VORT_MAINTAINER_SCRIPTS)
foreach(script postinst prerm postrm)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/install/${script}.in
                 ${CMAKE_BINARY_DIR}/package-scripts/${script} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
  list(APPEND VORT_MAINTAINER_SCRIPTS ${CMAKE_BINARY_DIR}/package-scripts/${script})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VORT_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${VORT_PACKAGE_VERSION})
set(CPACK_PACKAGE_CONTACT ${VORT_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Debian ships stripped binaries; the build tree keeps its debugging information.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${VORT_PACKAGE_NAME})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION utils)
# A shlibs file for the libraries; with maintainer scripts of our own CPack adds no
# ldconfig call, so the package activates dpkg's ldconfig trigger itself.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${VORT_MAINTAINER_SCRIPTS}
    ${PROJECT_SOURCE_DIR}/cmake/install/triggers)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "scanner configuration over RS-232 and a serial communication control
tcu1 finds a scanner's baud rate, reads and edits its whole setup, sends it
back, saves and opens setup files, restores factory defaults, writes the
registration key and loads new firmware by ZMODEM; tcu does the same from a
shell. The serial communication control (libvort.so), the serial core,
transfer (XMODEM, YMODEM, ZMODEM) and 3964 libraries, a scanner and a modem
simulator, the registration tool and the control test container are included.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${VORT_PACKAGE_NAME}-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${VORT_PACKAGE_NAME} (= ${VORT_PACKAGE_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "SDK of the serial core, transfer, 3964 and component host libraries
Headers, pkg-config files and the CMake package (find_package(Vort)) for
programs that use the serial core, transfer and 3964 libraries or host the
serial communication control through the component host library.")
include(CPack)
