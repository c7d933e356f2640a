iae_add_gtest(machines_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/machine_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/windows_watcher_test.cpp
  LIBS iae_engine iae_recording_host)
