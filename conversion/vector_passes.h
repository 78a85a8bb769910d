// The vectorised forms of the Windows-1257 and UTF-8 passes, behind the entry points of
// convert.h, and the choice between them and the scalar passes.
#pragma once

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

// Windows-1257 bytes converted forwards into out, which has room for 6 bytes a byte plus
// Slack. Converts whole blocks only; returns how many input bytes it converted.
std::size_t ConvertWindows1257Forward(const unsigned char* in, std::size_t size, char*& out);

// The same pass backwards, in place: data holds the text in its first read bytes, and its
// converted form is to end at data + write. Converts whole blocks from the end; returns how
// many input bytes are left, at the start, for the scalar pass; write moves down.
std::size_t ConvertWindows1257Backward(char* data, std::size_t read, std::size_t& write);

// The summed replacement lengths of Windows-1257 bytes, in total; false on the scalar path.
bool ConvertedWindows1257Size(const unsigned char* in, std::size_t size, std::size_t& total);

// UTF-8 converted forwards into out (room for 4 bytes a byte plus Slack), block by block
// while every byte of a block can be decided from the block and the byte after it: it stops
// at a combining mark, or when fewer than a block and its next byte are left. Returns how many
// input bytes it converted.
std::size_t ConvertUtf8Forward(const unsigned char* in, std::size_t size, char*& out);

}  // namespace vector_detail

}  // namespace zimbrots
