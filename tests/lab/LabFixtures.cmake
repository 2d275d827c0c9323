# ctest fixtures that build a lab before end-to-end tests and remove it after (lab/README.md
# shows their calls). zelvo_add_lab_test's COPY: the command runs in a fresh folder with the
# files and manager.ini, as the window writes manager.log beside its executable.
#   zelvo_add_lab_gtests(PROGRAM p SOURCE file.cpp SUITE s LABS lab:Case...): test p_<lab>
# in the lab p-<lab>.lab.
include_guard(GLOBAL)
set(ZELVO_LAB_CTEST ${CMAKE_CURRENT_LIST_DIR}/lab-ctest.sh CACHE INTERNAL "")

# The prefix depends on the build tree too, so that two build trees never share a lab.
function(zelvo_lab_prefix name out)
  string(MD5 hash "${CMAKE_BINARY_DIR}/${name}")
  string(SUBSTRING "${hash}" 0 6 hash)
  set(${out} "zt${hash}" PARENT_SCOPE)
endfunction()

function(zelvo_add_lab_fixture)
  cmake_parse_arguments(F "" "NAME;DESCRIPTION" "" ${ARGN})
  zelvo_lab_prefix(${F_NAME} prefix)
  add_test(NAME ${F_NAME}_lab_up COMMAND ${ZELVO_LAB_CTEST} up ${prefix} ${F_DESCRIPTION})
  add_test(NAME ${F_NAME}_lab_down COMMAND ${ZELVO_LAB_CTEST} down ${prefix})
  set_tests_properties(${F_NAME}_lab_up PROPERTIES FIXTURES_SETUP ${F_NAME})
  set_tests_properties(${F_NAME}_lab_down PROPERTIES FIXTURES_CLEANUP ${F_NAME})
  set_tests_properties(${F_NAME}_lab_up ${F_NAME}_lab_down PROPERTIES
    LABELS lab SKIP_RETURN_CODE 77 TIMEOUT 120 RESOURCE_LOCK ${F_NAME})
endfunction()

function(zelvo_add_lab_test)
  cmake_parse_arguments(T "" "NAME;FIXTURE;DESCRIPTION;TIMEOUT" "COMMAND;COPY;LABELS" ${ARGN})
  if(T_DESCRIPTION)
    set(T_FIXTURE ${T_NAME}_fixture)
    zelvo_add_lab_fixture(NAME ${T_FIXTURE} DESCRIPTION ${T_DESCRIPTION})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 180)
  endif()
  zelvo_lab_prefix(${T_FIXTURE} prefix)
  set(copy)
  if(T_COPY)
    set(copy --in ${CMAKE_CURRENT_BINARY_DIR}/lab-run/${T_NAME}
        ${CMAKE_SOURCE_DIR}/resources/manager.ini ${T_COPY} --)
  endif()
  set(labels lab ${T_LABELS})
  add_test(NAME ${T_NAME} COMMAND ${ZELVO_LAB_CTEST} run ${prefix} ${copy} ${T_COMMAND})
  # Tests that share a lab run one after the other.
  set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED ${T_FIXTURE}
    RESOURCE_LOCK ${T_FIXTURE} LABELS "${labels}" SKIP_RETURN_CODE 77
    TIMEOUT ${T_TIMEOUT} ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

function(zelvo_add_lab_gtests)
  cmake_parse_arguments(G "" "PROGRAM;SOURCE;SUITE" "LABS" ${ARGN})
  add_executable(${G_PROGRAM} ${G_SOURCE})
  target_link_libraries(${G_PROGRAM} PRIVATE zelvo_app zelvo_window_test_main)
  foreach(row ${G_LABS})
    string(REPLACE ":" ";" row ${row})
    list(GET row 0 lab)
    list(GET row 1 case)
    zelvo_add_lab_test(NAME ${G_PROGRAM}_${lab} DESCRIPTION ${CMAKE_CURRENT_SOURCE_DIR}/${G_PROGRAM}-${lab}.lab
      COPY $<TARGET_FILE:${G_PROGRAM}> COMMAND ./${G_PROGRAM} --gtest_filter=${G_SUITE}.${case} TIMEOUT 240)
  endforeach()
endfunction()
