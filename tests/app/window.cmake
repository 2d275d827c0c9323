# Widget tests of the main window on the offscreen platform.
foreach(name MainDialogLayoutTest MainDialogButtonRulesTest MainDialogCommandsTest MainDialogCommandButtonTest MainDialogUrlOpenerTest)
  zelvo_add_test(NAME app_${name} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/MainDialogTestSupport.h LIBS zelvo_window QT)
endforeach()
