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
