# The 3D view is one source built into each program. Each program's folder supplies
# view_content_fields.h (the fields that follow the common head of ViewState) and defines
# the axis length and the content renderer declared in view/view.h.
set(HALDENMOOR_VIEW_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/camera.cpp
  ${CMAKE_CURRENT_LIST_DIR}/projection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../common/main_window.cpp)

# Adds the view's sources to target, compiled with the content fields found in content_dir.
function(haldenmoor_add_view target content_dir)
  target_sources(${target} PRIVATE ${HALDENMOOR_VIEW_SOURCES})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${content_dir})
endfunction()
