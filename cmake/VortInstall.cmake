# Install rules shared by the libraries of the SDK (the headers and libraries an
# integrator builds against). The exported targets (namespace Vort::) form the CMake
# package written by cmake/VortPackage.cmake; each library also gets a pkg-config file.

# vort_install_sdk_library(<target> <api target> <description> [<pc requires>])
# Installs the shared library <target> (its SONAME file to the runtime component, the
# unversioned link to dev), the headers of the current folder's include/ (dev), and
# <pkg-config name>.pc, named after the library's output name. <api target> is the
# interface target carrying the headers; it joins the export set when <target> links it
# publicly. Call it from the folder that defines <target>.
function(vort_install_sdk_library target api description)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  install(TARGETS ${target} ${api} EXPORT VortTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/include)
    install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
            COMPONENT dev)
  endif()
  vort_install_pkg_config(${name} "${description}" "-l${name}" "" ${ARGN})
endfunction()

# vort_install_pkg_config(<name> <description> <libs> <extra cflags> [<requires>])
# Writes <name>.pc (prefix-relative paths) and installs it with the dev component.
function(vort_install_pkg_config name description libs cflags)
  set(VORT_PC_NAME ${name})
  set(VORT_PC_DESCRIPTION "${description}")
  set(VORT_PC_LIBS "${libs}")
  set(VORT_PC_CFLAGS "${cflags}")
  if(ARGN)
    string(JOIN ", " requires ${ARGN})
    set(VORT_PC_REQUIRES "Requires.private: ${requires}\n")
  else()
    set(VORT_PC_REQUIRES "")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/install/library.pc.in
                 ${CMAKE_BINARY_DIR}/pkgconfig/${name}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/pkgconfig/${name}.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endfunction()
