# Widget tests of the main window on the offscreen platform.
foreach(name MainDialogLayoutTest MainDialogButtonRulesTest MainDialogCommandsTest
             MainDialogCommandButtonTest)
  zelvo_add_test(NAME app_${name} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/MainDialogTestSupport.h LIBS zelvo_window QT)
endforeach()

# The URL opener starts processes and a thread that reaps them.
zelvo_add_test(NAME app_MainDialogUrlOpenerTest
               SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainDialogUrlOpenerTest.cpp
               LIBS zelvo_platform LABELS unit threads)
