// The menus, the system-menu About item, the help text, the ways to end the
// program, and the captions that follow the executable's name.
#include "tests/ui/TrakoniSession.h"

#include "app/res/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace ui {
namespace {

constexpr char kHelpText[] =
    "Vantor Trakoni\n"
    "\n"
    "Vantor Trakoni translates between 80 cylinder image files and a floppy disk.\n"
    "The image files will be named cylXX.bin, where XX is 00 to 79\n"
    "\n"
    "To copy image files onto a floppy disk:\n"
    "  - select the floppy drive\n"
    "  - select the location of the image files\n"
    "  - select the \"Copy image files onto floppy disk\" radio button\n"
    "  - click \"Copy Image.\"\n"
    "\n"
    "To create image files from a floppy disk:\n"
    "  - select the floppy drive\n"
    "  - select path to the image files\n"
    "  - select \"Create image files from floppy disk\" radio button\n"
    "  - click \"Copy Image\".\n"
    "\n";

class Menus : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(app.Dialog(), nullptr) << "the main dialog did not appear";
    }

    // Waits for the About box, checks it and closes it with OK.
    void ExpectAboutBox()
    {
        const HWND about = app.Program().WaitForDialog(kAboutCaption);
        ASSERT_NE(about, nullptr) << "no About box";
        EXPECT_EQ(GetWindow(about, GW_OWNER), app.Dialog());
        const std::vector<std::string> texts = StaticTexts(about);
        EXPECT_NE(std::find(texts.begin(), texts.end(), "Vantor Trakoni Utility Version 2.0.0.1"), texts.end());
        EXPECT_EQ(WindowText(Control(about, IDOK)), "OK");
        PressButton(about, IDOK);
        ASSERT_TRUE(WaitForClose(about));
        EXPECT_TRUE(app.OtherDialogs().empty());
    }

    TrakoniSession app;
};

TEST_F(Menus, HelpShowsTheSeventeenLinesOfHelpText)
{
    Post(app.Dialog(), WM_COMMAND, ID_HELP_TEXT);
    const DialogBoxInfo box = app.WaitForBox();
    ASSERT_NE(box.window, nullptr) << "no help message";
    EXPECT_EQ(box.caption, "Trakoni");
    EXPECT_EQ(box.owner, app.Dialog());
    EXPECT_FALSE(box.hasIcon);
    // The box's text control holds the text exactly as the program passed it,
    // both final line feeds included: Wine's message box strips nothing (it
    // only sizes the box for them), so what the box holds is the program's
    // text byte for byte, and seventeen line feeds end seventeen lines.
    EXPECT_EQ(box.text, kHelpText);
    EXPECT_EQ(std::count(box.text.begin(), box.text.end(), '\n'), 17);
    EXPECT_EQ(box.text.find('\r'), std::string::npos);
    ASSERT_TRUE(app.Dismiss(box));
}

struct AboutSource {
    const char* name;
    UINT message;
    WPARAM command;
};

TEST_F(Menus, AboutBoxComesFromTheHelpMenuAndEverySystemCommandOf16To31)
{
    std::vector<AboutSource> sources = {{"Help menu About", WM_COMMAND, ID_HELP_ABOUT}};
    // The system-menu item is 16; its low four bits are ignored.
    for (WPARAM command = IDM_ABOUTBOX; command <= IDM_ABOUTBOX + 15; ++command) {
        sources.push_back({"system command", WM_SYSCOMMAND, command});
    }
    for (const auto& source : sources) {
        SCOPED_TRACE(std::string(source.name) + " " + std::to_string(source.command));
        Post(app.Dialog(), source.message, source.command);
        ASSERT_NO_FATAL_FAILURE(ExpectAboutBox());
    }
    EXPECT_TRUE(app.Program().IsRunning());
}

struct WayToClose {
    const char* name;
    void (*close)(HWND dialog);
};

void ChooseFileExit(HWND dialog) { Post(dialog, WM_COMMAND, ID_FILE_EXIT); }
void PressEscape(HWND dialog)
{
    // To the control with the focus, as the keyboard sends it.
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &thread);
    const HWND target = thread.hwndFocus != nullptr ? thread.hwndFocus : dialog;
    Post(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    Post(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}
void PressCloseBox(HWND dialog) { Post(dialog, WM_SYSCOMMAND, SC_CLOSE); }
void CloseWindow(HWND dialog) { Post(dialog, WM_CLOSE); }

TEST(Closing, EveryWayOfClosingTheDialogEndsTheProgram)
{
    const WayToClose ways[] = {
        {"File, Exit", ChooseFileExit},
        {"Escape", PressEscape},
        {"close box", PressCloseBox},
        {"WM_CLOSE", CloseWindow},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        TrakoniSession app;
        ASSERT_NE(app.Dialog(), nullptr);
        way.close(app.Dialog());
        DWORD exitCode = 0;
        ASSERT_TRUE(app.Program().WaitForExit(&exitCode)) << "the program still runs";
        EXPECT_EQ(exitCode, 0u);
    }
}

struct RenamedCopy {
    const char* file;
    const char* caption;
};

TEST(Renamed, MessageCaptionsFollowTheExecutableName)
{
    const RenamedCopy copies[] = {
        {"Imager2.exe", "Imager2"},
        {"Disk.Tool.exe", "Disk.Tool"},
    };
    const std::string folder = FreshFolder("renamed");
    for (const auto& copy : copies) {
        SCOPED_TRACE(copy.file);
        const std::string exe = folder + "\\" + copy.file;
        ASSERT_TRUE(CopyFileA(TrakoniExe().c_str(), exe.c_str(), FALSE)) << "error " << GetLastError();
        TrakoniSession app(exe);
        ASSERT_NE(app.Dialog(), nullptr) << "the main dialog keeps its caption";

        app.SetFolder(folder + "\\missing");
        app.PressCopyImage();
        DialogBoxInfo box = app.WaitForBox();
        EXPECT_EQ(box.caption, copy.caption);
        EXPECT_EQ(box.text, "The path specified is invalid");
        ASSERT_TRUE(app.Dismiss(box));

        Post(app.Dialog(), WM_COMMAND, ID_HELP_TEXT);
        box = app.WaitForBox();
        EXPECT_EQ(box.caption, copy.caption);
        ASSERT_TRUE(app.Dismiss(box));
    }
}

}  // namespace
}  // namespace ui
