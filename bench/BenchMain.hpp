#pragma once

#include <benchmark/benchmark.h>

namespace qrv::bench {

// The body of every benchmark's main once its Qt application exists.
inline int runBenchmarks(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace qrv::bench
