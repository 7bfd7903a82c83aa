# The fuzz harnesses as one library, shared by the libFuzzer targets (fuzz/) and the regression
# suite (tests/regressions/), so a reduced crash input replays through the same code in every
# build. Included from both places; the first defines the target.
if(NOT TARGET tarvo_fuzz_harness)
  find_package(SQLite3 REQUIRED)
  set(_harness_dir ${CMAKE_CURRENT_LIST_DIR})
  add_library(tarvo_fuzz_harness STATIC
    ${_harness_dir}/Support.cpp
    ${_harness_dir}/Harnesses.cpp
    ${_harness_dir}/SettingsHarness.cpp
    ${_harness_dir}/ScanHarness.cpp
  )
  target_include_directories(tarvo_fuzz_harness PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(tarvo_fuzz_harness
    PUBLIC tarvo_persistence tarvo_protocol tarvo_sim tarvo_core eng_services
    PRIVATE SQLite::SQLite3)
  # The harness's own loops (checking every heat-map cell after each step) would otherwise
  # dominate the coverage feedback and the run time; the code under test stays instrumented.
  if(TARVO_BUILD_FUZZ)
    target_compile_options(tarvo_fuzz_harness PRIVATE
      -fno-sanitize-coverage=inline-8bit-counters,pc-table,trace-cmp,indirect-calls)
  endif()
  # The packet handler harness needs the acquisition pipeline.
  if(TARGET tarvo_pipeline)
    target_sources(tarvo_fuzz_harness PRIVATE ${_harness_dir}/HandlerHarness.cpp)
    target_link_libraries(tarvo_fuzz_harness PUBLIC tarvo_pipeline)
    target_compile_definitions(tarvo_fuzz_harness PUBLIC TARVO_FUZZ_HANDLER=1)
  endif()
endif()
