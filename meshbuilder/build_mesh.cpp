#include "meshbuilder/build_mesh.h"

#include "meshbuilder/reconstruction.h"
#include "meshbuilder/vrml_writer.h"

namespace {

const wchar_t* const kCaption = L"Meshweaver";

void show_information(const BuildHooks& hooks, const wchar_t* text) {
    hooks.message_box(nullptr, text, kCaption, MB_ICONINFORMATION);
}

void show_start_box(void* hooks) {
    show_information(*static_cast<const BuildHooks*>(hooks), L"Starting reconstruction");
}

// ASCII case-insensitive equality: on a case-insensitive file system "scan.WRL" and the
// output "scan.wrl" are the same file, so the input must then not be deleted after the save.
bool same_path_text(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        char x = *a, y = *b;
        if (x >= 'A' && x <= 'Z') x = (char)(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = (char)(y - 'A' + 'a');
        if (x != y) return false;
    }
    return *a == *b;
}

}  // namespace

BuildResult build_mesh_with(const BuildHooks& hooks, const char* input_path, int32_t n,
                            const float* positions, const float* normals, MeshRecord* mesh) {
    BuildResult result{false, false, std::wstring()};
    *mesh = MeshRecord{};
    // Cloud, tree, parameters, "Starting reconstruction", triangulation, record.
    if (!reconstruct_mesh(n, positions, normals, mesh, &result.reason, show_start_box,
                          const_cast<BuildHooks*>(&hooks))) {
        return result;
    }
    result.has_mesh = true;

    const VrmlResult saved = write_vrml(input_path, *mesh, *hooks.file_steps);
    if (!saved.ok) {
        result.reason = saved.reason;
        return result;
    }
    // NOTE: only now, with the mesh file complete and in place, is the input given up; when
    // both have one name the rename has already replaced it. A failed deletion leaves an
    // extra file behind and loses nothing, so it is not reported.
    if (!same_path_text(input_path, saved.path)) hooks.file_steps->remove(input_path);
    show_information(hooks, L"File Saved");
    result.ok = true;
    return result;
}
