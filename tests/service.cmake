# probix32 -m- as a service runs it: standard input a silent pipe, /dev/null
# or a terminal; calls logged as they end, a hang-up reopening the moved
# log, SIGTERM ending the program with every record whole. Real time: the
# switch is driven through its control port. Not on Windows (no signals).
if(TARGET probix32 AND NOT WIN32)
  foreach(mode pipe null tty)
    add_test(NAME service_stdin_${mode}
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/service_test.sh $<TARGET_FILE:probix32>
              ${CMAKE_BINARY_DIR}/tests/service/${mode} ${mode})
    set_tests_properties(service_stdin_${mode} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)
  endforeach()
endif()

# The profile on a full disk (a file size limit) keeps every byte, and says so.
if(TARGET probix32 AND NOT WIN32)
  add_test(NAME profile_full_disk
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/profile_full_test.sh $<TARGET_FILE:probix32>
            ${CMAKE_BINARY_DIR}/tests/profile_full)
  set_tests_properties(profile_full_disk PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)
endif()
