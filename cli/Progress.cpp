#include "cli/Progress.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <utility>

#include "platform/Win32.h"

namespace {

// Set by the console's control handler, which Windows runs on a thread of
// its own.
std::atomic<bool> g_interrupted{false};
// The CtrlCHold objects alive; while one is, no copy forgets a press.
int g_holds = 0;
// The width of the progress line on the console; 0 when none is shown.
int g_lineWidth = 0;

BOOL WINAPI OnConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    g_interrupted = true;
    return TRUE;
}

bool StandardErrorIsConsole()
{
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
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
    g_interrupted = g_interrupted && g_holds > 0;
    ++g_holds;
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

CtrlCHold::~CtrlCHold()
{
    --g_holds;
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

bool CtrlCPressed()
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
      m_start(::GetTickCount64())
{
    g_interrupted = g_interrupted && g_holds > 0;
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

// Ctrl+C after the operation ends Windows' default way: the program stops.
Progress::~Progress()
{
    ClearProgressLine();
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

bool Progress::CylinderDone(int cylinder, const unsigned char*, uint32_t bytes)
{
    m_done = cylinder + 1;
    m_bytes += bytes;
    if (m_showLine) {
        ShowLine();
    }
    return !g_interrupted;
}

RescueProgressLine::RescueProgressLine(bool quiet) : m_showLine(!quiet && StandardErrorIsConsole())
{
    g_interrupted = g_interrupted && g_holds > 0;
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

RescueProgressLine::~RescueProgressLine()
{
    ClearProgressLine();
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
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
    return !g_interrupted;
}

void Progress::ShowLine()
{
    const unsigned long long elapsed = ::GetTickCount64() - m_start;
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
    const unsigned long long elapsed = ::GetTickCount64() - m_start;
    std::fprintf(stderr, "%s (%d cylinders, %llu bytes) in %s, %s\n", what.c_str(), m_done,
                 m_bytes, Duration(elapsed).c_str(), Rate(m_bytes, elapsed).c_str());
    std::fflush(stderr);
}
