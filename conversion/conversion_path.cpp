// The choice of path: the processor's best once at start, or the one a test or benchmark asks for.
#include "conversion_path.h"

#include "vector_passes.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <string_view>

namespace zimbrots {

namespace vector_detail {

const VectorPasses* PassesOf(ConversionPath path)
{
    switch (path) {
#if defined(__x86_64__)
    case ConversionPath::Avx512Vbmi2:
        return &Avx512Passes;
    case ConversionPath::Avx2:
        return &Avx2Passes;
#endif
    default:
        return nullptr;
    }
}

namespace {

// Made on first use, so that a conversion in another file's start-up finds it.
std::atomic<ConversionPath>& Current()
{
    static std::atomic<ConversionPath> path{BestConversionPath()};
    return path;
}

}  // namespace

const VectorPasses* Passes() { return PassesOf(Current().load(std::memory_order_relaxed)); }

}  // namespace vector_detail

namespace {

#if defined(__x86_64__)
// Every feature a path may name, and how to ask the processor for it (the builtin wants the
// name as it stands in the source).
struct CpuFeature {
    std::string_view name;
    bool (*present)();
};
#define ZIMBROTS_FEATURE(name) {name, [] { return bool(__builtin_cpu_supports(name)); }}
constexpr CpuFeature KnownFeatures[] = {
    ZIMBROTS_FEATURE("avx2"),       ZIMBROTS_FEATURE("avx512f"),     ZIMBROTS_FEATURE("avx512bw"),
    ZIMBROTS_FEATURE("avx512vl"),   ZIMBROTS_FEATURE("avx512vbmi"), ZIMBROTS_FEATURE("avx512vbmi2"),
    ZIMBROTS_FEATURE("popcnt"),
};
#undef ZIMBROTS_FEATURE

// Whether the processor has every feature of the list; a name not known here counts as missing.
bool HasAll(std::string_view features)
{
    __builtin_cpu_init();
    while (!features.empty()) {
        const std::size_t comma = features.find(',');
        const std::string_view name = features.substr(0, comma);
        const auto known = std::find_if(std::begin(KnownFeatures), std::end(KnownFeatures),
                                        [name](const CpuFeature& feature) { return feature.name == name; });
        if (known == std::end(KnownFeatures) || !known->present())
            return false;
        features.remove_prefix(comma == std::string_view::npos ? features.size() : comma + 1);
    }
    return true;
}
#endif

}  // namespace

bool ProcessorHas(ConversionPath path)
{
    if (path == ConversionPath::Scalar)
        return true;
#if defined(__x86_64__)
    if (const vector_detail::VectorPasses* passes = vector_detail::PassesOf(path))
        return HasAll(passes->features);
#endif
    return false;
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
