# The ICMP probes, the name chain and the two small workers of the responder.
zelvo_add_test(NAME probe_wire
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/probeWireTest.cpp
  LIBS zelvo_search)
zelvo_add_test(NAME probe_echo
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/probeEchoTest.cpp
  LIBS zelvo_search)
zelvo_add_test(NAME probe_workers
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/probeWorkersTest.cpp
  LIBS zelvo_search
  LABELS unit threads)

# The probe path as a command, run by the namespace tests as an unprivileged user.
add_executable(probe_cli ${CMAKE_CURRENT_LIST_DIR}/probeCli.cpp)
target_link_libraries(probe_cli PRIVATE zelvo_search)
add_dependencies(probe_cli zelvo-sockhelper)

include(${CMAKE_SOURCE_DIR}/tests/lab/LabFixtures.cmake)
# The fixtures read this at call time; when tests/lab included the file first, the include
# guard left it unset in this directory.
if(NOT ZELVO_LAB_CTEST)
  set(ZELVO_LAB_CTEST ${CMAKE_SOURCE_DIR}/tests/lab/lab-ctest.sh)
endif()
zelvo_add_lab_test(NAME probe_lab DESCRIPTION ${CMAKE_CURRENT_LIST_DIR}/probe.lab
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/probe_lab_test.sh
          $<TARGET_FILE:probe_cli> $<TARGET_FILE:zelvo-sockhelper>
  TIMEOUT 180)
add_test(NAME probe_route
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/probe_route_test.sh
          $<TARGET_FILE:probe_cli> $<TARGET_FILE:zelvo-sockhelper>)
set_tests_properties(probe_route PROPERTIES LABELS lab SKIP_RETURN_CODE 77 TIMEOUT 120)
