iae_add_gtest(uia_element_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/uia/uia_ui_element_test.cpp
  LIBS iae_engine iae_recording_host)
# Its own program: the process-wide automation object must not exist yet when it starts.
iae_add_gtest(uia_instance_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/uia/uia_instance_test.cpp
  LIBS iae_engine iae_recording_host)
