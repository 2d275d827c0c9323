# A staged installation run by an ordinary user in the lab: its log and a backup through
# the window and the real FTP client land in that user's folder.
include(${CMAKE_CURRENT_LIST_DIR}/LabFixtures.cmake)
add_executable(transfer_lab_test ${CMAKE_CURRENT_LIST_DIR}/transferLabTest.cpp)
target_link_libraries(transfer_lab_test PRIVATE zelvo_app zelvo_test_support zelvo_window_test_main)
target_include_directories(transfer_lab_test PRIVATE ${CMAKE_SOURCE_DIR}/tests)
if(NOT ZELVO_TESTS_ONLY)
  zelvo_add_lab_test(NAME transfer_lab_installed DESCRIPTION ${CMAKE_CURRENT_LIST_DIR}/transfer.lab
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/transfer_lab_test.sh ${CMAKE_BINARY_DIR}
            $<TARGET_FILE:transfer_lab_test>
    TIMEOUT 240)
endif()
