// The main dialog in this process, on a thread of its own, made from the real
// resources, with the engine on the simulated floppy: the drive list, what
// Copy Image checks before the engine runs and what it shows after, the folder
// browser, the help text, the About box and the ways to close the dialog.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/ImagerDlg.h"
#include "framework/WinApp.h"
#include "tests/support/TestSupport.h"

#include <commctrl.h>
#include <shlobj.h>

#include "tests/ui/WindowDriver.h"

namespace {

using namespace ui;

const char kAppName[] = "trakoni_dialog_tests";  // the application is named after its executable
const char kHelpText[] =
    "Vantor Trakoni\n\nVantor Trakoni translates between 80 cylinder image files and a floppy disk.\n"
    "The image files will be named cylXX.bin, where XX is 00 to 79\n\n"
    "To copy image files onto a floppy disk:\n  - select the floppy drive\n"
    "  - select the location of the image files\n"
    "  - select the \"Copy image files onto floppy disk\" radio button\n  - click \"Copy Image.\"\n\n"
    "To create image files from a floppy disk:\n  - select the floppy drive\n"
    "  - select path to the image files\n"
    "  - select \"Create image files from floppy disk\" radio button\n  - click \"Copy Image\".\n\n";
const char kToFloppy[] = "&Copy image files onto floppy disk";
const char kFromFloppy[] = "&Create image files from floppy disk";

// The id of the item of `menu` (or its submenus) labelled `label`.
UINT MenuCommand(HMENU menu, const std::string& label)
{
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        char text[128] = {};
        ::GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        if (HMENU sub = ::GetSubMenu(menu, i)) {
            if (const UINT id = MenuCommand(sub, label)) {
                return id;
            }
        } else if (label == text) {
            return ::GetMenuItemID(menu, i);
        }
    }
    return 0;
}

// The main dialog of this process (a copy of the program may run beside it).
HWND MainDialog()
{
    for (HWND dialog : Dialogs(::GetCurrentProcessId())) {
        if (Text(dialog) == " Vantor Trakoni Utility") {
            return dialog;
        }
    }
    return nullptr;
}

// As in the program: dialogs made without an owner belong to the main one.
WinApp g_app;

class DialogTest : public ::testing::Test {
protected:
    DialogTest()
    {
        ::InitCommonControls();
        for (const char letter : {'E', 'C', 'A', 'B'}) {
            m_platform.AddDrive(letter, letter == 'C' ? DRIVE_FIXED : DRIVE_REMOVABLE);
        }
        m_platform.InsertMedium('A', m_diskA, MakeGeometry(2, 18, 512));
        m_platform.InsertMedium('B', m_diskB, MakeGeometry(2, 9, 512));
    }
    ~DialogTest() override { Close(); }

    // Runs the dialog modally on its thread; true once it shows.
    bool Open()
    {
        m_ended = false;
        m_thread = std::thread([this] {
            ImagerDlg dialog;
            g_app.SetMainWindow(&dialog);
            m_result = dialog.DoModal();
            m_ended = true;
        });
        return WaitUntil([&] { return (m_dialog = MainDialog()) != nullptr; });
    }
    // Ends the dialog whatever it shows, and waits for DoModal to return.
    void Close()
    {
        if (!m_thread.joinable()) {
            return;
        }
        WaitUntil([&] {
            for (HWND other : Dialogs(::GetCurrentProcessId(), m_dialog)) {
                ::PostMessageA(other, WM_COMMAND, IDCANCEL, 0);
            }
            ::PostMessageA(m_dialog, WM_CLOSE, 0, 0);
            return m_ended.load();
        });
        m_thread.join();
    }

    HWND Button(const char* label) const { return Child(m_dialog, "Button", label); }
    HWND Folder() const { return Child(m_dialog, "Edit"); }
    Box NextBox() const { return WaitForBox(::GetCurrentProcessId(), m_dialog); }
    void Choose(const char* direction, const std::string& folder)
    {
        Click(Button(direction));
        SetText(Folder(), folder);
    }
    // Presses Copy Image and checks the one box of the dialog that follows.
    Box CopyImageShows(const std::string& caption, const std::string& text)
    {
        PostClick(Button("&Copy Image"));
        const Box box = NextBox();
        EXPECT_EQ(box.caption + ": " + box.text, caption + ": " + text);
        EXPECT_EQ(box.owner, m_dialog);
        EXPECT_FALSE(box.hasIcon);
        return box;
    }
    void Command(const std::string& label) { ::PostMessageA(m_dialog, WM_COMMAND, MenuCommand(::GetMenu(m_dialog), label), 0); }

