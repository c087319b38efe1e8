# vort_test(NAME <target> LABELS <unit|pty|gui|interop|slow...> SOURCES ... LIBS ...)
# One GoogleTest executable; each of its tests becomes one CTest test with the labels.
include(GoogleTest)
find_package(GTest REQUIRED)

function(vort_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "LABELS;SOURCES;LIBS" ${ARGN})
  if(NOT VORT_BUILD_TESTS)
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  set(env "QT_QPA_PLATFORM=offscreen;VORT_BUILD_OUT=${CMAKE_BINARY_DIR}/out;VORT_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  # gtest_discover_tests passes PROPERTIES on as separate words; without escaping, only
  # the first variable would reach the tests and the rest would become bogus properties.
  string(REPLACE ";" "\\;" env "${env}")
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}")
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
