# The search run: address rules, neighbour table, results, worker and commands.
zelvo_add_test(NAME search_run_rules
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/runAddressRulesTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/runNeighbourWalkTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/runResultsTest.cpp
  LIBS zelvo_search)
zelvo_add_test(NAME search_run_worker
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/runWorkerTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/runCommandsTest.cpp
  LIBS zelvo_search
  LABELS unit threads)
