// Pixel format matching: descriptor to request, and the closest configuration.
#include "platform/x11/pixel_format.h"

namespace {

// NOTE: Win32's "don't care" flags for ChoosePixelFormat.
constexpr DWORD kDoubleBufferDontCare = 0x40000000;
constexpr DWORD kStereoDontCare = 0x80000000;

int square(int value) {
    return value * value;
}

}  // namespace

PixelFormatRequest pixel_format_request(const PIXELFORMATDESCRIPTOR& pfd) {
    PixelFormatRequest request;
    PixelFormatTraits& wanted = request.wanted;
    if (pfd.cRedBits || pfd.cGreenBits || pfd.cBlueBits) {
        wanted.red_bits = pfd.cRedBits;
        wanted.green_bits = pfd.cGreenBits;
        wanted.blue_bits = pfd.cBlueBits;
    } else if (pfd.cColorBits == 15 || pfd.cColorBits == 16) {
        wanted.red_bits = 5;
        wanted.green_bits = pfd.cColorBits == 16 ? 6 : 5;
        wanted.blue_bits = 5;
    } else if (pfd.cColorBits >= 24) {
        // NOTE: 32 colour bits on Windows means 8 bits a channel plus padding or alpha.
        wanted.red_bits = wanted.green_bits = wanted.blue_bits = 8;
    } else if (pfd.cColorBits > 0) {
        wanted.red_bits = wanted.green_bits = wanted.blue_bits = pfd.cColorBits / 3;
    } else {
        request.colour_dont_care = true;
    }
    wanted.alpha_bits = pfd.cAlphaBits;
    wanted.depth_bits = pfd.cDepthBits;
    wanted.stencil_bits = pfd.cStencilBits;
    if (pfd.cAccumRedBits || pfd.cAccumGreenBits || pfd.cAccumBlueBits || pfd.cAccumAlphaBits) {
        wanted.accum_red_bits = pfd.cAccumRedBits;
        wanted.accum_green_bits = pfd.cAccumGreenBits;
        wanted.accum_blue_bits = pfd.cAccumBlueBits;
        wanted.accum_alpha_bits = pfd.cAccumAlphaBits;
    } else if (pfd.cAccumBits) {
        wanted.accum_red_bits = wanted.accum_green_bits = wanted.accum_blue_bits =
            pfd.cAccumBits / 4;
        wanted.accum_alpha_bits = pfd.cAccumBits / 4;
    }
    wanted.aux_buffers = pfd.cAuxBuffers;
    wanted.double_buffer = pfd.dwFlags & PFD_DOUBLEBUFFER;
    wanted.stereo = pfd.dwFlags & PFD_STEREO;
    request.double_buffer_dont_care = pfd.dwFlags & kDoubleBufferDontCare;
    request.stereo_dont_care = pfd.dwFlags & kStereoDontCare;
    return request;
}

int choose_pixel_format(const PixelFormatRequest& request,
                        const std::vector<PixelFormatTraits>& offers) {
    const PixelFormatTraits& wanted = request.wanted;
    int best = -1;
    long least_missing = 0, least_colour = 0, least_extra = 0;
    bool best_slow = false;
    for (size_t i = 0; i < offers.size(); ++i) {
        const PixelFormatTraits& offer = offers[i];
        if (!request.stereo_dont_care && offer.stereo != wanted.stereo) continue;
        if (!request.double_buffer_dont_care && offer.double_buffer != wanted.double_buffer)
            continue;
        // Buffers asked for but absent count most.
        long missing = 0;
        if (wanted.alpha_bits > 0 && offer.alpha_bits == 0) ++missing;
        if (wanted.depth_bits > 0 && offer.depth_bits == 0) ++missing;
        if (wanted.stencil_bits > 0 && offer.stencil_bits == 0) ++missing;
        if (wanted.aux_buffers > offer.aux_buffers)
            missing += wanted.aux_buffers - offer.aux_buffers;
        long colour = 0;
        if (!request.colour_dont_care) {
            colour = square(wanted.red_bits - offer.red_bits) +
                     square(wanted.green_bits - offer.green_bits) +
                     square(wanted.blue_bits - offer.blue_bits);
        }
        long extra = square(wanted.alpha_bits - offer.alpha_bits) +
                     square(wanted.depth_bits - offer.depth_bits) +
                     square(wanted.stencil_bits - offer.stencil_bits) +
                     square(wanted.accum_red_bits - offer.accum_red_bits) +
                     square(wanted.accum_green_bits - offer.accum_green_bits) +
                     square(wanted.accum_blue_bits - offer.accum_blue_bits) +
                     square(wanted.accum_alpha_bits - offer.accum_alpha_bits);
        bool better;
        if (best < 0)
            better = true;
        else if (missing != least_missing)
            better = missing < least_missing;
        else if (colour != least_colour)
            better = colour < least_colour;
        else if (extra != least_extra)
            better = extra < least_extra;
        else
            better = best_slow && !offer.slow;
        if (better) {
            best = (int)i;
            least_missing = missing;
            least_colour = colour;
            least_extra = extra;
            best_slow = offer.slow;
        }
    }
    return best;
}
