# The voice library end to end: the IVR example run as its README says, with
# the scripted caller against the simulator embedded in the program. Every
# wait of the example ends on an event of the switch, so the switch runs
# four times as fast (its scenario's 7 seconds in under 2).
if(TARGET ivr AND NOT WIN32)
  add_test(NAME voxbridge_ivr_example
           COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR} -DBUILD=${CMAKE_BINARY_DIR}
                   -DWORK=${CMAKE_CURRENT_BINARY_DIR}/ivr_work
                   -P ${CMAKE_CURRENT_LIST_DIR}/data/voxbridge/run_ivr.cmake)
  set_tests_properties(voxbridge_ivr_example PROPERTIES TIMEOUT 180
                       ENVIRONMENT "IVR_WORK=${CMAKE_CURRENT_BINARY_DIR}/ivr_work;TELSIM_SPEED=4")
endif()
