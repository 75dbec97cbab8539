#include "StartUp.hpp"

#include "devmem/MemoryDump.hpp"
#include "editor/Catalogue.hpp"
#include "storage/FileAccess.hpp"

#include <exception>
#include <fstream>
#include <optional>
#include <span>
#include <system_error>

namespace qrv {

void splashLoad(Program& program)
{
    FrmSplash& splash = program.splash;
    Host& host = program.editor.host();
    splash.Label1.visible = false;
    const ScreenSize screen = host.screenSize();
    if (screen.width < kMinimumScreenWidth || screen.height < kMinimumScreenHeight)
        host.message(kMinimumDisplayText, kWarningTitle, Icon::None);
    std::error_code error;
    const auto folder = std::filesystem::current_path(error);
    program.state.programFolder = error ? std::filesystem::path(".") : folder;
    splash.Timer1.interval = kSplashDelayMs;
    splash.Timer1.enabled = true;
}

void splashResize(FrmSplash& splash)
{
    if (splash.height != kSplashHeight)
        splash.height = kSplashHeight;
    if (splash.width != kSplashWidth)
        splash.width = kSplashWidth;
}

void splashTimer(Program& program, const ShowWindow& show)
{
    FrmSplash& splash = program.splash;
    Host& host = program.editor.host();
    splash.Timer1.enabled = false;
    host.setBusy(Window::Splash, true);
    mainWindowLoad(program);
    if (show)
        show(Window::Main);
    editorWindowLoad(program.form);
    if (show)
        show(Window::Editor);
    host.setBusy(Window::Splash, false);
    splash.loaded = false;
}

void mainWindowLoad(Program& program)
{
    // The value tables were built with the program state.
    ProgramState& s = program.state;
    if (startUpConnection(program)) {
        writeInitCfg(s.programFolder, s.PortNumber); // nothing reads it: a failure only loses the hint
        rememberPort(program);
        // Outside the exact order the page is shown after three reads; the rest follows in the background.
        const UnitRead extent = s.exactOrder ? UnitRead::Whole : UnitRead::First;
        if (!DumpDeviceMemory(program.editor, program.splash, extent)) {
            // The device went away during the dump: nothing half-read stays, and the start-up
            // says why it ends in demo mode.
            if (s.awaitingUnit)
                program.editor.host().message(kPortNotFoundText, kUsbProblemTitle, Icon::Critical);
            s.store = {};
            s.startConfig = {};
            s.deviceCopy = {};
            s.presetNames = {};
            enterDemoMode(program);
        }
    } else {
        enterDemoMode(program);
    }
    program.form.Label8.visible = false;
    // The tap tick serves the Tap Delay page only: elsewhere it would wake the program 20 times a second.
    program.form.Timer1.interval = 1000;
    program.form.Timer1.enabled = program.state.currentEffect == kTapDelayPage;
}

void editorWindowLoad(FrmMain& form)
{
    if (const auto button = form.Command2.find(kReloadAllButton); button != form.Command2.end())
        button->second.visible = false;
}

namespace {

// Where the unit was found last, beside init.cfg, whose two bytes keep only a number.
constexpr const char* kLastPortFile = "last-port";

std::optional<std::string> lastPort(const std::filesystem::path& folder)
{
    std::ifstream in(folder / kLastPortFile);
    std::string line;
    if (!std::getline(in, line) || line.empty())
        return std::nullopt;
    return line;
}

} // namespace

void rememberPort(Program& program)
{
    const std::string line = program.search.stableName() + "\n";
    writeFileAtomically(program.state.programFolder / kLastPortFile,
                        std::span(reinterpret_cast<const uint8_t*>(line.data()), line.size()));
}

bool startUpConnection(Program& program)
{
    Host& host = program.editor.host();
    FrmSplash& splash = program.splash;
    bool found = false;
    // The port the unit was found on last is tried first; the numbers follow as ever.
    if (const auto path = lastPort(program.state.programFolder))
        if (const auto number = program.search.numberOf(*path))
            program.state.PortNumber = static_cast<int16_t>(*number);
    try {
        found = program.search.connectAtStartUp([&] {
            splash.Label1.caption = kSearchingCaption;
            splash.Label1.visible = true;
            host.refresh(Window::Splash);
        });
    } catch (const std::exception&) {
        endWithUsbProblem(host);
    }
    if (found)
        return true;
    // What the search learnt of a port (busy, not permitted) comes first: it is the likeliest cause.
    const std::string& advice = program.state.portAdvice;
    const std::string checks = advice.empty() ? kNotFoundChecks : advice + ".\n" + kNotFoundChecks;
    if (!host.askYesNo(kDemoQuestionText, checks, kUsbProblemTitle, Icon::None, Button::Yes))
        host.endProgram();
    return false;
}

void enterDemoMode(Program& program)
{
    ProgramState& s = program.state;
    FrmMain& form = program.form;
    Editor& editor = program.editor;
    for (auto& slot : s.presetSlotNumbers)
        slot = "0";
    s.DemoMode = true;
    s.known.setAll(UnitKnowledge::Depth::Confirmed); // there is no unit to read
    s.awaitingUnit = false;
    s.currentEffect = 0;
    s.effectSwitchState = 0;
    s.LinkUp = false;
    form.Check1.value = s.effectSwitchState;
    editor.SendEffectSwitch();
    s.selectionLock = true;
    form.Combo1.index = 0;
    s.selectionLock = false;
    editor.SelectEffect(0);
    s.LinkUp = true;
    for (auto& slots : s.presetDirectory)
        for (auto& entry : slots)
            entry = "0";
    s.presetDirectoryUnknown = true;
    s.unitMayDiffer = true; // whatever the unit holds, the editor shows effect 0 of nothing
    s.demoStart = s.store;
}

bool writeInitCfg(const std::filesystem::path& folder, int16_t portNumber)
{
    const auto value = static_cast<uint16_t>(portNumber);
    const uint8_t bytes[2] = {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)};
    // A longer file keeps its tail; a link there is replaced, its target left alone.
    return !writeFileAtomically(folder / "init.cfg", bytes, {.keepTail = true});
}

} // namespace qrv
