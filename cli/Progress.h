// What a copy shows while it runs: one line on standard error, rewritten in
// place after every cylinder when standard error is a console, and a summary
// at the end. Ctrl+C while it lives asks the operation to stop after the
// current cylinder; one lives at a time.
#pragma once

#include <cstdint>
#include <string>

#include "engine/CommandLine.h"

class Progress : public CylinderObserver {
public:
    // `doing` starts the line ("Writing A:"); `quiet` silences line and summary.
    Progress(std::string doing, bool quiet);
    ~Progress() override;
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Updates the line; false once Ctrl+C has been pressed.
    bool CylinderDone(int cylinder, const unsigned char* data, uint32_t bytes) override;

    // "<what> (80 cylinders, 1474560 bytes) in 2.10 s, 686.0 KB/s".
    void Summary(const std::string& what) const;

    int Done() const { return m_done; }

private:
    void ShowLine();

    std::string m_doing;
    bool m_quiet;
    bool m_showLine;
    unsigned long long m_start;
    int m_done = 0;
    unsigned long long m_bytes = 0;
};

// What a rescue shows while it runs: the pass, the cylinder and the sectors
// found unreadable so far, on one line as above. Ctrl+C stops it before the
// next request to the drive.
class RescueProgressLine : public RescueObserver {
public:
    explicit RescueProgressLine(bool quiet);
    ~RescueProgressLine() override;
    RescueProgressLine(const RescueProgressLine&) = delete;
    RescueProgressLine& operator=(const RescueProgressLine&) = delete;

    bool GoOn(const RescueProgress& progress) override;

private:
    bool m_showLine;
};

// What asked the running operation to stop, if anything: Ctrl+C (SIGINT),
// or on a POSIX system SIGTERM.
namespace InterruptedBy {
constexpr int Nothing = 0;
constexpr int Keyboard = 1;
constexpr int Termination = 2;
}  // namespace InterruptedBy
int Interruption();

// Catches interruptions while it lives, also between copies (waiting for a
// disk, writing a bag): one is kept for Interruption() and for the next copy,
// which then stops at once.
class CtrlCHold {
public:
    CtrlCHold();
    ~CtrlCHold();
    CtrlCHold(const CtrlCHold&) = delete;
    CtrlCHold& operator=(const CtrlCHold&) = delete;
};

// Takes the progress line off the console, if one is shown.
void ClearProgressLine();

// Whether standard output is a terminal that shows ANSI colours.
bool ColourOnStandardOutput();
