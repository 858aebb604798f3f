# probix32 in a real terminal: tmux types at it and reads its screen back.
# Skipped (exit 77) in cross builds and where tmux is missing.
if(TARGET probix32)
  if(CMAKE_CROSSCOMPILING)
    set(TERMINAL_TEST_MODE cross)
  else()
    set(TERMINAL_TEST_MODE native)
  endif()
  add_test(NAME terminal_line_editor
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/terminal_test.sh $<TARGET_FILE:probix32>
                   ${TERMINAL_TEST_MODE})
  set_tests_properties(terminal_line_editor PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
endif()
