# Compiles, without linking, every Meshweaver source that does not need the Point Cloud
# Library, so a Windows cross-build without PCL still catches drift of the shell, the VRML
# writer, the point file reader and the mesh display from <windows.h>.
#
# A file needs PCL when it includes a <pcl/...> header or one of meshbuilder's own headers
# that needs PCL, directly or through others; the rest go into the OBJECT library
# meshweaver_compile_check. New sources are picked up without editing this file.

# Sets out_var to TRUE when file includes one of the PCL-bound names (a regex alternation).
function(haldenmoor_includes_any file pattern out_var)
  file(STRINGS ${file} hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](${pattern})[>\"]")
  if(hits)
    set(${out_var} TRUE PARENT_SCOPE)
  else()
    set(${out_var} FALSE PARENT_SCOPE)
  endif()
endfunction()

set(haldenmoor_mesh_dir ${PROJECT_SOURCE_DIR}/meshbuilder)
file(GLOB haldenmoor_mesh_headers CONFIGURE_DEPENDS ${haldenmoor_mesh_dir}/*.h)
file(GLOB haldenmoor_mesh_sources CONFIGURE_DEPENDS ${haldenmoor_mesh_dir}/*.cpp)

# The PCL-bound include names, grown until no further header joins them.
set(haldenmoor_pcl_pattern "pcl/[^>\"]*")
set(haldenmoor_free_headers ${haldenmoor_mesh_headers})
set(haldenmoor_grew TRUE)
while(haldenmoor_grew)
  set(haldenmoor_grew FALSE)
  foreach(header IN LISTS haldenmoor_free_headers)
    haldenmoor_includes_any(${header} "${haldenmoor_pcl_pattern}" needs_pcl)
    if(needs_pcl)
      get_filename_component(name ${header} NAME)
      string(REPLACE "." "\\." name ${name})
      string(APPEND haldenmoor_pcl_pattern "|meshbuilder/${name}")
      list(REMOVE_ITEM haldenmoor_free_headers ${header})
      set(haldenmoor_grew TRUE)
    endif()
  endforeach()
endwhile()

set(haldenmoor_checked_sources)
set(haldenmoor_skipped_sources)
foreach(source IN LISTS haldenmoor_mesh_sources)
  haldenmoor_includes_any(${source} "${haldenmoor_pcl_pattern}" needs_pcl)
  get_filename_component(name ${source} NAME)
  if(needs_pcl)
    list(APPEND haldenmoor_skipped_sources ${name})
  else()
    list(APPEND haldenmoor_checked_sources ${source})
  endif()
endforeach()
string(REPLACE ";" " " haldenmoor_skipped_text "${haldenmoor_skipped_sources}")
message(STATUS "Meshweaver compile check without PCL; skipped: ${haldenmoor_skipped_text}")

add_library(meshweaver_compile_check OBJECT ${haldenmoor_checked_sources})
target_link_libraries(meshweaver_compile_check PRIVATE main_window_cases view common platform)
