// The choice of path: the processor's best once at start, or the one a test or benchmark asks for.
#include "vector_passes.h"

#include <atomic>

namespace zimbrots {

namespace vector_detail {

namespace {
std::size_t TakesNothing(const unsigned char*, std::size_t, char*&) { return 0; }
std::size_t TakesNothingBackward(BackwardWriter&) { return 0; }
std::size_t SumsNothing(const unsigned char*, std::size_t, std::size_t&) { return 0; }
}  // namespace

const VectorPasses ScalarPasses{TakesNothing, TakesNothingBackward, SumsNothing, TakesNothing};
#if !defined(__x86_64__)
const VectorPasses Avx2Passes{TakesNothing, TakesNothingBackward, SumsNothing, TakesNothing};
const VectorPasses Avx512Passes{TakesNothing, TakesNothingBackward, SumsNothing, TakesNothing};
#endif

namespace {

const VectorPasses& PassesOf(ConversionPath path)
{
    switch (path) {
    case ConversionPath::Avx512Vbmi2:
        return Avx512Passes;
    case ConversionPath::Avx2:
        return Avx2Passes;
    case ConversionPath::Scalar:
        break;
    }
    return ScalarPasses;
}

// Made on first use, so that a conversion in another file's start-up finds it.
std::atomic<ConversionPath>& Current()
{
    static std::atomic<ConversionPath> path{BestConversionPath()};
    return path;
}

}  // namespace

const VectorPasses& Passes() { return PassesOf(Current().load(std::memory_order_relaxed)); }

}  // namespace vector_detail

bool ProcessorHas(ConversionPath path)
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    switch (path) {
    case ConversionPath::Scalar:
        return true;
    case ConversionPath::Avx2:
        return __builtin_cpu_supports("avx2");
    case ConversionPath::Avx512Vbmi2:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
               __builtin_cpu_supports("popcnt");
    }
    return false;
#else
    return path == ConversionPath::Scalar;
#endif
}

ConversionPath BestConversionPath()
{
    static const ConversionPath best = [] {
        for (const ConversionPath path : {ConversionPath::Avx512Vbmi2, ConversionPath::Avx2})
            if (ProcessorHas(path))
                return path;
        return ConversionPath::Scalar;
    }();
    return best;
}

ConversionPath CurrentConversionPath() { return vector_detail::Current().load(std::memory_order_relaxed); }

bool UseConversionPath(ConversionPath path)
{
    if (!ProcessorHas(path))
        return false;
    vector_detail::Current().store(path, std::memory_order_relaxed);
    return true;
}

}  // namespace zimbrots
