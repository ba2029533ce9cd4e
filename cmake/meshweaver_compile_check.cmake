# Compiles, without linking, every Meshweaver source that does not need the Point Cloud
# Library, so a Windows cross-build without PCL still catches drift of the shell, the VRML
# writer, the point file reader and the mesh display from <windows.h>. Only the
# reconstruction's source uses the library's types (its header holds plain ones), so it is
# the one source left out.
set(haldenmoor_mesh_dir ${PROJECT_SOURCE_DIR}/meshbuilder)
add_library(meshweaver_compile_check OBJECT
  ${haldenmoor_mesh_dir}/build_mesh.cpp
  ${haldenmoor_mesh_dir}/draw_mesh.cpp
  ${haldenmoor_mesh_dir}/file_steps.cpp
  ${haldenmoor_mesh_dir}/mesh_record.cpp
  ${haldenmoor_mesh_dir}/point_file.cpp
  ${haldenmoor_mesh_dir}/shell.cpp
  ${haldenmoor_mesh_dir}/system_calls.cpp
  ${haldenmoor_mesh_dir}/vrml_writer.cpp)
target_link_libraries(meshweaver_compile_check PRIVATE main_window_cases view common platform)
