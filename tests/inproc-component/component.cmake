# The installer-side component on simwin: a simulated installer serves, a plain client writes.
iae_add_gtest(inproc_component_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/component_test.cpp
              LIBS iae_inproc_component simwin)
