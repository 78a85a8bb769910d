// The vector passes behind the entry points of convert.h: one table of them for each way the
// processor can run them, chosen once. The scalar passes of convert.cpp are the reference and
// do whatever a vector pass leaves.
#pragma once

#include "backward_writer.h"

#include <cstddef>

namespace zimbrots {

// The ways the passes can run. The scalar pass runs everywhere and is the reference.
enum class ConversionPath { Scalar = 0, Avx2 = 1, Avx512Vbmi2 = 2 };
inline constexpr ConversionPath AllConversionPaths[] = {ConversionPath::Scalar, ConversionPath::Avx2,
                                                        ConversionPath::Avx512Vbmi2};

// The fastest path this processor offers, found once.
ConversionPath BestConversionPath();
// The path the passes take now: the best one, unless a test or benchmark chose another.
ConversionPath CurrentConversionPath();
// Whether this processor can take the path.
bool ProcessorHas(ConversionPath path);
// Makes the passes take this path; false, and nothing changes, if the processor lacks it.
bool UseConversionPath(ConversionPath path);

namespace vector_detail {

// Output room every vector writer may use past its last byte.
inline constexpr std::size_t Slack = 64;

// One path's passes. Each takes whole blocks only, and returns how many input bytes it took;
// the scalar passes do the rest.
struct VectorPasses {
    // Windows-1257 bytes converted into out, which has room for 6 bytes a byte plus Slack.
    std::size_t (*windows1257Forward)(const unsigned char* in, std::size_t size, char*& out);
    // The same in place, from the end: the bytes taken are the last ones.
    std::size_t (*windows1257Backward)(BackwardWriter& text);
    // The replacements' lengths, added to total.
    std::size_t (*windows1257Size)(const unsigned char* in, std::size_t size, std::size_t& total);
    // UTF-8 converted into out (room for 4 bytes a byte plus Slack), while every byte of a
    // block can be decided from the block and the byte after it: it stops at a combining mark,
    // or when fewer than a block and its next byte are left.
    std::size_t (*utf8Forward)(const unsigned char* in, std::size_t size, char*& out);
};

// The passes of each path; those of a path that this build lacks take nothing.
extern const VectorPasses ScalarPasses, Avx2Passes, Avx512Passes;

// The passes of the current path: every entry point calls through this.
const VectorPasses& Passes();

}  // namespace vector_detail

}  // namespace zimbrots
