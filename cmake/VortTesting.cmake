# vort_test(NAME <target> LABELS <unit|pty|gui|interop|slow...> SOURCES ... LIBS ...)
# (EXISTING: the executable <target> is already made, as vort_umockdev_test does.)
# One GoogleTest executable; each of its tests becomes one CTest test with the labels,
# and with the name of its subsystem folder under tests/ as one more label (control,
# libs, app, platform, tools), so one subsystem's tests run alone: ctest -L control.
# The target <subsystem>_nongui_tests builds that subsystem's tests not labelled gui,
# with what they need (the thread-sanitizer stage of scripts/test builds only those).
include(GoogleTest)
find_package(GTest REQUIRED)

function(vort_test)
  cmake_parse_arguments(T "EXISTING" "NAME;TIMEOUT" "LABELS;SOURCES;LIBS" ${ARGN})
  if(NOT VORT_BUILD_TESTS)
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  file(RELATIVE_PATH subsystem ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  string(REGEX REPLACE "/.*" "" subsystem "${subsystem}")
  if(NOT T_EXISTING)
    add_executable(${T_NAME} ${T_SOURCES})
  endif()
  if(subsystem AND NOT subsystem MATCHES "^\\.\\.")
    list(APPEND T_LABELS ${subsystem})
    if(NOT "gui" IN_LIST T_LABELS)
      if(NOT TARGET ${subsystem}_nongui_tests)
        add_custom_target(${subsystem}_nongui_tests)
      endif()
      add_dependencies(${subsystem}_nongui_tests ${T_NAME})
    endif()
  endif()
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  set(env "QT_QPA_PLATFORM=offscreen;VORT_BUILD_OUT=${CMAKE_BINARY_DIR}/out;VORT_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT})
  # gtest_discover_tests splits a list-valued property into separate words, so only the
  # first variable of ENVIRONMENT (and the first of several LABELS) would arrive. Set them
  # after discovery instead, on the tests it found (the list ${T_NAME}_TESTS its generated
  # script defines).
  set(env_script ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_environment.cmake)
  file(WRITE ${env_script} "if(${T_NAME}_TESTS)\n  set_tests_properties(\${${T_NAME}_TESTS} PROPERTIES ENVIRONMENT \"${env}\" LABELS \"${T_LABELS}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${env_script})
endfunction()

# Adds every direct subfolder that has a CMakeLists.txt, in name order, so a new
# subsystem folder joins the build without editing its parent.
function(vort_add_subdirectories)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# vort_umockdev_test(NAME ... same arguments as vort_test)
# A test on fake devices (tests/support/umockdev_testbed.h): links the testbed and runs,
# for both the test listing and each test, under umockdev's preload library through
# tests/support/umockdev_run.sh.
function(vort_umockdev_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "LABELS;SOURCES;LIBS" ${ARGN})
  if(NOT VORT_BUILD_TESTS)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES
    CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/tests/support/umockdev_run.sh)
  set(timeout)
  if(T_TIMEOUT)
    set(timeout TIMEOUT ${T_TIMEOUT})
  endif()
  vort_test(NAME ${T_NAME} EXISTING ${timeout} LABELS umockdev ${T_LABELS}
    LIBS ${T_LIBS} vort_test_umockdev)
endfunction()
