# tarvo_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [GL] [THREADS])
#
# One GoogleTest executable; every TEST becomes its own CTest case (discovered when ctest runs,
# so nothing executes at build time). GL tests carry the label "gl"; `make test` runs the whole
# suite under xvfb-run when no display is set.
#
# THREADS (or LABELS threads) marks a suite whose tests run several threads against each
# other: `make check-sanitizers` runs exactly these under ThreadSanitizer (ctest -L threads).
# Such suites are also dependencies of the target tarvo_threaded_tests, so a ThreadSanitizer
# build compiles only them. A suite whose own sources start threads (std::thread, std::jthread,
# std::async, pthread_create) is marked without being asked; one whose threads start inside
# the code under test (a controller or link thread) needs THREADS.
include(GoogleTest)

if(NOT TARGET tarvo_threaded_tests)
  add_custom_target(tarvo_threaded_tests)
endif()

function(tarvo_add_test)
  cmake_parse_arguments(T "GL;THREADS" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  target_compile_definitions(${T_NAME} PRIVATE TARVO_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                               TARVO_BINARY_DIR="${PROJECT_BINARY_DIR}")
  set(labels ${T_LABELS})
  if(T_GL)
    list(APPEND labels gl)
  endif()
  if(NOT T_THREADS)
    foreach(src IN LISTS T_SOURCES)
      get_filename_component(path ${src} ABSOLUTE)
      if(EXISTS ${path})
        file(STRINGS ${path} starts REGEX "std::(thread|jthread|async)|pthread_create" LIMIT_COUNT 1)
        if(starts)
          set(T_THREADS ON)
          break()
        endif()
      endif()
    endforeach()
  endif()
  if(T_THREADS AND NOT "threads" IN_LIST labels)
    list(APPEND labels threads)
  endif()
  if("threads" IN_LIST labels)
    add_dependencies(tarvo_threaded_tests ${T_NAME})
  endif()
  set(props TIMEOUT 300)
  if(labels)
    list(APPEND props LABELS "${labels}")
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    PROPERTIES ${props})
endfunction()

# tarvo_add_benchmark(NAME <name> SOURCES <files...> LIBS <targets...>)
function(tarvo_add_benchmark)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark benchmark::benchmark_main Threads::Threads)
endfunction()
