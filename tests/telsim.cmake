# The simulator together with the client library: embedded and TCP streams,
# a server going away, and a load of streams and calls.
if(TARGET telsim AND TARGET csta32)
  probix_add_test(telsim_client_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/telsim_client_test.cpp LIBS csta32 telsim)
endif()
