# Warnings as errors on our own code only (not on Qt's or generated moc code).
function(quorvel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# quorvel_library(NAME SOURCES ... LIBS ...): a static library of one subsystem.
function(quorvel_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  quorvel_warnings(${name})
endfunction()

# quorvel_test(NAME SOURCES ... LIBS ... [LABELS ...] [RESOURCE_LOCK name]): one GoogleTest executable,
# its cases discovered by CTest when the tests run (so building never needs a display). Cases that
# share a RESOURCE_LOCK never run at the same time (ctest runs cases in parallel).
function(quorvel_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT;RESOURCE_LOCK" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE quorvel_test_support ${ARG_LIBS})
  quorvel_warnings(${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set(lock)
  if(ARG_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}" ${lock})
endfunction()

# quorvel_fuzz_target(NAME SOURCES ... LIBS ... [SANITIZERS ...]): a libFuzzer executable, built only in
# fuzz builds (clang, QUORVEL_BUILD_FUZZERS=ON; scripts/fuzz builds and runs every *_fuzz target).
function(quorvel_fuzz_target name)
  if(NOT QUORVEL_BUILD_FUZZERS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;SANITIZERS" ${ARGN})
  string(JOIN "," extra ${ARG_SANITIZERS})
  set(sanitizers fuzzer)
  if(extra)
    set(sanitizers "fuzzer,${extra}")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=${sanitizers} -fno-sanitize-recover=all)
  target_link_options(${name} PRIVATE -fsanitize=${sanitizers})
endfunction()

# quorvel_add_subsystems(): adds every subfolder of the current folder that has a CMakeLists.txt,
# so a new subsystem folder needs no edit in its parent.
function(quorvel_add_subsystems)
  file(GLOB lists CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  foreach(list ${lists})
    get_filename_component(dir ${list} DIRECTORY)
    add_subdirectory(${dir})
  endforeach()
endfunction()
