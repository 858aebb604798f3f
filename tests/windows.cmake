# The platform behaviour both implementations must share; it runs in every
# build so the Win32 layer is held to what the POSIX one does.
probix_add_test(platform_contract_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform_contract_test.cpp LIBS platform)
if(TEST platform_contract_test)
  string(REPEAT "0123456789" 30 _long_value)
  set_property(TEST platform_contract_test APPEND PROPERTY ENVIRONMENT
    "PROBIX_EMPTY_VAR=" "PROBIX_LONG_VAR=${_long_value}")
endif()
