# Widget tests of the main window on the offscreen platform.
zelvo_add_test(NAME app_MainDialogTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainDialogTest.cpp
               LIBS zelvo_window QT)

# The URL opener starts processes and a thread that reaps them.
zelvo_add_test(NAME app_MainDialogUrlOpenerTest
               SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainDialogUrlOpenerTest.cpp
               LIBS zelvo_platform LABELS unit threads)