    const Bytes m_diskA = Pattern(k144.MediumBytes(), 0, 'A');
    const Bytes m_diskB = Pattern(k720.MediumBytes(), 0, 'B');
    SimulatedPlatform m_platform;
    ScopedPlatformOverride m_use{m_platform};
    std::thread m_thread;
    std::atomic<bool> m_ended{false};
    INT_PTR m_result = 0;
    HWND m_dialog = nullptr;
};

// The drive text is "A:" and the like, the engine gets its letter and the
// folder as typed; success is announced while Copy Image is still disabled.
TEST_F(DialogTest, CopiesWithTheChosenDriveFolderAndDirection)
{
    CapturedOutput trace;
    ASSERT_TRUE(Open());
    const HWND drives = Child(m_dialog, "ComboBox");
    EXPECT_EQ(ComboItems(drives), (std::vector<std::string>{"A:", "B:", "E:"}));
    EXPECT_EQ(ComboSelection(drives), 0);
    EXPECT_EQ(trace.Text(), "A\nB\nC\nE\n");
    EXPECT_TRUE(IsChecked(Button(kToFloppy)) && !IsChecked(Button(kFromFloppy)));
    EXPECT_EQ(Text(Folder()), "");

    TempFolder folder;
    ::SendMessageA(drives, CB_SETCURSEL, 1, 0);
    for (const char* direction : {kFromFloppy, kToFloppy}) {
        SCOPED_TRACE(direction);
        Choose(direction, folder.Path() + "\\");
        const Box box = CopyImageShows("Complete", "Copy Successful");
        EXPECT_FALSE(::IsWindowEnabled(Button("&Copy Image"))) << "enabled before the success message was dismissed";
        ASSERT_TRUE(Dismiss(box));
        EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(Button("&Copy Image")) != FALSE; }));
        EXPECT_EQ(m_platform.CallsTo(Api::CreateFileA).back().text, "\\\\.\\B:");
        EXPECT_TRUE(ReadWholeFile(folder.Path() + "\\\\cyl79.bin") == Slice(m_diskB, 79 * 9216, 9216));
        if (direction == kFromFloppy) {
            m_platform.Medium('B').assign(m_diskB.size(), 0);
        }
    }
    EXPECT_TRUE(m_platform.Medium('B') == m_diskB);
    EXPECT_EQ(Boxes(m_platform), std::vector<std::string>{});
}

// Nothing reaches the engine for a folder that is not there, nor a set with a
// file missing; Copy Image is enabled again before the message shows.
TEST_F(DialogTest, ChecksTheFolderAndTheFilesBeforeTheEngineRuns)
{
    ASSERT_TRUE(Open());
    TempFolder folder;
    for (int cylinder = 0; cylinder < 80; ++cylinder) {
        if (cylinder != 42) {
            ASSERT_TRUE(WriteWholeFile(folder.File(cylinder), Bytes(18432)));
        }
    }
    const struct {
        const char* direction;
        std::string folder;
        std::string text;
    } cases[] = {
        {kFromFloppy, "", "The path specified is invalid"},
        {kToFloppy, folder.Path() + "\\missing", "The path specified is invalid"},
        {kFromFloppy, folder.File(0), "The path specified is invalid"},
        {kToFloppy, folder.Path(), "File " + folder.File(42) + " does not exist.  Imaging aborted."},
        {kToFloppy, folder.Path() + "\\", "File " + folder.Path() + "\\\\cyl42.bin does not exist.  Imaging aborted."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        Choose(c.direction, c.folder);
        const Box box = CopyImageShows(kAppName, c.text);
        EXPECT_TRUE(::IsWindowEnabled(Button("&Copy Image")));
        ASSERT_TRUE(Dismiss(box));
        EXPECT_EQ(Text(Folder()), c.folder);
    }
    // A notification other than a click, such as the button getting the
    // focus, starts nothing.
    Choose(kFromFloppy, folder.Path());
    const HWND copyImage = Button("&Copy Image");
    ::PostMessageA(m_dialog, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(copyImage), BN_SETFOCUS), reinterpret_cast<LPARAM>(copyImage));
    EXPECT_FALSE(WaitUntil([&] { return !Dialogs(::GetCurrentProcessId(), m_dialog).empty(); }, 500));
    EXPECT_TRUE(m_platform.CallsTo(Api::CreateFileA).empty());
}

