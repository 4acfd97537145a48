# One static library per source folder, linked only downwards, so that an
# include pointing up the stack fails to build instead of going unnoticed.
function(lanternwick_add_library NAME)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  # A file named for a platform (Posix, Linux, Mac, Windows) holds that
  # platform's side of a seam; the others of its folder build everywhere.
  if(NOT UNIX)
    list(FILTER sources EXCLUDE REGEX "Posix\\.cpp$")
  endif()
  if(NOT WIN32)
    list(FILTER sources EXCLUDE REGEX "Windows\\.cpp$")
  endif()
  if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
    list(FILTER sources EXCLUDE REGEX "Linux\\.cpp$")
  endif()
  if(NOT APPLE)
    list(FILTER sources EXCLUDE REGEX "Mac\\.cpp$")
  endif()
  if(sources)
    add_library(lanternwick_${NAME} STATIC ${sources})
    target_include_directories(lanternwick_${NAME} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(lanternwick_${NAME} PUBLIC ${ARG_DEPS})
  else()
    add_library(lanternwick_${NAME} INTERFACE)
    target_include_directories(lanternwick_${NAME} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(lanternwick_${NAME} INTERFACE ${ARG_DEPS})
  endif()
  add_library(lanternwick::${NAME} ALIAS lanternwick_${NAME})
endfunction()

# Sanitized builds run the same tests several times slower; their timeouts
# grow with them instead of being dropped, so a hang still fails the run.
set(LANTERNWICK_TEST_TIMEOUT_SCALE 1 CACHE STRING "Factor applied to every test timeout")

# One test binary per folder; every *.cpp in the folder belongs to it.
function(lanternwick_add_test NAME)
  cmake_parse_arguments(ARG "" "TIMEOUT" "DEPS;ENVIRONMENT" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * ${LANTERNWICK_TEST_TIMEOUT_SCALE}")
  math(EXPR discovery_timeout "60 * ${LANTERNWICK_TEST_TIMEOUT_SCALE}")
  add_executable(${NAME}_tests ${sources})
  target_include_directories(${NAME}_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${NAME}_tests PRIVATE ${ARG_DEPS} GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${NAME}_tests
    DISCOVERY_TIMEOUT ${discovery_timeout}
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${ARG_ENVIRONMENT}")
endfunction()
