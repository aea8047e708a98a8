# velnox_add_test(<name> LABEL <label> SOURCES <files...> LIBS <libs...> [QT])
# One GoogleTest executable per call; each test case becomes a CTest test carrying the label.
# QT: the executable gets a main() that creates a QApplication (offscreen platform).
find_package(GTest REQUIRED)
include(GoogleTest)

function(velnox_add_test name)
  cmake_parse_arguments(ARG "QT" "LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(ARG_QT)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/qt_test_main.cpp)
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock Qt6::Widgets Qt6::Test ${ARG_LIBS})
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock ${ARG_LIBS})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS "${ARG_LABEL}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()
