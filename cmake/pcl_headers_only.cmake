# The Point Cloud Library for a Windows cross-build, where no build of it exists: the
# installed headers of the build machine's PCL with PCL_NO_PRECOMPILE, so the templates that
# Meshweaver uses (point cloud, k-d tree search, greedy projection triangulation) compile
# into our own sources. FLANN, Eigen and the Boost parts PCL includes are header libraries.
# Compiled besides, from the files of Debian's source packages that
# scripts/fetch-windows-sources.sh unpacks: LZ4 (FLANN's index serialization calls it) and
# the C library's single-precision atan2, which replaces MinGW's so the triangulation makes
# the same mesh as on Linux (see meshbuilder/windows/atan2f.c); and the library's console
# output (meshbuilder/windows/pcl_console.cpp).
#
# Sets what find_package(PCL) sets for the components Meshweaver needs: PCL_INCLUDE_DIRS,
# PCL_DEFINITIONS and PCL_SURFACE_LIBRARIES (the others stay empty).
#
#   HALDENMOOR_HOST_INCLUDE_DIR      the build machine's header folder (default /usr/include)
#   HALDENMOOR_DEBIAN_SOURCES_DIR    the folder fetch-windows-sources.sh filled

set(HALDENMOOR_HOST_INCLUDE_DIR /usr/include CACHE PATH "Header folder of the build machine")
set(HALDENMOOR_DEBIAN_SOURCES_DIR "" CACHE PATH
  "Folder of Debian's sources for the Windows build (scripts/fetch-windows-sources.sh)")
set(haldenmoor_lz4_dir ${HALDENMOOR_DEBIAN_SOURCES_DIR}/lz4/lib)
set(haldenmoor_libm_dir ${HALDENMOOR_DEBIAN_SOURCES_DIR}/glibc/sysdeps/ieee754/flt-32)

file(GLOB haldenmoor_pcl_dirs LIST_DIRECTORIES true ${HALDENMOOR_HOST_INCLUDE_DIR}/pcl-1.*)
list(SORT haldenmoor_pcl_dirs COMPARE NATURAL ORDER DESCENDING)
list(GET haldenmoor_pcl_dirs 0 haldenmoor_pcl_dir)
foreach(needed ${haldenmoor_pcl_dir}/pcl/surface/gp3.h
    ${HALDENMOOR_HOST_INCLUDE_DIR}/eigen3/Eigen/Core
    ${HALDENMOOR_HOST_INCLUDE_DIR}/flann/flann.hpp
    ${HALDENMOOR_HOST_INCLUDE_DIR}/boost/version.hpp
    ${haldenmoor_lz4_dir}/lz4.c ${haldenmoor_lz4_dir}/lz4hc.c
    ${haldenmoor_libm_dir}/e_atan2f.c ${haldenmoor_libm_dir}/s_atanf.c)
  if(NOT EXISTS ${needed})
    message(FATAL_ERROR "Meshweaver for Windows needs ${needed}: install libpcl-dev, run "
      "scripts/fetch-windows-sources.sh FOLDER and pass -DHALDENMOOR_DEBIAN_SOURCES_DIR=FOLDER "
      "(scripts/windows-check.sh does all of this)")
  endif()
endforeach()
message(STATUS "PCL from headers only: ${haldenmoor_pcl_dir}")

# NOTE: Boost and FLANN sit directly in the build machine's header folder, whose C library
# headers must not shadow MinGW's; a folder of links to just those two takes its place.
set(haldenmoor_header_links ${CMAKE_BINARY_DIR}/host_header_links)
file(MAKE_DIRECTORY ${haldenmoor_header_links})
foreach(library boost flann)
  file(CREATE_LINK ${HALDENMOOR_HOST_INCLUDE_DIR}/${library} ${haldenmoor_header_links}/${library}
    SYMBOLIC)
endforeach()

set(PCL_INCLUDE_DIRS ${haldenmoor_pcl_dir} ${HALDENMOOR_HOST_INCLUDE_DIR}/eigen3
  ${haldenmoor_header_links} ${haldenmoor_lz4_dir})
set(PCL_DEFINITIONS PCL_NO_PRECOMPILE)

# NOTE: the C library's sources include its internal headers; a few lines of our own stand
# in for them. Their warnings are the library's, not ours.
add_library(pcl_headers_only_libm OBJECT
  ${haldenmoor_libm_dir}/e_atan2f.c ${haldenmoor_libm_dir}/s_atanf.c)
target_include_directories(pcl_headers_only_libm PRIVATE
  ${PROJECT_SOURCE_DIR}/meshbuilder/windows/glibc_shim)
target_compile_options(pcl_headers_only_libm PRIVATE -w)

add_library(pcl_headers_only_support STATIC
  ${haldenmoor_lz4_dir}/lz4.c ${haldenmoor_lz4_dir}/lz4hc.c
  ${PROJECT_SOURCE_DIR}/meshbuilder/windows/pcl_console.cpp
  ${PROJECT_SOURCE_DIR}/meshbuilder/windows/atan2f.c
  $<TARGET_OBJECTS:pcl_headers_only_libm>)
target_include_directories(pcl_headers_only_support SYSTEM PRIVATE ${PCL_INCLUDE_DIRS})
target_compile_definitions(pcl_headers_only_support PRIVATE ${PCL_DEFINITIONS})
set(PCL_SURFACE_LIBRARIES pcl_headers_only_support)
set(PCL_SEARCH_LIBRARIES)
set(PCL_KDTREE_LIBRARIES)
set(PCL_COMMON_LIBRARIES)
