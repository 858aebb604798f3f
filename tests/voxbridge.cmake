# The voice library end to end: the IVR example run as its README says, with
# the scripted caller against the simulator embedded in the program (real
# time, about 8 seconds).
if(TARGET ivr AND NOT WIN32)
  add_test(NAME voxbridge_ivr_example
           COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR} -DBUILD=${CMAKE_BINARY_DIR}
                   -DWORK=${CMAKE_CURRENT_BINARY_DIR}/ivr_work
                   -P ${CMAKE_CURRENT_LIST_DIR}/data/voxbridge/run_ivr.cmake)
  set_tests_properties(voxbridge_ivr_example PROPERTIES TIMEOUT 180
                       ENVIRONMENT "IVR_WORK=${CMAKE_CURRENT_BINARY_DIR}/ivr_work")
endif()
