# probix32.exe at a console under Wine, driven through tmux.
if(WIN32 AND CMAKE_CROSSCOMPILING_EMULATOR AND TARGET probix32)
  add_test(NAME windows_console_editor
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/windows_console_test.sh
                   ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:probix32>
                   ${CMAKE_CURRENT_LIST_DIR}/data/windows/probix.ini)
  set_tests_properties(windows_console_editor PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()
