// The vector passes behind the entry points of convert.h: one table of them for each path that
// has them (conversion_path.h). The scalar passes of convert.cpp are the reference and do
// whatever a vector pass leaves.
#pragma once

#include "backward_writer.h"
#include "conversion_path.h"

#include <cstddef>
#include <string_view>

namespace zimbrots {

namespace vector_detail {

// Output room every vector writer may use past its last byte.
inline constexpr std::size_t Slack = 64;

// One path's passes. Each takes whole blocks only, and returns how many input bytes it took;
// the scalar passes do the rest.
struct VectorPasses {
    // The processor features the passes are compiled for, as GCC's target attribute names
    // them, separated by commas: the path is taken only where the processor has them all.
    const char* features;
    // Windows-1257 bytes converted into out, which has room for 6 bytes a byte plus Slack.
    std::size_t (*windows1257Forward)(const unsigned char* in, std::size_t size, char*& out);
    // The same in place, from the end: the bytes taken are the last ones. This and the passes
    // below may be missing (null): the scalar passes do it all.
    std::size_t (*windows1257Backward)(BackwardWriter& text);
    // The replacements' lengths, added to total.
    std::size_t (*windows1257Size)(const unsigned char* in, std::size_t size, std::size_t& total);
    // UTF-8 converted into out (room for 4 bytes a byte plus Slack), while every byte of a
    // block can be decided from the block and the byte after it: it stops at a combining mark,
    // or when fewer than a block and its next byte are left.
    std::size_t (*utf8Forward)(const unsigned char* in, std::size_t size, char*& out);
};

#if defined(__x86_64__)
extern const VectorPasses Avx2Passes, Avx512Passes;
#endif
// The NEON passes read lanes of one width as another, which assumes little-endian arm64, the
// only kind Debian has.
#if defined(__aarch64__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define ZIMBROTS_NEON_PASSES 1
extern const VectorPasses NeonPasses;
#endif

// The passes of a path, or none: the scalar path has none, nor a path this build lacks.
const VectorPasses* PassesOf(ConversionPath path);
// The passes of the current path: every entry point asks this.
const VectorPasses* Passes();
// Whether the choice of path knows how to ask the processor for every feature of the list; a
// name it does not know counts as missing, which turns its path off.
bool KnowsAllFeatures(std::string_view features);

}  // namespace vector_detail

}  // namespace zimbrots
