// mesh_points: builds the meshes of oriented point files without a window, through the same
// reader, reconstruction, VRML writer and durable save as Meshweaver, and writes them in more
// formats; or converts a VRML file that Meshweaver wrote into those formats.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/tool_help.h"
#include "meshbuilder/build_mesh.h"
#include "meshbuilder/mesh_formats.h"
#include "meshbuilder/point_file.h"
#include "meshbuilder/reconstruction.h"
#include "meshbuilder/vrml_writer.h"
#include "wrl_reader.h"

namespace {

const char kUsage[] =
    "Usage:\n"
    "  mesh_points [--format LIST] [--consume] FILE...\n"
    "  mesh_points --from-wrl MESH.wrl [--format LIST]\n"
    "  mesh_points --help | --version\n"
    "\n"
    "Builds the triangle mesh of each oriented point file as Meshweaver does and writes it\n"
    "beside the file as FILE.wrl (the name up to its last '.', then .wrl), the same bytes\n"
    "Meshweaver writes. Every file is written to a temporary file, put on the disk and then\n"
    "renamed into place. Prints one line per file: name, points, triangles, seconds. Files\n"
    "that fail are reported with the reason; the others are still built, and the exit status\n"
    "is 1.\n"
    "Options:\n"
    "  --format LIST     also write the mesh as ply (binary little-endian), obj and/or stl\n"
    "                    (binary), comma-separated, e.g. wrl,ply,obj,stl; same name, same\n"
    "                    vertices as the .wrl gives them, same triangles and winding\n"
    "  --consume         delete each point file once all its files are on the disk, as\n"
    "                    Meshweaver does (only if it is still the file that was read); by\n"
    "                    default it is kept\n"
    "  --from-wrl MESH   read a VRML file written by Meshweaver (no other is accepted) and\n"
    "                    write it in the formats of --format (default ply,obj,stl)\n";

struct Options {
    bool formats_given = false;
    std::vector<MeshFormat> formats;
    bool consume = false;
    std::string from_wrl;
    std::vector<std::string> files;
};

// Fills formats from "wrl,ply,obj,stl" (wrl is always written, so it adds nothing).
bool parse_formats(const std::string& list, std::vector<MeshFormat>* formats) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        const std::string name = list.substr(start, end - start);
        MeshFormat format;
        if (name == "ply") {
            format = MeshFormat::ply;
        } else if (name == "obj") {
            format = MeshFormat::obj;
        } else if (name == "stl") {
            format = MeshFormat::stl;
        } else if (name == "wrl") {
            start = end + 1;
            continue;
        } else {
            return false;
        }
        bool listed = false;
        for (MeshFormat f : *formats) listed = listed || f == format;
        if (!listed) formats->push_back(format);
        start = end + 1;
    }
    return true;
}

// Fills options from argv; returns an empty string or what is wrong.
std::string parse_options(int argc, char** argv, Options* options) {
    bool options_end = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options_end || arg.empty() || arg[0] != '-') {
            options->files.push_back(arg);
        } else if (arg == "--") {
            options_end = true;
        } else if (arg == "--consume") {
            options->consume = true;
        } else if (arg == "--format" || arg == "--from-wrl") {
            if (i + 1 >= argc) return "option " + arg + " needs a value";
            const std::string value = argv[++i];
            if (arg == "--from-wrl") {
                options->from_wrl = value;
            } else if (!parse_formats(value, &options->formats)) {
                return "--format takes a comma-separated list of wrl, ply, obj and stl";
            } else {
                options->formats_given = true;
            }
        } else {
            return "unknown option " + arg;
        }
    }
    if (!options->from_wrl.empty()) {
        if (!options->files.empty()) return "--from-wrl converts one file and takes no others";
        if (options->consume) return "--from-wrl keeps its input; --consume does not apply";
        if (!options->formats_given) {
            options->formats = {MeshFormat::ply, MeshFormat::obj, MeshFormat::stl};
        }
        if (options->formats.empty()) return "--from-wrl needs ply, obj or stl in --format";
        return std::string();
    }
    if (options->files.empty()) return "no point file given";
    return std::string();
}

// A wide reason of the mesh builder as UTF-8.
std::string to_utf8(const std::wstring& text) {
    std::string out;
    for (wchar_t wide : text) {
        const uint32_t c = (uint32_t)wide;
        if (c < 0x80) {
            out += (char)c;
        } else if (c < 0x800) {
            out += (char)(0xc0 | c >> 6);
            out += (char)(0x80 | (c & 0x3f));
        } else {
            out += (char)(0xe0 | (c >> 12 & 0x0f));
            out += (char)(0x80 | (c >> 6 & 0x3f));
            out += (char)(0x80 | (c & 0x3f));
        }
    }
    return out;
}

// The line rewritten on standard error while one file takes longer than a second: the file,
// what is being done and the seconds so far. Shown only on a terminal, so that logs of
// redirected runs hold only the results.
struct Progress {
    bool enabled;
    std::string file;
    std::string step;
    std::chrono::steady_clock::time_point started;
    bool shown;
    bool stopping;
    std::mutex lock;
    std::condition_variable wake;
    std::thread thread;
};

