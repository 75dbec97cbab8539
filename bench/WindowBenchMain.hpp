#pragma once

#include "BenchMain.hpp"

#include <QApplication>

#include <cstdlib>

namespace qrv::bench {

// The main of a benchmark that shows windows: offscreen unless a display is there.
inline int runWindowBenchmarks(int argc, char** argv)
{
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}

} // namespace qrv::bench
