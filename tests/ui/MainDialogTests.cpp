// The main dialog driven through its windows: the drive list, the checks
// Copy Image makes before it touches a disk, whole copies of the virtual
// 1.44 MB floppy in both directions, an engine failure, and the folder browser.
#include "tests/ui/TrakoniSession.h"

#include "app/res/resource.h"

#include <gtest/gtest.h>
#include <commctrl.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace ui {
namespace {

constexpr char kAppName[] = "Trakoni";

class MainDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(app.Dialog(), nullptr) << "the main dialog \"" << kMainCaption << "\" did not appear";
    }

    // Presses Copy Image and checks the one box that follows. The engine's
    // boxes have no owner and show the error icon; the dialog's neither.
    DialogBoxInfo CopyImageShows(const std::string& caption, const std::string& text, HWND owner)
    {
        app.PressCopyImage();
        DialogBoxInfo box = app.WaitForBox();
        EXPECT_NE(box.window, nullptr) << "Copy Image showed no message";
        EXPECT_EQ(box.caption, caption);
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.owner, owner);
        EXPECT_EQ(box.hasIcon, owner == nullptr);
        return box;
    }

    // "Copy Successful" under "Complete" while the button is still disabled.
    void CopyImageSucceeds()
    {
        const DialogBoxInfo box = CopyImageShows("Complete", "Copy Successful", app.Dialog());
        EXPECT_FALSE(app.CopyImageEnabled()) << "Copy Image is enabled before the success message is dismissed";
        ASSERT_TRUE(app.Dismiss(box));
        EXPECT_TRUE(app.WaitForCopyImageEnabled());
    }

    TrakoniSession app;
};

TEST_F(MainDialog, ListsOnlyTheFloppyDrivesSortedWithTheFirstSelected)
{
    // The prefix has floppies A:, B: and E: (E: of no floppy size) and a
    // CD-ROM D:, besides the hard disk C: and the host's Z:.
    const HWND drives = app.Control(IDC_DRIVE);
    EXPECT_EQ(ComboItems(drives), (std::vector<std::string>{"A:", "B:", "E:"}));
    EXPECT_EQ(ComboSelection(drives), 0);
    EXPECT_TRUE(app.OtherDialogs().empty()) << "a message was shown at start";
    // The search writes every existing drive to standard output, one a line.
    EXPECT_EQ(Lines(app.Program().StandardOutput()), (std::vector<std::string>{"A", "B", "C", "D", "E", "Z"}));
    EXPECT_TRUE(IsChecked(app.Control(IDC_TO_FLOPPY)));
    EXPECT_FALSE(IsChecked(app.Control(IDC_FROM_FLOPPY)));
    EXPECT_EQ(app.Folder(), "");
    EXPECT_TRUE(app.CopyImageEnabled());
}

struct InvalidFolderCase {
    const char* name;
    std::string folder;
};

TEST_F(MainDialog, RejectsAFolderThatIsNotAnExistingDirectory)
{
    const std::string existing = FreshFolder("invalid");
    const std::string file = existing + "\\not-a-folder.bin";
    ASSERT_TRUE(WriteWholeFile(file, {1, 2, 3}));
    const InvalidFolderCase cases[] = {
        {"empty text", ""},
        {"missing folder", existing + "\\missing"},
        {"a file", file},
    };
    for (const auto& c : cases) {
        for (int direction : {IDC_TO_FLOPPY, IDC_FROM_FLOPPY}) {
            SCOPED_TRACE(std::string(c.name) + (direction == IDC_TO_FLOPPY ? ", to floppy" : ", from floppy"));
            app.ChooseDirection(direction);
            app.SetFolder(c.folder);
            const DialogBoxInfo box = CopyImageShows(kAppName, "The path specified is invalid", app.Dialog());
            EXPECT_TRUE(app.CopyImageEnabled()) << "Copy Image must be enabled again before the message";
            ASSERT_TRUE(app.Dismiss(box));
            EXPECT_TRUE(app.CopyImageEnabled());
            EXPECT_EQ(app.Folder(), c.folder);
            EXPECT_TRUE(app.OtherDialogs().empty());
        }
    }
}

struct MissingFileCase {
    const char* name;
    const char* folderSuffix;   // appended to the folder text the user types
    const char* nameSeparator;  // between the folder and "cyl42.bin" in the message
};

