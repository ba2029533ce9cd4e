// Fuzzes the text scan reader of make_points: any bytes as the text of a scan, read with a
// scale of 1 and of 2; checks what every accepted point must satisfy and that both reads
// agree.
#include <float.h>
#include <stdint.h>

#include <cmath>
#include <string>

#include "fuzz_support.h"
#include "tools/make_points/scan_points.h"

namespace {

// The invariants of an accepted scan: counts that add up, finite positions within the
// limit, and normals that are unit length or marked missing.
void check_accepted(const ScanPoints& scan) {
    const size_t kept = scan.positions.size() / 3;
    FUZZ_CHECK(scan.positions.size() % 3 == 0);
    FUZZ_CHECK(scan.read >= 1);
    FUZZ_CHECK(scan.dropped_not_finite >= 0 && scan.dropped_not_finite <= scan.read);
    FUZZ_CHECK((int64_t)kept == scan.read - scan.dropped_not_finite);
    for (float v : scan.positions) FUZZ_CHECK(std::isfinite(v) && std::fabs(v) <= kCoordinateLimit);
    FUZZ_CHECK(scan.normals.empty() || scan.normals.size() == scan.positions.size());
    int64_t missing = 0;
    for (size_t i = 0; i < scan.normals.size() / 3; ++i) {
        const float* n = &scan.normals[3 * i];
        if (std::isnan(n[0])) {
            FUZZ_CHECK(std::isnan(n[1]) && std::isnan(n[2]));
            ++missing;
            continue;
        }
        const double length =
            std::sqrt((double)n[0] * n[0] + (double)n[1] * n[1] + (double)n[2] * n[2]);
        FUZZ_CHECK(std::fabs(length - 1.0) <= 1.01 * kUnitTolerance);
    }
    FUZZ_CHECK(missing == scan.normals_missing);
    FUZZ_CHECK(scan.normals_normalised + scan.normals_missing <= (int64_t)kept);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text((const char*)data, size);
    ScanPoints scan, doubled;
    std::string reason, doubled_reason;
    const bool read = read_scan_text(text, 1.0, &scan, &reason);
    const bool read_doubled = read_scan_text(text, 2.0, &doubled, &doubled_reason);
    if (!read) {
        // A refusal says why; scaling cannot make an unreadable text readable.
        FUZZ_CHECK(!reason.empty());
        FUZZ_CHECK(!read_doubled);
        return 0;
    }
    check_accepted(scan);
    if (!read_doubled) {
        // Only the coordinate limit can refuse the doubled points.
        FUZZ_CHECK(doubled_reason.find("too large") != std::string::npos);
        return 0;
    }
    check_accepted(doubled);
    FUZZ_CHECK(doubled.positions.size() == scan.positions.size());
    FUZZ_CHECK(doubled.extra_columns == scan.extra_columns);
    FUZZ_CHECK(doubled.normals_missing == scan.normals_missing);
    for (size_t i = 0; i < scan.positions.size(); ++i) {
        // NOTE: doubling is exact in binary, so the scaled float is the float doubled; only
        // values rounded to a subnormal float (fewer bits) may differ.
        if (std::fabs(scan.positions[i]) >= FLT_MIN) {
            FUZZ_CHECK(doubled.positions[i] == 2.0f * scan.positions[i]);
        }
    }
    return 0;
}
