#include "cli/Progress.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <utility>

#ifdef _WIN32
#include "platform/Win32.h"
#else
#include <signal.h>
#include <unistd.h>

#include <chrono>
#endif

namespace {

// Set by the console's control handler, which Windows runs on a thread of
// its own, or by the signal handler; 0 while nothing asked to stop.
std::atomic<int> g_interrupted{0};
// The CtrlCHold objects alive; while one is, no copy forgets an interruption.
int g_holds = 0;
// The operations and holds that catch interruptions now.
int g_catching = 0;
// The width of the progress line on the console; 0 when none is shown.
int g_lineWidth = 0;

#ifdef _WIN32
BOOL WINAPI OnConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    g_interrupted = InterruptedBy::Keyboard;
    return TRUE;
}

bool StandardErrorIsConsole()
{
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

unsigned long long NowMs()
{
    return ::GetTickCount64();
}

// While an operation runs, Ctrl+C asks it to stop; afterwards it ends the
// program Windows' default way.
void SetCatching(bool catching)
{
    ::SetConsoleCtrlHandler(OnConsoleControl, catching ? TRUE : FALSE);
}
#else
void OnSignal(int signalNumber)
{
    g_interrupted = signalNumber == SIGTERM ? InterruptedBy::Termination : InterruptedBy::Keyboard;
}

bool StandardErrorIsConsole()
{
    return ::isatty(STDERR_FILENO) != 0;
}

unsigned long long NowMs()
{
    using namespace std::chrono;
    return static_cast<unsigned long long>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// While an operation runs, SIGINT (Ctrl+C) and SIGTERM ask it to stop;
// afterwards they end the program the default way.
void SetCatching(bool catching)
{
    struct sigaction action {};
    action.sa_handler = catching ? OnSignal : SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}
#endif

// Caught while any operation or hold wants it.
void CatchInterruptions(bool catching)
{
    g_catching += catching ? 1 : -1;
    if (g_catching == (catching ? 1 : 0)) {
        SetCatching(catching);
    }
}

// A new operation forgets an interruption of one before it, unless a hold
// keeps it.
void StartCatching()
{
    g_interrupted = g_holds > 0 ? g_interrupted.load() : InterruptedBy::Nothing;
    CatchInterruptions(true);
}

std::string Duration(unsigned long long ms)
{
    char text[32];
    if (ms < 10000) {
        std::snprintf(text, sizeof text, "%.2f s", ms / 1000.0);
    } else if (ms < 60000) {
        std::snprintf(text, sizeof text, "%.1f s", ms / 1000.0);
    } else {
        std::snprintf(text, sizeof text, "%llu:%02llu", ms / 60000, ms / 1000 % 60);
    }
    return text;
}

std::string Rate(unsigned long long bytes, unsigned long long ms)
{
    const double perSecond = 1000.0 * static_cast<double>(bytes) / static_cast<double>(ms ? ms : 1);
    char text[32];
    if (perSecond >= 1024.0 * 1024.0) {
        std::snprintf(text, sizeof text, "%.1f MB/s", perSecond / (1024.0 * 1024.0));
    } else {
        std::snprintf(text, sizeof text, "%.1f KB/s", perSecond / 1024.0);
    }
    return text;
}

// Puts `line` in place of the progress line, padded to the previous line's
// width so none of that stays behind.
void RewriteLine(const std::string& line)
{
    std::fprintf(stderr, "\r%-*s", g_lineWidth, line.c_str());
    std::fflush(stderr);
    g_lineWidth = std::max(g_lineWidth, static_cast<int>(line.size()));
}

}  // namespace

CtrlCHold::CtrlCHold()
{
    StartCatching();
    ++g_holds;
}

CtrlCHold::~CtrlCHold()
{
    --g_holds;
    CatchInterruptions(false);
}

int Interruption()
{
    return g_interrupted;
}

void ClearProgressLine()
{
    if (g_lineWidth > 0) {
        std::fprintf(stderr, "\r%*s\r", g_lineWidth, "");
        std::fflush(stderr);
        g_lineWidth = 0;
    }
}

Progress::Progress(std::string doing, bool quiet)
    : m_doing(std::move(doing)),
      m_quiet(quiet),
      m_showLine(!quiet && StandardErrorIsConsole()),
      m_start(NowMs())
{
    StartCatching();
}

// An interruption after the operation ends the program the system's default way.
Progress::~Progress()
{
    ClearProgressLine();
    CatchInterruptions(false);
}

bool Progress::CylinderDone(int cylinder, const unsigned char*, uint32_t bytes)
{
    m_done = cylinder + 1;
    m_bytes += bytes;
    if (m_showLine) {
        ShowLine();
    }
    return g_interrupted == InterruptedBy::Nothing;
}

RescueProgressLine::RescueProgressLine(bool quiet) : m_showLine(!quiet && StandardErrorIsConsole())
{
    StartCatching();
}

RescueProgressLine::~RescueProgressLine()
{
    ClearProgressLine();
    CatchInterruptions(false);
}

bool RescueProgressLine::GoOn(const RescueProgress& progress)
{
    if (m_showLine) {
        static const char* const kPasses[] = {"whole cylinders", "tracks", "sectors", "retry"};
        std::string pass = kPasses[static_cast<int>(progress.pass)];
        if (progress.pass == RescuePass::Retry) {
            pass += " " + std::to_string(progress.retry) + "/" + std::to_string(progress.retries);
        }
        RewriteLine("Rescuing  pass: " + pass + "  cylinder " + std::to_string(progress.cylinder) + "/" +
                 std::to_string(kCylinderCount) + "  unreadable sectors: " + std::to_string(progress.unreadable));
    }
    return g_interrupted == InterruptedBy::Nothing;
}

void Progress::ShowLine()
{
    const unsigned long long elapsed = NowMs() - m_start;
    const unsigned long long left = elapsed * (kCylinderCount - m_done) / m_done;
    char line[160];
    std::snprintf(line, sizeof line, "%s  cylinder %d/%d  %3d%%  %s  %s left", m_doing.c_str(), m_done,
                  kCylinderCount, m_done * 100 / kCylinderCount, Rate(m_bytes, elapsed).c_str(),
                  Duration(left).c_str());
    RewriteLine(line);
}

void Progress::Summary(const std::string& what) const
{
    ClearProgressLine();
    if (m_quiet) {
        return;
    }
    const unsigned long long elapsed = NowMs() - m_start;
    std::fprintf(stderr, "%s (%d cylinders, %llu bytes) in %s, %s\n", what.c_str(), m_done,
                 m_bytes, Duration(elapsed).c_str(), Rate(m_bytes, elapsed).c_str());
    std::fflush(stderr);
}

#ifdef _WIN32
// A console shows ANSI colours once it has been asked to (Windows 10 and
// later); an older one, or a file, refuses.
bool ColourOnStandardOutput()
{
    constexpr DWORD kVirtualTerminalProcessing = 0x0004;
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return ::GetConsoleMode(output, &mode) != 0 && ::SetConsoleMode(output, mode | kVirtualTerminalProcessing) != 0;
}
#else
bool ColourOnStandardOutput()
{
    return ::isatty(STDOUT_FILENO) != 0;
}
#endif
