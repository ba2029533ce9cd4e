#include "meshbuilder/build_mesh.h"

#include "meshbuilder/reconstruction.h"
#include "meshbuilder/vrml_writer.h"

namespace {

const wchar_t* const kCaption = L"Meshweaver";
const wchar_t* const kSavedInputKept =
    L"File Saved\n\nThe point file was kept: it was replaced or changed after it was read, so "
    L"it is not the file the mesh was made from.";

void show_information(const BuildHooks& hooks, const wchar_t* text) {
    hooks.message_box(nullptr, text, kCaption, MB_ICONINFORMATION);
}

// What the start of the reconstruction needs, and the progress window it opens.
struct StartContext {
    const BuildHooks* hooks;
    int32_t point_count;
    const ReconstructionProgress* progress;
    ProgressWindow* window;
};

// The box before the reconstruction, then, once dismissed, the progress window's thread.
void show_start_box(void* context) {
    auto* start = static_cast<StartContext*>(context);
    show_information(*start->hooks, L"Starting reconstruction");
    if (start->hooks->start_progress)
        start->window = start->hooks->start_progress(start->point_count, start->progress);
}

void close_progress_window(const StartContext& start) {
    if (start.window && start.hooks->stop_progress) start.hooks->stop_progress(start.window);
}

}  // namespace

bool same_path_text(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        char x = *a, y = *b;
        if (x >= 'A' && x <= 'Z') x = (char)(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = (char)(y - 'A' + 'a');
        if (x != y) return false;
    }
    return *a == *b;
}

InputRelease release_input(const char* input_path, const char* mesh_path,
                           const FileIdentity* read_identity, const FileSteps& steps) {
    if (same_path_text(input_path, mesh_path)) return InputRelease::replaced;
    FileIdentity now;
    if (!read_identity || !crt_path_identity(input_path, &now) ||
        !crt_same_file(now, *read_identity)) {
        return InputRelease::kept_changed;
    }
    steps.remove(input_path);
    return InputRelease::deleted;
}

BuildResult build_mesh_with(const BuildHooks& hooks, const char* input_path,
                            const FileIdentity* read_identity, int32_t n, const float* positions,
                            const float* normals, MeshRecord* mesh) {
    BuildResult result{false, false, std::wstring()};
    *mesh = MeshRecord{};
    ReconstructionProgress progress;
    StartContext start{&hooks, n, &progress, nullptr};
    // Cloud, tree, parameters, "Starting reconstruction", triangulation, record.
    if (!reconstruct_mesh(n, positions, normals, mesh, &result.reason, show_start_box, &start,
                          &progress)) {
        close_progress_window(start);
        return result;
    }
    result.has_mesh = true;

    const VrmlResult saved = write_vrml(input_path, *mesh, *hooks.file_steps);
    close_progress_window(start);
    if (!saved.ok) {
        result.reason = saved.reason;
        return result;
    }
    // NOTE: only now, with the mesh file complete and on the disk, is the input given up;
    // when both have one name the rename has already replaced it. A failed deletion leaves
    // an extra file behind and loses nothing, so it is not reported. The input may have been
    // replaced or rewritten while the boxes were up or the triangulation ran: that file is
    // not the one the mesh was made from, so it is kept.
    if (release_input(input_path, saved.path, read_identity, *hooks.file_steps) ==
        InputRelease::kept_changed) {
        show_information(hooks, kSavedInputKept);
    } else {
        show_information(hooks, L"File Saved");
    }
    result.ok = true;
    return result;
}
