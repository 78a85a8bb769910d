// The ways the conversion can run on this processor, the best one chosen once at start, and
// the choice a test or benchmark can make.
#pragma once

namespace zimbrots {

// The ways the passes can run. The scalar pass runs everywhere and is the reference.
enum class ConversionPath { Scalar = 0, Avx2 = 1, Avx512Vbmi2 = 2, Neon = 3 };
inline constexpr ConversionPath AllConversionPaths[] = {ConversionPath::Scalar, ConversionPath::Avx2,
                                                        ConversionPath::Avx512Vbmi2, ConversionPath::Neon};

// The fastest path this processor offers, found once.
ConversionPath BestConversionPath();
// The path the passes take now: the best one, unless a test or benchmark chose another.
ConversionPath CurrentConversionPath();
// Whether this processor can take the path.
bool ProcessorHas(ConversionPath path);
// Makes the passes take this path; false, and nothing changes, if the processor lacks it.
bool UseConversionPath(ConversionPath path);

}  // namespace zimbrots