const std::chrono::milliseconds kProgressDelay(1000);
const std::chrono::milliseconds kProgressInterval(250);

void show_progress_until_stopped(Progress* progress) {
    std::unique_lock<std::mutex> hold(progress->lock);
    std::chrono::steady_clock::time_point next = progress->started + kProgressDelay;
    while (!progress->wake.wait_until(hold, next, [&] { return progress->stopping; })) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - progress->started)
                .count();
        // NOTE: "\033[K" clears what a longer earlier line left to the right.
        fprintf(stderr, "\rmesh_points: %s: %s, %.0f s\033[K", progress->file.c_str(),
                progress->step.c_str(), seconds);
        fflush(stderr);
        progress->shown = true;
        next += kProgressInterval;
    }
    if (progress->shown) {
        fputs("\r\033[K", stderr);
        fflush(stderr);
    }
}

void start_progress(Progress* progress, const std::string& file) {
    progress->enabled = isatty(fileno(stderr)) != 0;
    progress->file = file;
    progress->step = "reading";
    progress->started = std::chrono::steady_clock::now();
    progress->shown = false;
    progress->stopping = false;
    if (progress->enabled) progress->thread = std::thread(show_progress_until_stopped, progress);
}

void set_progress_step(Progress* progress, const std::string& step) {
    std::lock_guard<std::mutex> hold(progress->lock);
    progress->step = step;
}

// Ends the display and clears its line; returns the seconds since start_progress.
double stop_progress(Progress* progress) {
    if (progress->enabled) {
        {
            std::lock_guard<std::mutex> hold(progress->lock);
            progress->stopping = true;
        }
        progress->wake.notify_one();
        progress->thread.join();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - progress->started)
        .count();
}

// The path beside path with its extension (from the last '.' of the file name) replaced.
std::string sibling_path(const std::string& path, const char* extension) {
    const size_t name_start =
        path.find_last_of("/\\") == std::string::npos ? 0 : path.find_last_of("/\\") + 1;
    const size_t dot = path.find_last_of('.');
    const size_t cut = dot != std::string::npos && dot >= name_start ? dot : path.size();
    return path.substr(0, cut) + extension;
}

// True when output would replace the input: the same name, or the same file under another.
bool names_input(const std::string& output, const char* input, const FileIdentity* input_identity) {
    FileIdentity existing;
    return same_path_text(output.c_str(), input) ||
           (input_identity && crt_path_identity(output.c_str(), &existing) &&
            crt_same_file(existing, *input_identity));
}

std::string save_failure(const std::string& path, const SaveOutcome& outcome) {
    const char* what = outcome.failed_step == SaveStep::created   ? "cannot create a file beside"
                       : outcome.failed_step == SaveStep::written ? "writing failed for"
                       : outcome.failed_step == SaveStep::synced  ? "cannot put on the disk"
                                                                  : "cannot give its name to";
    std::string reason = std::string(what) + " " + path;
    if (outcome.error) reason += " (" + std::string(strerror(outcome.error)) + ")";
    return reason;
}

// The mesh with each vertex as its VRML text reads back, so that every format has the
// vertices of the .wrl. The record shares the indices of mesh; free only its vertices.
bool mesh_as_written(const MeshRecord& mesh, MeshRecord* written) {
    *written = mesh;
    written->vertices = (float*)malloc(3 * (size_t)mesh.vertex_count * sizeof(float) + 1);
    if (!written->vertices) return false;
    for (size_t i = 0; i < 3 * (size_t)mesh.vertex_count; ++i) {
        written->vertices[i] = vrml_coordinate_as_written(mesh.vertices[i]);
    }
    return true;
}

// Writes mesh (vertices as the VRML text gives them) in every format beside stem_path;
// returns an empty string or the reason of the first failure.
std::string save_formats(const std::vector<MeshFormat>& formats, const std::string& stem_path,
                         const MeshRecord& mesh) {
    for (MeshFormat format : formats) {
        const std::string path = sibling_path(stem_path, mesh_format_extension(format));
        const SaveOutcome saved = save_mesh_format(format, path.c_str(), mesh, system_file_steps());
        if (!saved.ok) return save_failure(path, saved);
    }
    return std::string();
}

// Refuses outputs that would replace the input it was told to keep.
std::string check_outputs(const Options& options, const std::string& vrml_path, const char* input,
                          const FileIdentity* identity) {
    std::vector<std::string> outputs;
    // NOTE: a mesh file that replaces its point file is what Meshweaver does, so --consume
    // allows that one; no other format may take the input's place.
    if (options.from_wrl.empty() && !options.consume) outputs.push_back(vrml_path);
    for (MeshFormat format : options.formats) {
        outputs.push_back(sibling_path(vrml_path, mesh_format_extension(format)));
    }
    for (const std::string& output : outputs) {
        if (names_input(output, input, identity)) {
            return "its output " + output + " would replace it; rename it" +
                   (options.from_wrl.empty() ? " or pass --consume" : "");
        }
    }
    return std::string();
}

struct FileResult {
    bool ok;
    std::string reason;
    int32_t points;
    int32_t triangles;
};

