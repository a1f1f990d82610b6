// The real Trakoni.exe under Wine, driven from this second program, for what only
// it shows: its start, real copies, a drive held elsewhere, its exit, its name.
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"
#include "tests/ui/WindowDriver.h"

namespace {

using namespace ui;

const char kFromFloppy[] = "&Create image files from floppy disk";

// One run of the program, ended by force if a test leaves it running.
class Program {
public:
    explicit Program(const std::string& exe = WinePathOf(TRAKONI_EXE))
    {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        std::string commandLine = "\"" + exe + "\"";
        if (::CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            const KernelHandle thread(info.hThread);
            m_process.Reset(info.hProcess);
            m_id = info.dwProcessId;
            m_dialog = WaitForDialog(m_id, " Vantor Trakoni Utility");
        }
    }
    ~Program() { ::TerminateProcess(m_process.Get(), 255); }

    HWND Dialog() const { return m_dialog; }
    HWND Button(const char* label) const { return Child(m_dialog, "Button", label); }
    std::vector<HWND> Others() const { return Dialogs(m_id, m_dialog); }
    // Presses Copy Image with this direction and folder; the box that follows.
    Box CopyImage(const char* direction, const std::string& folder) const
    {
        Click(Button(direction));
        SetText(Child(m_dialog, "Edit"), folder);
        PostClick(Button("&Copy Image"));
        return WaitForBox(m_id, m_dialog);
    }
    DWORD ExitCode() const
    {
        DWORD code = STILL_ACTIVE;
        ::WaitForSingleObject(m_process.Get(), kWaitMs);
        ::GetExitCodeProcess(m_process.Get(), &code);
        return code;
    }

private:
    KernelHandle m_process;
    DWORD m_id = 0;
    HWND m_dialog = nullptr;
};

// It starts, lists the prefix's floppies and copies A: both ways.
TEST(Program, CopiesDriveABothWaysByteForByte)
{
    Program app;
    const bool onLoopDevice = std::getenv("TRAKONI_LOOP_A") != nullptr;  // then the only drive
    EXPECT_EQ(ComboItems(Child(app.Dialog(), "ComboBox")), (onLoopDevice ? std::vector<std::string>{"A:"} : std::vector<std::string>{"A:", "B:", "E:"}));
    const Bytes disk = Pattern(k144.MediumBytes(), 0, ::GetTickCount()), files = Pattern(k144.MediumBytes(), 0, 'F');
    ASSERT_TRUE(WriteWholeFile(ImageOf('A'), disk));
    TempFolder folder;
    for (const char* direction : {kFromFloppy, "&Copy image files onto floppy disk"}) {
        const Box box = app.CopyImage(direction, folder.Path());
        EXPECT_EQ(box.what, "Complete: Copy Successful");
        ASSERT_TRUE(Dismiss(box));
        if (direction == kFromFloppy) {
            EXPECT_TRUE(folder.ReadSet() == disk);
            folder.WriteSet(files);
        }
    }
    EXPECT_TRUE(ReadWholeFile(ImageOf('A')) == files);
}

TEST(Program, ReportsADriveHeldElsewhereOnce)
{
    Program app;
    const KernelHandle held = OpenVolume('A');
    ASSERT_TRUE(held.IsValid());
    TempFolder folder;
    const Box box = app.CopyImage(kFromFloppy, folder.Path());
    EXPECT_EQ(box.what, "ERROR: Drive is currently in use");
    EXPECT_TRUE(box.owner == nullptr && box.hasIcon);
    ASSERT_TRUE(Dismiss(box));
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(app.Button("&Copy Image")) != FALSE; }));
    EXPECT_TRUE(app.Others().empty()) << "a second message followed";
    EXPECT_TRUE(ReadWholeFile(folder.File(0)).empty());
}

// Escape (to the control with the focus, as the keyboard sends it) and the
// close box; File, Exit ends the dialog as the dialog tests show.
TEST(Program, EndsWithCodeZeroWhenItsDialogCloses)
{
    for (int way = 0; way < 2; ++way) {
        Program app;
        GUITHREADINFO thread{};
        thread.cbSize = sizeof thread;
        ::GetGUIThreadInfo(::GetWindowThreadProcessId(app.Dialog(), nullptr), &thread);
        const HWND focus = thread.hwndFocus ? thread.hwndFocus : app.Dialog();
        way == 0 ? ::PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001) : ::PostMessageA(app.Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(app.ExitCode(), 0u) << way;
    }
}

TEST(Program, NamesItsMessagesAfterItsExecutable)
{
    TempFolder folder;
    for (const std::string name : {"Imager2", "Disk.Tool"}) {
        const std::string exe = folder.Path() + "\\" + name + ".exe";
        ASSERT_TRUE(::CopyFileA(WinePathOf(TRAKONI_EXE).c_str(), exe.c_str(), FALSE));
        EXPECT_EQ(Program(exe).CopyImage(kFromFloppy, folder.Path() + "\\missing").what, name + ": The path specified is invalid");
    }
}

}  // namespace
