// The message box and the progress window behind build_mesh. NOTE: kept apart from
// build_mesh.cpp so that code tested with its own hooks links without the windowing half of the platform layer.
#include "meshbuilder/build_mesh.h"
#include "meshbuilder/progress_window.h"

BuildHooks system_build_hooks() {
    return BuildHooks{MessageBoxW, &system_file_steps(), start_progress_window,
                      stop_progress_window};
}

BuildResult build_mesh(const char* input_path, const FileIdentity* read_identity, int32_t n,
                       const float* positions, const float* normals, MeshRecord* mesh) {
    return build_mesh_with(system_build_hooks(), input_path, read_identity, n, positions, normals,
                           mesh);
}