// The engine has reported its own failure: the dialog adds nothing.
TEST_F(DialogTest, AnEngineFailureGetsNoSecondMessage)
{
    m_platform.FailCall(Api::CreateFileA, ERROR_SHARING_VIOLATION);
    ASSERT_TRUE(Open());
    TempFolder folder;
    Choose(kFromFloppy, folder.Path());
    Click(Button("&Copy Image"));
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(Button("&Copy Image")) != FALSE; }));
    EXPECT_EQ(Boxes(m_platform), std::vector<std::string>{"ERROR: Drive is currently in use"});
    EXPECT_TRUE(Dialogs(::GetCurrentProcessId(), m_dialog).empty());
}

TEST_F(DialogTest, WithoutFloppyDrivesSaysSoAndHandsTheEngineNoLetter)
{
    SimulatedPlatform noFloppies;
    noFloppies.AddDrive('C', DRIVE_FIXED);
    ScopedPlatformOverride use(noFloppies);
    m_thread = std::thread([this] {
        ImagerDlg dialog;
        dialog.DoModal();
        m_ended = true;
    });
    const Box box = WaitForBox(::GetCurrentProcessId(), nullptr);
    EXPECT_EQ(box.caption + ": " + box.text, std::string(kAppName) + ": No floppy drives were detected.");
    ASSERT_TRUE(Dismiss(box));
    ASSERT_TRUE(WaitUntil([&] { return (m_dialog = MainDialog()) != nullptr; }));
    EXPECT_EQ(box.owner, m_dialog);
    TempFolder folder;
    Choose(kFromFloppy, folder.Path());
    Click(Button("&Copy Image"));
    EXPECT_EQ(noFloppies.CallsTo(Api::CreateFileA).at(0).text, "\\\\.\\");
    EXPECT_TRUE(Dialogs(::GetCurrentProcessId(), m_dialog).empty());
    Close();
}

// The folder browser writes back the folder alone: cancelled, nothing.
TEST_F(DialogTest, BrowseChangesOnlyTheFolder)
{
    ASSERT_TRUE(Open());
    TempFolder chosen;
    const HWND drives = Child(m_dialog, "ComboBox");
    for (const int button : {IDCANCEL, IDOK}) {
        SCOPED_TRACE(button == IDOK ? "OK" : "Cancel");
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
    EXPECT_EQ(box.caption, kAppName);
    EXPECT_EQ(box.text, kHelpText);
    EXPECT_EQ(box.owner, m_dialog);
    EXPECT_FALSE(box.hasIcon);
    ASSERT_TRUE(Dismiss(box));

    // The system keeps the low four bits of a command for itself.
    const UINT about = MenuCommand(::GetSystemMenu(m_dialog, FALSE), "&About Trakoni...");
    ASSERT_EQ(about & 0xF, 0u);
    std::vector<std::pair<UINT, WPARAM>> ways = {{WM_COMMAND, MenuCommand(::GetMenu(m_dialog), "&About")}};
    for (WPARAM command = about; command <= about + 16; ++command) {
        ways.emplace_back(WM_SYSCOMMAND, command);
    }
    for (const auto& [message, command] : ways) {
        SCOPED_TRACE(command);
        ::PostMessageA(m_dialog, message, command, 0);
        if (command == about + 16) {
            EXPECT_FALSE(WaitUntil([&] { return !Dialogs(::GetCurrentProcessId(), m_dialog).empty(); }, 300));
            continue;
        }
        box = NextBox();
        EXPECT_EQ(box.caption, "About Trakoni");
        EXPECT_EQ(box.owner, m_dialog);
        EXPECT_NE(Child(box.window, "Static", "Vantor Trakoni Utility Version 2.0.0.1"), nullptr);
        ASSERT_TRUE(Dismiss(box));
    }
}

TEST_F(DialogTest, ExitEscapeAndTheCloseBoxEndTheDialog)
{
    const std::function<void(HWND)> ways[] = {
        [this](HWND) { Command("E&xit"); },
        [](HWND dialog) {  // to the control with the focus, as the keyboard sends it
            GUITHREADINFO thread{};
            thread.cbSize = sizeof thread;
            ::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &thread);
            ::PostMessageA(thread.hwndFocus ? thread.hwndFocus : dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        },
        [](HWND dialog) { ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    for (const auto& close : ways) {
        ASSERT_TRUE(Open());
        close(m_dialog);
        EXPECT_TRUE(WaitUntil([&] { return m_ended.load(); }));
        m_thread.join();
    }
}

}  // namespace
