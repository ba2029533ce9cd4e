// Pixel format matching without a display: what a descriptor asks for, what a framebuffer
// configuration offers, and the closest offer (scored like GLFW's _glfwChooseFBConfig).
#pragma once

#include <vector>

#include "platform/win32.h"

struct PixelFormatTraits {
    int red_bits = 0, green_bits = 0, blue_bits = 0, alpha_bits = 0;
    int depth_bits = 0, stencil_bits = 0;
    int accum_red_bits = 0, accum_green_bits = 0, accum_blue_bits = 0, accum_alpha_bits = 0;
    int aux_buffers = 0;
    bool double_buffer = false;
    bool stereo = false;
    bool slow = false;  // a configuration the driver marks as slow
};

struct PixelFormatRequest {
    PixelFormatTraits wanted;
    bool colour_dont_care = false;  // no colour bits asked for
    bool double_buffer_dont_care = false;
    bool stereo_dont_care = false;
};

// What a PIXELFORMATDESCRIPTOR asks for.
PixelFormatRequest pixel_format_request(const PIXELFORMATDESCRIPTOR& pfd);
// The index of the offer closest to the request, or -1 when none fits the hard
// constraints (double buffering and stereo must match unless "don't care").
int choose_pixel_format(const PixelFormatRequest& request,
                        const std::vector<PixelFormatTraits>& offers);