// Meshweaver's work on one point file, without its boxes and window.
FileResult mesh_point_file(const Options& options, const char* path, Progress* progress) {
    FileResult result{false, std::string(), 0, 0};
    PointFile points = {};
    const LoadResult loaded = load_points(path, &points);
    if (loaded.status != LoadStatus::ok) {
        result.reason = loaded.status == LoadStatus::cannot_open
                            ? std::string("cannot open the file") +
                                  (errno ? " (" + std::string(strerror(errno)) + ")" : "")
                            : to_utf8(loaded.reason);
        return result;
    }
    result.points = points.count;
    const FileIdentity* identity = points.identified ? &points.identity : nullptr;
    char vrml_path[MAX_PATH];
    const bool named = vrml_output_path(path, vrml_path);
    if (named) result.reason = check_outputs(options, vrml_path, path, identity);

    MeshRecord mesh = {};
    std::wstring reason;
    if (result.reason.empty()) {
        set_progress_step(progress, "reconstructing " + std::to_string(points.count) + " points");
        if (!reconstruct_mesh(points.count, points.positions, points.normals, &mesh, &reason)) {
            result.reason = to_utf8(reason);
        }
    }
    free(points.positions);
    free(points.normals);
    if (!result.reason.empty()) return result;
    result.triangles = mesh.triangle_count;

    set_progress_step(progress, "writing");
    const VrmlResult saved = write_vrml(path, mesh, system_file_steps());
    MeshRecord written = {};
    if (!saved.ok) {
        result.reason = to_utf8(saved.reason);
    } else if (!options.formats.empty()) {
        if (!mesh_as_written(mesh, &written)) {
            result.reason = "not enough memory for the other formats";
        } else {
            result.reason = save_formats(options.formats, saved.path, written);
            free(written.vertices);
        }
    }
    free_mesh_record(&mesh);
    if (!result.reason.empty()) return result;
    // NOTE: only now, with every file complete and on the disk, may the input go.
    if (options.consume && release_input(path, saved.path, identity, system_file_steps()) ==
                               InputRelease::kept_changed) {
        fprintf(stderr,
                "mesh_points: %s: kept: it was replaced or changed after it was read, so it is "
                "not the file the mesh was made from\n",
                path);
    }
    result.ok = true;
    return result;
}

bool read_whole_file(const char* path, std::vector<char>* bytes, std::string* reason) {
    FILE* file = fopen(path, "rb");
    if (!file) {
        *reason = "cannot open the file (" + std::string(strerror(errno)) + ")";
        return false;
    }
    char block[1 << 16];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0)
        bytes->insert(bytes->end(), block, block + got);
    const bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) *reason = "reading the file failed";
    return !failed;
}

// The other formats of a VRML file that Meshweaver wrote.
FileResult convert_vrml(const Options& options, const char* path, Progress* progress) {
    FileResult result{false, std::string(), 0, 0};
    FileIdentity identity;
    const bool identified = crt_path_identity(path, &identity);
    std::vector<char> text;
    if (!read_whole_file(path, &text, &result.reason)) return result;
    MeshRecord mesh = {};
    if (!read_meshweaver_vrml(text.data(), text.size(), &mesh, &result.reason)) return result;
    result.points = mesh.vertex_count;
    result.triangles = mesh.triangle_count;
    set_progress_step(progress, "writing");
    result.reason = check_outputs(options, path, path, identified ? &identity : nullptr);
    if (result.reason.empty()) result.reason = save_formats(options.formats, path, mesh);
    free_mesh_record(&mesh);
    result.ok = result.reason.empty();
    return result;
}

// Runs one file and prints its line or its reason; true when it succeeded.
bool run_file(const Options& options, const std::string& path) {
    Progress progress;
    start_progress(&progress, path);
    const FileResult result = options.from_wrl.empty()
                                  ? mesh_point_file(options, path.c_str(), &progress)
                                  : convert_vrml(options, path.c_str(), &progress);
    const double seconds = stop_progress(&progress);
    if (!result.ok) {
        fprintf(stderr, "mesh_points: %s: %s\n", path.c_str(), result.reason.c_str());
        return false;
    }
    printf("%s: %d point%s, %d triangle%s, %.2f s\n", path.c_str(), result.points,
           result.points == 1 ? "" : "s", result.triangles, result.triangles == 1 ? "" : "s",
           seconds);
    fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (answer_help_or_version(argc, argv, "mesh_points", kUsage)) return 0;
    const std::string wrong = parse_options(argc, argv, &options);
    if (!wrong.empty()) {
        fprintf(stderr, "mesh_points: %s\n\n%s", wrong.c_str(), kUsage);
        return 2;
    }
    if (!options.from_wrl.empty()) return run_file(options, options.from_wrl) ? 0 : 1;
    int failed = 0;
    for (const std::string& file : options.files) failed += run_file(options, file) ? 0 : 1;
    if (failed > 0 && options.files.size() > 1) {
        fprintf(stderr, "mesh_points: %d of %d files failed\n", failed, (int)options.files.size());
    }
    return failed > 0 ? 1 : 0;
}
