# The unit search end to end in the lab: the real main window and search in the PC's
# namespace, one program for both labs.
include(${CMAKE_CURRENT_LIST_DIR}/LabFixtures.cmake)

add_executable(search_lab ${CMAKE_CURRENT_LIST_DIR}/searchLabTest.cpp)
target_link_libraries(search_lab PRIVATE zelvo_app zelvo_window_test_main)
target_include_directories(search_lab PRIVATE ${CMAKE_SOURCE_DIR}/tests)

foreach(row units:firstSearchListsExactlyTheNamedUnitsThatAnswer
            crowd:threeHundredNeighboursHideNoUnit)
  string(REPLACE ":" ";" row ${row})
  list(GET row 0 lab)
  list(GET row 1 test)
  zelvo_add_lab_test(NAME search_lab_${lab} DESCRIPTION ${CMAKE_CURRENT_LIST_DIR}/search-${lab}.lab
    COPY $<TARGET_FILE:search_lab> COMMAND ./search_lab --gtest_filter=SearchLab.${test}
    TIMEOUT 240)
endforeach()