TEST_F(MainDialog, NamesTheLowestMissingCylinderFileAndLeavesTheFloppyAlone)
{
    const std::string folder = FreshFolder("missing");
    for (int cylinder = 0; cylinder < 42; ++cylinder) {
        ASSERT_TRUE(WriteWholeFile(CylinderFile(folder, cylinder), Pattern(kBytesPerCylinder, 0, cylinder)));
    }
    // Later files present too: the lowest missing one is named, not the last.
    ASSERT_TRUE(WriteWholeFile(CylinderFile(folder, 43), Pattern(kBytesPerCylinder, 0, 43)));
    const Bytes disk = ReadWholeFile(FloppyImageOf('A'));
    ASSERT_EQ(disk.size(), kCylinders * kBytesPerCylinder);

    // A trailing backslash stays in the folder text, so the name gets two.
    const MissingFileCase cases[] = {
        {"folder as typed", "", "\\"},
        {"folder with a trailing backslash", "\\", "\\\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app.SetFolder(folder + c.folderSuffix);
        const DialogBoxInfo box = CopyImageShows(
            kAppName, "File " + folder + c.nameSeparator + "cyl42.bin does not exist.  Imaging aborted.", app.Dialog());
        EXPECT_TRUE(app.CopyImageEnabled());
        ASSERT_TRUE(app.Dismiss(box));
        EXPECT_TRUE(app.OtherDialogs().empty());
    }
    EXPECT_TRUE(ReadWholeFile(FloppyImageOf('A')) == disk) << "the floppy was written";
}

TEST_F(MainDialog, CopiesTheWholeFloppyToFilesAndBackByteForByte)
{
    const std::string disk = FloppyImageOf('A');
    const std::string folder = FreshFolder("copy");
    const Bytes original = Pattern(kCylinders * kBytesPerCylinder, 0, 1);
    ASSERT_TRUE(WriteWholeFile(disk, original));
    ASSERT_EQ(ComboItems(app.Control(IDC_DRIVE)).at(ComboSelection(app.Control(IDC_DRIVE))), "A:");

    app.SetFolder(folder);
    app.ChooseDirection(IDC_FROM_FLOPPY);
    ASSERT_NO_FATAL_FAILURE(CopyImageSucceeds());
    for (int cylinder = 0; cylinder < kCylinders; ++cylinder) {
        SCOPED_TRACE("cylinder " + std::to_string(cylinder));
        const auto from = original.begin() + static_cast<ptrdiff_t>(cylinder * kBytesPerCylinder);
        ASSERT_TRUE(ReadWholeFile(CylinderFile(folder, cylinder)) ==
                    Bytes(from, from + kBytesPerCylinder));
    }
    ASSERT_FALSE(FileExists(CylinderFile(folder, 80)));

    // New content in every file, so a cylinder left unwritten shows.
    Bytes expected;
    for (int cylinder = 0; cylinder < kCylinders; ++cylinder) {
        Bytes file = Pattern(kBytesPerCylinder, 0, 1000 + cylinder);
        ASSERT_TRUE(WriteWholeFile(CylinderFile(folder, cylinder), file));
        expected.insert(expected.end(), file.begin(), file.end());
    }
    app.ChooseDirection(IDC_TO_FLOPPY);
    ASSERT_NO_FATAL_FAILURE(CopyImageSucceeds());
    EXPECT_TRUE(ReadWholeFile(disk) == expected) << "the floppy does not hold the 80 files in order";

    // Files already in the folder are overwritten without a question.
    const Bytes changed = Pattern(kCylinders * kBytesPerCylinder, 0, 2);
    ASSERT_TRUE(WriteWholeFile(disk, changed));
    app.ChooseDirection(IDC_FROM_FLOPPY);
    ASSERT_NO_FATAL_FAILURE(CopyImageSucceeds());
    const auto last = changed.end() - static_cast<ptrdiff_t>(kBytesPerCylinder);
    EXPECT_TRUE(ReadWholeFile(CylinderFile(folder, 79)) == Bytes(last, changed.end()));
}

TEST_F(MainDialog, ReportsADriveInUseOnceAndEnablesCopyImageAgain)
{
    const std::string folder = FreshFolder("in-use");
    const KernelHandle held = OpenVolume('A');
    ASSERT_TRUE(held.IsValid()) << "the test could not open drive A: itself, error " << GetLastError();

    app.SetFolder(folder);
    app.ChooseDirection(IDC_FROM_FLOPPY);
    const DialogBoxInfo box = CopyImageShows("ERROR", "Drive is currently in use", nullptr);
    EXPECT_TRUE(IsWindowEnabled(app.Dialog())) << "an owner-less box leaves the dialog enabled";
    EXPECT_FALSE(app.CopyImageEnabled()) << "Copy Image is enabled while the copy still runs";
    ASSERT_TRUE(app.Dismiss(box));

    // The command ends with the button enabled; any second box would have
    // come up before that.
    std::vector<HWND> others;
    ASSERT_TRUE(WaitUntil([&] {
        others = app.OtherDialogs();
        return !others.empty() || app.CopyImageEnabled();
    }));
    EXPECT_TRUE(others.empty()) << "a second message followed: " << Describe(others.front()).text;
    EXPECT_TRUE(app.WaitForCopyImageEnabled());
    EXPECT_FALSE(FileExists(CylinderFile(folder, 0)));
}

// The folder browser of this Wine: a dialog of the program holding a tree.
class FolderBrowser {
public:
    explicit FolderBrowser(TrakoniSession& app) : m_app(app)
    {
        m_window = app.WaitForBox().window;
    }
    HWND Window() const { return m_window; }
    HWND Tree() const { return FindWindowExA(m_window, nullptr, "SysTreeView32", nullptr); }

    // Selects a folder as the user would, by its path; the path is read in
    // the program's address space, so it is copied there first.
    bool Select(const std::string& path)
    {
        // This Wine's browser finds the folder by comparing item ids that
        // hold each folder's last access time, once from the path and once
        // from listing the parent. The first listing of a folder changed
        // shortly before moves that time (relatime), and the two ids no longer
        // match; so every folder on the path is listed once beforehand.
        for (size_t end = path.find('\\'); end != std::string::npos; end = path.find('\\', end + 1)) {
            FolderEntries(path.substr(0, end));
        }
        FolderEntries(path);
        void* remote = m_app.Program().CopyIntoProgram(path);
        // The browser answers nothing; a folder found is a new tree selection.
        LRESULT before = 0;
        LRESULT after = 0;
        return remote != nullptr && SendW(Tree(), TVM_GETNEXTITEM, TVGN_CARET, 0, &before) &&
               Send(m_window, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(remote)) &&
               SendW(Tree(), TVM_GETNEXTITEM, TVGN_CARET, 0, &after) && after != before;
    }
    bool Press(int id)
    {
        PressButton(m_window, id);
        return WaitForClose(m_window) && Sync(m_app.Dialog());
    }

private:
    TrakoniSession& m_app;
    HWND m_window = nullptr;
};

// Cancelled, the browser changes nothing; confirmed, only the folder.
TEST_F(MainDialog, BrowseChangesOnlyTheFolder)
{
    const std::string chosen = FreshFolder("browse-chosen");
    const HWND drives = app.Control(IDC_DRIVE);
    for (const int button : {IDCANCEL, IDOK}) {
        SCOPED_TRACE(button == IDOK ? "OK" : "Cancel");
        app.SetFolder("typed by the user");
        app.ChooseDirection(IDC_FROM_FLOPPY);
        ASSERT_TRUE(SendW(drives, CB_SETCURSEL, 1, 0));

        PostClick(app.Control(IDC_BROWSE));
        FolderBrowser browser(app);
        ASSERT_NE(browser.Window(), nullptr) << "Browse... opened no folder browser";
        EXPECT_NE(browser.Tree(), nullptr) << "the browser's tree is not a direct child";
        ASSERT_TRUE(browser.Select(chosen));
        ASSERT_TRUE(browser.Press(button));

        EXPECT_EQ(app.Folder(), button == IDOK ? chosen : "typed by the user");
        EXPECT_TRUE(IsChecked(app.Control(IDC_FROM_FLOPPY))) << "Browse... changed the direction";
        EXPECT_FALSE(IsChecked(app.Control(IDC_TO_FLOPPY)));
        EXPECT_EQ(ComboSelection(drives), 1) << "Browse... changed the drive";
        EXPECT_TRUE(app.OtherDialogs().empty());
    }
}

}  // namespace
}  // namespace ui
