// The main dialog from the real resources, on a thread of this process, with the
// engine on the simulated floppy: drive list, Copy Image, Browse, help, About.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/ImagerDlg.h"
#include "framework/WinApp.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/WindowDriver.h"

#include <commctrl.h>
#include <shlobj.h>

namespace {

using namespace ui;
using Texts = std::vector<std::string>;

const std::string kAppName = "trakoni_dialog_tests: ";  // the application is named after its executable
const char kHelpText[] =
    "Vantor Trakoni\n\nVantor Trakoni translates between 80 cylinder image files and a floppy disk.\n"
    "The image files will be named cylXX.bin, where XX is 00 to 79\n\n"
    "To copy image files onto a floppy disk:\n  - select the floppy drive\n  - select the location of the image files\n"
    "  - select the \"Copy image files onto floppy disk\" radio button\n  - click \"Copy Image.\"\n\n"
    "To create image files from a floppy disk:\n  - select the floppy drive\n  - select path to the image files\n"
    "  - select \"Create image files from floppy disk\" radio button\n  - click \"Copy Image\".\n\n";
const char kToFloppy[] = "&Copy image files onto floppy disk";
const char kFromFloppy[] = "&Create image files from floppy disk";
const DWORD kProcess = ::GetCurrentProcessId();

// As in the program: dialogs made without an owner belong to the main one.
WinApp g_app;

class DialogTest : public ::testing::Test {
protected:
    DialogTest()
    {
        ::InitCommonControls();
        for (const char letter : {'E', 'C', 'A', 'D', 'B'}) {
            m_platform.AddDrive(letter, letter == 'C' ? DRIVE_FIXED : letter == 'D' ? DRIVE_CDROM : DRIVE_REMOVABLE);
        }
        m_platform.AddMaskBits(0xFC000000u);  // bits above Z name no drive
        m_platform.InsertMedium('B', m_disk, MakeGeometry(2, 9, 512));
    }
    ~DialogTest() override { Close(); }

