# x11_probe: finds, measures, grabs and closes windows for the end-to-end tests and the demo
# without a display. Built in tests/e2e of the build folder, wherever it is included from.
find_package(X11 REQUIRED)
add_executable(x11_probe ${CMAKE_CURRENT_LIST_DIR}/x11_probe.cpp)
target_include_directories(x11_probe PRIVATE ${X11_INCLUDE_DIR})
target_link_libraries(x11_probe PRIVATE ${X11_X11_LIB})
set_target_properties(x11_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/e2e)
