// Meshweaver's work at start-up: the oriented points become a triangle mesh, saved as the
// VRML file beside the input, which is deleted once the mesh file is in place.
#pragma once

#include <stdint.h>

#include <string>

#include "meshbuilder/file_steps.h"
#include "meshbuilder/mesh_record.h"
#include "platform/crt.h"
#include "platform/win32.h"

// How build_mesh ended.
//   ok        the mesh was made and saved, and "File Saved" was shown;
//   has_mesh  the record holds a mesh (also when only the save failed);
//   reason    when !ok, a sentence for the shell's error box ("File Saved" was not shown).
struct BuildResult {
    bool ok;
    bool has_mesh;
    std::wstring reason;
};

struct ProgressWindow;
struct ReconstructionProgress;

// What build_mesh shows and touches, replaceable by tests.
struct BuildHooks {
    int(WINAPI* message_box)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
    const FileSteps* file_steps;
    // The progress window from the end of the "Starting reconstruction" box until the mesh
    // file is saved (both null: none).
    ProgressWindow* (*start_progress)(int32_t point_count, const ReconstructionProgress* progress);
    void (*stop_progress)(ProgressWindow* window);
};

// MessageBoxW, the real file calls and the progress window.
BuildHooks system_build_hooks();

// Builds the mesh of n oriented points (the arrays stay the caller's and are only read) and
// saves it for input_path (ANSI code page), in this order: the library set-up, the box
// "Starting reconstruction", the triangulation, the record, the mesh file written to a
// temporary file, put on the disk and renamed into place, the input file deleted (unless the
// mesh file replaced it), and the box "File Saved". The boxes have no owner, the caption
// "Meshweaver" and the information icon. While the triangulation runs and the mesh file is
// written, a progress window is up if the triangulation lasts more than about a second; it
// is gone before any box comes. On return *mesh owns its two arrays when has_mesh,
// else it is empty.
// The input file is deleted only when ok and only when input_path still names the file that
// was read (read_identity; null when unknown): a file replaced or changed since is kept, and
// the "File Saved" box says so.
BuildResult build_mesh(const char* input_path, const FileIdentity* read_identity, int32_t n,
                       const float* positions, const float* normals, MeshRecord* mesh);

// What release_input did with the input.
//   replaced      the mesh file has the input's name: the rename has replaced it already;
//   deleted       it was deleted (a failed deletion leaves an extra file and is not reported);
//   kept_changed  it was kept: it was replaced or changed after it was read (or its identity
//                 at reading is unknown), so it is not the file the mesh was made from.
enum class InputRelease { replaced, deleted, kept_changed };

// Gives up the input once its mesh file (mesh_path) is complete and on the disk: deletes it
// through steps only when input_path still names the file that was read (same device, file
// number, size and modification time as read_identity, null when unknown).
InputRelease release_input(const char* input_path, const char* mesh_path,
                           const FileIdentity* read_identity, const FileSteps& steps);

// ASCII case-insensitive equality of two paths: on a case-insensitive file system "scan.WRL"
// and "scan.wrl" are the same file.
bool same_path_text(const char* a, const char* b);

// build_mesh with the given hooks.
BuildResult build_mesh_with(const BuildHooks& hooks, const char* input_path,
                            const FileIdentity* read_identity, int32_t n, const float* positions,
                            const float* normals, MeshRecord* mesh);
