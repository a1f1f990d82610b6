// The parts of the dialog framework that need no window: which handler a
// message reaches, and the application name taken from the executable.
#include <gtest/gtest.h>

#include "framework/MessageMap.h"
#include "framework/WinApp.h"

namespace {

class MapDialog : public Dialog {
public:
    MapDialog() : Dialog(0) {}
    void OnButton() {}
    void OnMenu() {}
    void OnOtherButton() {}
    bool OnSysCommand(WindowMessage&) { return true; }
    bool OnSecondSysCommand(WindowMessage&) { return true; }

    static const MessageMapEntry s_map[];
};

const MessageMapEntry MapDialog::s_map[] = {
    {WM_SYSCOMMAND, kAnyId, &MapDialog::OnSysCommand},
    {WM_COMMAND, 1007, &MapDialog::OnButton},
    {WM_COMMAND, 32773, &MapDialog::OnMenu},
    {WM_COMMAND, 1004, &MapDialog::OnOtherButton},
    {WM_SYSCOMMAND, kAnyId, &MapDialog::OnSecondSysCommand},
};

TEST(MessageMap, ReachesTheFirstEntryForTheMessage)
{
    struct Case {
        UINT message;
        WPARAM wParam;
        int entry;  // index into the table, -1 for none
    };
    const Case cases[] = {
        {WM_COMMAND, MAKEWPARAM(1007, BN_CLICKED), 1},
        {WM_COMMAND, MAKEWPARAM(32773, 0), 2},
        {WM_COMMAND, MAKEWPARAM(1004, BN_CLICKED), 3},
        // Notifications other than a click or menu command are not commands.
        {WM_COMMAND, MAKEWPARAM(1007, BN_SETFOCUS), -1},
        {WM_COMMAND, MAKEWPARAM(1004, BN_DOUBLECLICKED), -1},
        {WM_COMMAND, MAKEWPARAM(1000, CBN_SELCHANGE), -1},
        {WM_COMMAND, MAKEWPARAM(1005, BN_CLICKED), -1},
        // Any other message matches whatever its parameters; the first entry wins.
        {WM_SYSCOMMAND, 0x10, 0},
        {WM_SYSCOMMAND, SC_CLOSE, 0},
        {WM_PAINT, 0, -1},
    };
    const MessageMap map(MapDialog::s_map);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.message << " " << LOWORD(c.wParam) << "/"
                                        << HIWORD(c.wParam));
        const MessageMapEntry* found = FindMessageHandler(map, c.message, c.wParam);
        EXPECT_EQ(found, c.entry < 0 ? nullptr : &MapDialog::s_map[c.entry]);
    }
    EXPECT_EQ(FindMessageHandler(MessageMap(), WM_COMMAND, 1007), nullptr);
}

TEST(ApplicationName, IsTheExecutablesBaseNameWithoutExtension)
{
    const struct {
        const char* path;
        const char* name;
    } cases[] = {
        {"C:\\Tools\\Trakoni.exe", "Trakoni"},
        {"Z:\\tmp\\Imager2.EXE", "Imager2"},
        {"C:\\Tools\\Disk.Tool.exe", "Disk.Tool"},
        {"C:\\v1.2\\Trakoni", "Trakoni"},
        {"C:Trakoni.exe", "Trakoni"},
        {"Trakoni.exe", "Trakoni"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BaseNameWithoutExtension(c.path), c.name) << c.path;
    }
}

}  // namespace
