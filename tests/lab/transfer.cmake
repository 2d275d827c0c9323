# The transfers end to end in the lab: the window with the real FTP client against the
# units' vsftpd, and a staged installation run by an ordinary user. The test program
# lives in a folder of its own, with the manager.ini the window reads beside it.
include(${CMAKE_CURRENT_LIST_DIR}/LabFixtures.cmake)
if(NOT ZELVO_LAB_CTEST)
  set(ZELVO_LAB_CTEST ${CMAKE_SOURCE_DIR}/tests/lab/lab-ctest.sh)
endif()

add_executable(transfer_lab_test ${CMAKE_CURRENT_LIST_DIR}/transferLabTest.cpp)
target_link_libraries(transfer_lab_test PRIVATE zelvo_app zelvo_test_support zelvo_window_test_main Qt6::Test)
target_include_directories(transfer_lab_test PRIVATE ${CMAKE_SOURCE_DIR}/tests)
set_target_properties(transfer_lab_test PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/transfer-window)
add_custom_command(TARGET transfer_lab_test POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different
          ${CMAKE_SOURCE_DIR}/resources/manager.ini $<TARGET_FILE_DIR:transfer_lab_test>/manager.ini)

zelvo_add_lab_test(NAME transfer_lab_window DESCRIPTION ${CMAKE_CURRENT_LIST_DIR}/transfer.lab
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/transfer_lab_test.sh window
          $<TARGET_FILE:transfer_lab_test>
  TIMEOUT 240)
if(NOT ZELVO_TESTS_ONLY)
  zelvo_add_lab_test(NAME transfer_lab_installed DESCRIPTION ${CMAKE_CURRENT_LIST_DIR}/transfer.lab
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/transfer_lab_test.sh installed ${CMAKE_BINARY_DIR}
            $<TARGET_FILE:transfer_lab_test>
    TIMEOUT 240)
endif()
