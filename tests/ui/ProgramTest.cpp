// The real Trakoni.exe under Wine, driven from this second program: it starts
// and lists the prefix's floppies, copies the virtual 1.44 MB floppy both ways
// byte for byte, reports a drive held elsewhere, ends with code 0, and names
// its messages after its executable.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/TestSupport.h"
#include "tests/ui/WindowDriver.h"

namespace {

using namespace ui;

// One run of the program, ended by force if a test leaves it running.
class Program {
public:
    explicit Program(const std::string& exe = WinePathOf(TRAKONI_EXE))
    {
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        HANDLE reading = nullptr, writing = nullptr;
        ::CreatePipe(&reading, &writing, &inheritable, 0);
        m_output.Reset(reading);
        const KernelHandle output(writing);
        ::SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = output.Get();
        PROCESS_INFORMATION info{};
        std::string commandLine = "\"" + exe + "\"";
        if (::CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
            const KernelHandle thread(info.hThread);
            m_process.Reset(info.hProcess);
            m_id = info.dwProcessId;
            WaitUntil([&] { return !(dialogs = Dialogs(m_id)).empty(); });
        }
    }
    ~Program()
    {
        ::TerminateProcess(m_process.Get(), 255);
        ::WaitForSingleObject(m_process.Get(), kWaitMs);
    }
    std::vector<HWND> Others() const { return Dialogs(m_id, Dialog()); }
    HWND Dialog() const { return dialogs.empty() ? nullptr : dialogs.front(); }
    HWND Button(const char* label) const { return Child(Dialog(), "Button", label); }
    // Presses Copy Image with this direction and folder; the box that follows.
    Box CopyImage(const char* direction, const std::string& folder) const
    {
        Click(Button(direction));
        SetText(Child(Dialog(), "Edit"), folder);
        PostClick(Button("&Copy Image"));
        return WaitForBox(m_id, Dialog());
    }
    std::string StandardOutput() const
    {
        std::string text(4096, '\0');
        DWORD got = 0;
        ::ReadFile(m_output.Get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr);
        text.resize(got);
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        return text;
    }
    DWORD ExitCode() const
    {
        DWORD code = STILL_ACTIVE;
        ::WaitForSingleObject(m_process.Get(), kWaitMs);
        ::GetExitCodeProcess(m_process.Get(), &code);
        return code;
    }

    std::vector<HWND> dialogs;

private:
    KernelHandle m_process, m_output;
    DWORD m_id = 0;
};

const char kFromFloppy[] = "&Create image files from floppy disk";

// What is behind drive A: of the prefix the tests run in: the image file, or
// the loop device that with-loop-drives.sh attached.
std::string ImageOfDriveA()
{
    const char* device = std::getenv("TRAKONI_LOOP_A");
    return WinePathOf(device ? device : std::string(std::getenv("WINEPREFIX")) + "/floppies/a.img");
}

TEST(Program, ListsTheFloppiesOfThePrefix)
{
    Program app;
    ASSERT_NE(app.Dialog(), nullptr) << "no main dialog";
    EXPECT_EQ(Text(app.Dialog()), " Vantor Trakoni Utility");
    EXPECT_EQ(ComboItems(Child(app.Dialog(), "ComboBox")), (std::vector<std::string>{"A:", "B:", "E:"}));
    EXPECT_EQ(app.StandardOutput(), "A\nB\nC\nD\nE\nZ\n");
}

TEST(Program, CopiesDriveABothWaysByteForByte)
{
    Program app;
    const Bytes disk = Pattern(k144.MediumBytes(), 0, ::GetTickCount());
    ASSERT_TRUE(WriteWholeFile(ImageOfDriveA(), disk));
    TempFolder folder;
    for (const char* direction : {kFromFloppy, "&Copy image files onto floppy disk"}) {
        SCOPED_TRACE(direction);
        const Box box = app.CopyImage(direction, folder.Path());
        EXPECT_EQ(box.caption + ": " + box.text, "Complete: Copy Successful");
        ASSERT_TRUE(Dismiss(box));
        if (direction == kFromFloppy) {
            EXPECT_TRUE(folder.ReadSet() == disk);
            folder.WriteSet(Pattern(k144.MediumBytes(), 0, 'F'));
        }
    }
    EXPECT_TRUE(ReadWholeFile(ImageOfDriveA()) == Pattern(k144.MediumBytes(), 0, 'F'));
}

TEST(Program, ReportsADriveHeldElsewhereOnce)
{
    Program app;
    const KernelHandle held = OpenVolume('A');
    ASSERT_TRUE(held.IsValid());
    TempFolder folder;
    const Box box = app.CopyImage(kFromFloppy, folder.Path());
    EXPECT_EQ(box.caption + ": " + box.text, "ERROR: Drive is currently in use");
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_TRUE(box.hasIcon);
    ASSERT_TRUE(Dismiss(box));
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(app.Button("&Copy Image")) != FALSE; }));
    EXPECT_TRUE(app.Others().empty()) << "a second message followed";
    EXPECT_TRUE(ReadWholeFile(folder.File(0)).empty());
}

TEST(Program, EndsWithCodeZeroWhenItsDialogCloses)
{
    Program app;
    ::PostMessageA(app.Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(app.ExitCode(), 0u);
}

TEST(Program, NamesItsMessagesAfterItsExecutable)
{
    TempFolder folder;
    for (const char* name : {"Imager2", "Disk.Tool"}) {
        const std::string exe = folder.Path() + "\\" + name + ".exe";
        ASSERT_TRUE(::CopyFileA(WinePathOf(TRAKONI_EXE).c_str(), exe.c_str(), FALSE));
        Program app(exe);
        const Box box = app.CopyImage(kFromFloppy, folder.Path() + "\\missing");
        EXPECT_EQ(box.caption + ": " + box.text, std::string(name) + ": The path specified is invalid");
    }
}

}  // namespace
