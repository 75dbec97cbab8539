#pragma once

#include "editor/Controls.hpp"

namespace qrv {

inline constexpr int kSplashWidth = 11265; // twips
inline constexpr int kSplashHeight = 6360; // twips
inline constexpr int kSplashDelayMs = 2000;

#ifdef _WIN32
inline constexpr const char* kSearchingCaption = "Searching COM: please wait ";
#else
// Serial ports have no COM numbers here.
inline constexpr const char* kSearchingCaption = "Searching serial ports: please wait ";
#endif
inline constexpr const char* kDumpingCaption = "Dumping memory: please wait ";

// Control model of the splash window, the first window of the program.
struct FrmSplash {
    std::string caption; // empty: the window shows its picture only
    Label Label2{"QRV5173 effect processor"};
    Label Label1{kSearchingCaption}; // status label; its load handler hides it
    ProgressBar ProgressBar1;        // progress of the memory dump
    Timer Timer1;
    int width = kSplashWidth;
    int height = kSplashHeight;
    bool loaded = true; // false once the splash window has been unloaded
};

} // namespace qrv
