# The unit search end to end in the lab: the real main window and search in the PC's
# namespace. Each lab gets its own copy of the test program in its own directory,
# because the window writes manager.log beside its executable (and reads manager.ini
# there).
include(${CMAKE_CURRENT_LIST_DIR}/LabFixtures.cmake)

foreach(lab units crowd)
  set(target search_lab_${lab})
  add_executable(${target} ${CMAKE_CURRENT_LIST_DIR}/searchLabTest.cpp)
  target_link_libraries(${target} PRIVATE zelvo_app zelvo_window_test_main)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/search-${lab})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
            ${CMAKE_SOURCE_DIR}/resources/manager.ini $<TARGET_FILE_DIR:${target}>/manager.ini)
endforeach()

zelvo_add_lab_test(NAME search_lab_units DESCRIPTION ${CMAKE_CURRENT_LIST_DIR}/search-units.lab
  COMMAND $<TARGET_FILE:search_lab_units>
          --gtest_filter=SearchLab.firstSearchListsExactlyTheNamedUnitsThatAnswer
  TIMEOUT 240)
zelvo_add_lab_test(NAME search_lab_crowd DESCRIPTION ${CMAKE_CURRENT_LIST_DIR}/search-crowd.lab
  COMMAND $<TARGET_FILE:search_lab_crowd>
          --gtest_filter=SearchLab.threeHundredNeighboursHideNoUnit
  TIMEOUT 240)
