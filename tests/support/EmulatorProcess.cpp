#include "EmulatorProcess.hpp"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace qrv::test {

namespace {

using Clock = std::chrono::steady_clock;

int statusOf(int raw)
{
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

} // namespace

EmulatorProcess::EmulatorProcess(const std::filesystem::path& executable, std::vector<std::string> arguments,
                                 double startTimeoutSeconds)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));

    std::vector<std::string> words{executable.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    output_ = pipeEnds[0];
    if (spawned != 0) {
        ::close(output_);
        throw std::runtime_error("cannot start " + executable.string() + ": " + std::strerror(spawned));
    }

    const auto deadline = Clock::now() + std::chrono::duration<double>(startTimeoutSeconds);
    std::string line;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd watch{output_, POLLIN, 0};
        if (left <= 0 || poll(&watch, 1, static_cast<int>(left)) == 0) {
            stop();
            ::close(output_);
            throw EmulatorStartError("the emulator named no terminal in time", std::nullopt);
        }
        char c;
        const ssize_t n = ::read(output_, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int status = stop();
            ::close(output_);
            throw EmulatorStartError("the emulator exited with status " + std::to_string(status), status);
        }
        if (c == '\n')
            break;
        line += c;
    }
    slavePath_ = line;
}

EmulatorProcess::~EmulatorProcess()
{
    stop();
    if (output_ >= 0)
        ::close(output_);
}

std::optional<int> EmulatorProcess::reap(bool block)
{
    if (status_ || pid_ <= 0)
        return status_;
    int raw = 0;
    pid_t done;
    do {
        done = waitpid(pid_, &raw, block ? 0 : WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == pid_)
        status_ = statusOf(raw);
    return status_;
}

std::optional<int> EmulatorProcess::waitForExit(double seconds)
{
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (const auto status = reap(false))
            return status;
        if (Clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void EmulatorProcess::signal(int sig)
{
    if (!status_)
        ::kill(pid_, sig);
}

int EmulatorProcess::stop()
{
    if (status_ || pid_ <= 0)
        return status_.value_or(-1);
    ::kill(pid_, SIGTERM);
    if (const auto status = waitForExit(2.0))
        return *status;
    ::kill(pid_, SIGKILL);
    return reap(true).value_or(-1);
}

std::vector<std::vector<uint8_t>> loggedRequests(const std::filesystem::path& log)
{
    std::vector<std::vector<uint8_t>> out;
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string sequence, direction, hex;
        words >> sequence >> direction;
        if (direction != ">")
            continue;
        out.emplace_back();
        while (words >> hex)
            out.back().push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
    }
    return out;
}

} // namespace qrv::test