    // Runs the dialog modally on its thread; its main window once it shows.
    HWND Open()
    {
        m_ended = false;
        m_thread = std::thread([this] {
            ImagerDlg dialog;
            g_app.SetMainWindow(&dialog);
            dialog.DoModal();
            m_ended = true;
        });
        return m_dialog = WaitForDialog(kProcess, " Vantor Trakoni Utility");
    }
    // Ends the dialog whatever it shows, and waits for DoModal to return.
    void Close()
    {
        WaitUntil([&] {
            for (HWND other : Dialogs(kProcess, m_dialog)) {
                ::PostMessageA(other, WM_COMMAND, IDCANCEL, 0);
            }
            ::PostMessageA(m_dialog, WM_CLOSE, 0, 0);
            return m_ended.load();
        });
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    HWND Button(const char* label) const { return Child(m_dialog, "Button", label); }
    HWND Folder() const { return Child(m_dialog, "Edit"); }
    Box NextBox() const { return WaitForBox(kProcess, m_dialog); }
    bool NoBox(DWORD ms = 300) const { return !WaitUntil([&] { return !Dialogs(kProcess, m_dialog).empty(); }, ms); }
    bool CopyImageEnabled() const { return WaitUntil([&] { return ::IsWindowEnabled(Button("&Copy Image")) != FALSE; }); }
    void Choose(const char* direction, const std::string& folder)
    {
        Click(Button(direction));
        SetText(Folder(), folder);
    }
    // Presses Copy Image: the one box of the dialog that follows, if any.
    Box CopyImage(const char* direction, const std::string& folder, const std::string& what)
    {
        Choose(direction, folder);
        PostClick(Button("&Copy Image"));
        const Box box = what.empty() ? Box{} : NextBox();
        EXPECT_EQ(box.what, what);
        EXPECT_EQ(box.owner, what.empty() ? nullptr : m_dialog);
        EXPECT_FALSE(box.hasIcon);
        return box;
    }
    void Command(const std::string& label) { ::PostMessageA(m_dialog, WM_COMMAND, MenuCommand(::GetMenu(m_dialog), label), 0); }

    const Bytes m_disk = Pattern(k720.MediumBytes(), 0, 'B');
    SimulatedPlatform m_platform;
    ScopedPlatformOverride m_use{m_platform};
    std::thread m_thread;
    std::atomic<bool> m_ended{true};
    HWND m_dialog = nullptr;
};

// The engine gets the letter of the drive chosen and the folder as typed;
// success is announced while Copy Image is still disabled.
TEST_F(DialogTest, CopiesWithTheChosenDriveFolderAndDirection)
{
    CapturedOutput trace;
    ASSERT_TRUE(Open());
    const HWND drives = Child(m_dialog, "ComboBox");
    EXPECT_EQ(ComboItems(drives), (Texts{"A:", "B:", "E:"}));
    EXPECT_EQ(ComboSelection(drives), 0);
    EXPECT_EQ(trace.Text(), "A\nB\nC\nD\nE\n");  // every drive
    EXPECT_TRUE(IsChecked(Button(kToFloppy)) && !IsChecked(Button(kFromFloppy)) && Text(Folder()).empty());

    TempFolder folder;
    ::SendMessageA(drives, CB_SETCURSEL, 1, 0);
    for (const char* direction : {kFromFloppy, kToFloppy}) {
        const Box box = CopyImage(direction, folder.Path() + "\\", "Complete: Copy Successful");
        EXPECT_FALSE(::IsWindowEnabled(Button("&Copy Image"))) << "enabled before the success message was dismissed";
        ASSERT_TRUE(Dismiss(box) && CopyImageEnabled());
        EXPECT_EQ(m_platform.CallsTo(Api::CreateFileA).back().text, "\\\\.\\B:");
        EXPECT_TRUE(ReadWholeFile(folder.Path() + "\\\\cyl79.bin") == Slice(m_disk, 79 * 9216, 9216));
        EXPECT_TRUE(direction == kFromFloppy || m_platform.Medium('B') == m_disk);
        m_platform.Medium('B').assign(m_disk.size(), 0);
    }
    EXPECT_EQ(Boxes(m_platform), Texts{});
}

// Nothing reaches the engine for a folder that is not there, nor a set with a
// file missing; Copy Image is enabled again before the message shows.
TEST_F(DialogTest, ChecksTheFolderAndTheFilesBeforeTheEngineRuns)
{
    ASSERT_TRUE(Open());
    TempFolder folder;
    for (int cylinder = 0; cylinder < 80; ++cylinder) {
        ASSERT_TRUE(cylinder == 42 || WriteWholeFile(folder.File(cylinder), Bytes(18432)));
    }
    const std::string invalid = kAppName + "The path specified is invalid";
    const struct { const char* direction; std::string folder, what; } cases[] = {
        {kFromFloppy, "", invalid},
        {kToFloppy, folder.Path() + "\\missing", invalid},
        {kFromFloppy, folder.File(0), invalid},
        {kToFloppy, folder.Path(), kAppName + "File " + folder.File(42) + " does not exist.  Imaging aborted."},
        {kToFloppy, folder.Path() + "\\", kAppName + "File " + folder.Path() + "\\\\cyl42.bin does not exist.  Imaging aborted."},
    };
    for (const auto& c : cases) {
        const Box box = CopyImage(c.direction, c.folder, c.what);
        EXPECT_TRUE(::IsWindowEnabled(Button("&Copy Image")));
        ASSERT_TRUE(Dismiss(box));
        EXPECT_EQ(Text(Folder()), c.folder);
    }
    // A notification other than a click (the button getting the focus) starts nothing.
    Choose(kFromFloppy, folder.Path());
    const HWND copyImage = Button("&Copy Image");
    ::PostMessageA(m_dialog, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(copyImage), BN_SETFOCUS), reinterpret_cast<LPARAM>(copyImage));
    EXPECT_TRUE(NoBox(500));
    EXPECT_TRUE(m_platform.CallsTo(Api::CreateFileA).empty());
}

TEST_F(DialogTest, WithoutFloppyDrivesSaysSoAndHandsTheEngineNoLetter)
{
    SimulatedPlatform noFloppies;
    noFloppies.AddDrive('C', DRIVE_FIXED);
    ScopedPlatformOverride use(noFloppies);
    Open();
    const Box box = WaitForBox(kProcess, nullptr);
    EXPECT_EQ(box.what, kAppName + "No floppy drives were detected.");
    ASSERT_TRUE(Dismiss(box));
    EXPECT_EQ(box.owner, m_dialog = WaitForDialog(kProcess, " Vantor Trakoni Utility"));
    TempFolder folder;
    CopyImage(kFromFloppy, folder.Path(), "");
    EXPECT_TRUE(CopyImageEnabled() && NoBox());
    EXPECT_EQ(noFloppies.CallsTo(Api::CreateFileA).at(0).text, "\\\\.\\");
    Close();
}

TEST_F(DialogTest, FileExitEndsTheDialog)
{
    ASSERT_TRUE(Open());
    Command("E&xit");
    EXPECT_TRUE(WaitUntil([&] { return m_ended.load(); }));
}

// The folder browser writes back the folder alone; cancelled, nothing.
TEST_F(DialogTest, BrowseChangesOnlyTheFolder)
{
    ASSERT_TRUE(Open());
    TempFolder chosen;
    const HWND drives = Child(m_dialog, "ComboBox");
    for (const int button : {IDCANCEL, IDOK}) {
        Choose(kFromFloppy, "typed by the user");
        ::SendMessageA(drives, CB_SETCURSEL, 1, 0);
        PostClick(Button("Browse..."));
        const HWND browser = NextBox().window;
        ASSERT_NE(browser, nullptr);
        // This Wine's browser matches folders by ids holding their last access
        // time, which the first listing moves: list the path first.
        for (size_t end = 0; end != std::string::npos;) {
            end = chosen.Path().find('\\', end + 1);
            WIN32_FIND_DATAA found;
            ::FindClose(::FindFirstFileA((chosen.Path().substr(0, end) + "\\*").c_str(), &found));
        }
        ::SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(chosen.Path().c_str()));
        ::PostMessageA(browser, WM_COMMAND, button, 0);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(browser); }));
        EXPECT_EQ(Text(Folder()), button == IDOK ? chosen.Path() : "typed by the user");
        EXPECT_TRUE(IsChecked(Button(kFromFloppy))) << "Browse changed the direction";
        EXPECT_EQ(ComboSelection(drives), 1) << "Browse changed the drive";
    }
}

