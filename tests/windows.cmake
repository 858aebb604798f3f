# The platform behaviour both implementations must share; it runs in every
# build so the Win32 layer is held to what the POSIX one does.
probix_add_test(platform_contract_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform_contract_test.cpp LIBS platform)
if(TEST platform_contract_test)
  string(REPEAT "0123456789" 30 _long_value)
  set_property(TEST platform_contract_test APPEND PROPERTY ENVIRONMENT
    "PROBIX_EMPTY_VAR=" "PROBIX_LONG_VAR=${_long_value}")
endif()

# probix32.exe at a console under Wine, driven through tmux.
if(WIN32 AND CMAKE_CROSSCOMPILING_EMULATOR AND TARGET probix32)
  add_test(NAME windows_console_editor
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/windows_console_test.sh
                   ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:probix32>
                   ${CMAKE_CURRENT_LIST_DIR}/data/windows/probix.ini)
  set_tests_properties(windows_console_editor PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()