TEST_F(DialogTest, HelpShowsTheHelpTextAndAboutComesFromTheMenuAndTheSystemMenu)
{
    ASSERT_TRUE(Open());
    Command("Trakoni &help");
    Box box = NextBox();
    EXPECT_EQ(box.what, kAppName + kHelpText);
    EXPECT_TRUE(box.owner == m_dialog && !box.hasIcon);
    ASSERT_TRUE(Dismiss(box));

    // The system keeps the low four bits of a command for itself.
    const UINT about = MenuCommand(::GetSystemMenu(m_dialog, FALSE), "&About Trakoni...");
    ASSERT_EQ(about & 0xF, 0u);
    const std::pair<UINT, WPARAM> ways[] = {
        {WM_COMMAND, MenuCommand(::GetMenu(m_dialog), "&About")}, {WM_SYSCOMMAND, about}, {WM_SYSCOMMAND, about + 15}, {WM_SYSCOMMAND, about + 16}};
    for (const auto& [message, command] : ways) {
        ::PostMessageA(m_dialog, message, command, 0);
        if (command == about + 16) {
            EXPECT_TRUE(NoBox());
            continue;
        }
        box = NextBox();
        EXPECT_EQ(box.what, "About Trakoni: ");
        EXPECT_EQ(box.owner, m_dialog);
        EXPECT_NE(Child(box.window, "Static", "Vantor Trakoni Utility Version 2.0.0.1"), nullptr) << command;
        ASSERT_TRUE(Dismiss(box));
    }
}

}  // namespace
