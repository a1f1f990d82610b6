#include "app/ImagerDlg.h"

#include "platform/Win32.h"
#include <shlobj.h>
#include <shlwapi.h>

#include <iostream>

#include "app/AboutDlg.h"
#include "app/res/resource.h"
#include "engine/Imager.h"
#include "framework/Scoped.h"

char g_szBrowsePath[MAX_PATH] = "";

namespace {

const char kHelpText[] =
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

// The file of the lowest cylinder missing from `folder`, or empty when all 80
// are there. Existence only: size and kind are the engine's to check.
std::string FirstMissingCylinderFile(const std::string& folder)
{
    for (int cylinder = 0; cylinder < kCylinderCount; ++cylinder) {
        const std::string name = CylinderFileName(folder, cylinder);
        if (!::PathFileExistsA(name.c_str())) {
            return name;
        }
    }
    return {};
}

// The browser's tree is small by default; where it is a direct child of the
// browser window, give it room. Elsewhere the browser keeps its own layout.
void EnlargeFolderTree(HWND browser)
{
    const HWND tree = ::FindWindowExA(browser, nullptr, "SysTreeView32", nullptr);
    if (!tree) {
        return;
    }
    RECT browserRect;
    RECT treeRect;
    ::GetWindowRect(browser, &browserRect);
    ::GetWindowRect(tree, &treeRect);
    ::SetWindowPos(tree, nullptr, treeRect.left - browserRect.left,
                   treeRect.top - browserRect.top - 20, 290, 170, 0);
}

// The Copy Image button stays disabled and the wait cursor up while one copy
// runs, so a second copy cannot start from this dialog; both come back on
// every way out.
class CopyInProgress {
public:
    CopyInProgress(Dialog& dialog, const Button& button) : m_dialog(dialog), m_button(button)
    {
        m_dialog.BeginWaitCursor();
        m_button.EnableWindow(false);
    }
    ~CopyInProgress() { End(); }
    CopyInProgress(const CopyInProgress&) = delete;
    CopyInProgress& operator=(const CopyInProgress&) = delete;

    void End()
    {
        if (m_ended) {
            return;
        }
        m_ended = true;
        m_button.EnableWindow(true);
        m_dialog.EndWaitCursor();
    }

private:
    Dialog& m_dialog;
    const Button& m_button;
    bool m_ended = false;
};

}  // namespace

int CALLBACK BrowseCallbackProc(HWND hwndBrowser, UINT message, LPARAM value, LPARAM)
{
    switch (message) {
    case BFFM_INITIALIZED:
        EnlargeFolderTree(hwndBrowser);
        break;
    case BFFM_SELCHANGED:
        ::SHGetPathFromIDListA(reinterpret_cast<PCIDLIST_ABSOLUTE>(value), g_szBrowsePath);
        break;
    default:
        break;
    }
    return 0;
}

const MessageMapEntry ImagerDlg::s_messageMap[] = {
    {WM_SYSCOMMAND, kAnyId, &ImagerDlg::OnSysCommand},
    {WM_PAINT, kAnyId, &ImagerDlg::OnPaint},
    {WM_QUERYDRAGICON, kAnyId, &ImagerDlg::OnQueryDragIcon},
    {WM_COMMAND, ID_HELP_ABOUT, &ImagerDlg::OnAbout},
    {WM_COMMAND, IDC_COPY_IMAGE, &ImagerDlg::OnCopyImage},
    {WM_COMMAND, IDC_BROWSE, &ImagerDlg::OnBrowse},
    {WM_COMMAND, ID_HELP_TEXT, &ImagerDlg::OnHelpText},
    {WM_COMMAND, ID_FILE_EXIT, &ImagerDlg::OnExit},
    {WM_COMMAND, IDC_FROM_FLOPPY, &ImagerDlg::OnDirectionClicked},
    {WM_COMMAND, IDC_TO_FLOPPY, &ImagerDlg::OnDirectionClicked},
};

ImagerDlg::ImagerDlg(HWND parent)
    : Dialog(IDD_MAIN, parent),
      m_hIcon(::LoadIconA(ResourceModule(), MAKEINTRESOURCEA(IDR_MAINICON)))
{
}

ImagerDlg::~ImagerDlg() = default;

MessageMap ImagerDlg::GetMessageMap() const
{
    return s_messageMap;
}

void ImagerDlg::DoDataExchange(DataExchange& dx)
{
    dx.Text(IDC_IMAGE_PATH, m_strImagePath);
    dx.Radio(IDC_TO_FLOPPY, m_nDirection);
    dx.Control(IDC_DRIVE, m_cbDrive);
    dx.ComboText(IDC_DRIVE, m_strDrive);
    dx.Control(IDC_IMAGE_PATH, m_editImagePath);
    dx.Control(IDC_COPY_IMAGE, m_btnCopyImage);
}

BOOL ImagerDlg::OnInitDialog()
{
    Dialog::OnInitDialog();

    if (m_menu.Load(ResourceModule(), IDR_MAINMENU)) {
        m_menu.SetAsMenuBar(GetHwnd());
    }
    AddAboutItemToSystemMenu();

    ::SendMessageA(GetHwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(GetHwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    FillDriveList();
    return TRUE;  // the focus goes to the first tab stop, the drive list
}

void ImagerDlg::AddAboutItemToSystemMenu()
{
    const HMENU systemMenu = ::GetSystemMenu(GetHwnd(), FALSE);
    if (!systemMenu) {
        return;
    }
    const std::string about = LoadResourceString(IDS_ABOUTBOX);
    if (!about.empty()) {
        ::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }
}

// The list is filled once; the combo sorts its items.
void ImagerDlg::FillDriveList()
{
    // The drive trace goes to the program's standard output, lost when it
    // has none.
    const std::string letters = FindFloppyDrives(std::cout);
    for (const char letter : letters) {
        m_cbDrive.AddString(std::string{letter, ':'});
    }
    if (!letters.empty()) {
        m_cbDrive.SetCurSel(0);
    } else {
        MessageBox("No floppy drives were detected.");
    }
}

void ImagerDlg::OnCopyImage()
{
    CopyInProgress copy(*this, m_btnCopyImage);
    UpdateData(DataDirection::ToMembers);

    if (!::PathIsDirectoryA(m_strImagePath.c_str())) {
        copy.End();
        MessageBox("The path specified is invalid");
        return;
    }

    // The drive text is "A:" and the like; with no drive listed it is empty
    // and the letter NUL, which the engine reports on.
    const char letter = m_strDrive.c_str()[0];
    int status;
    if (m_nDirection != 0) {
        status = CopyDiskToFiles(letter, m_strImagePath);
    } else {
        const std::string missing = FirstMissingCylinderFile(m_strImagePath);
        if (!missing.empty()) {
            copy.End();
            MessageBox("File " + missing + " does not exist.  Imaging aborted.");
            return;
        }
        status = CopyFilesToDisk(letter, m_strImagePath);
    }

    // Any other status has been reported by the engine already.
    if (status == EngineStatus::Success) {
        MessageBox("Copy Successful", "Complete");
    }
}

void ImagerDlg::OnBrowse()
{
    const ComApartment com;
    ComPtr<IMalloc> allocator;
    if (FAILED(::SHGetMalloc(allocator.Receive()))) {
        return;
    }

    char displayName[MAX_PATH] = "";
    BROWSEINFOA info{};
    info.pszDisplayName = displayName;
    info.lpszTitle = "Select the folder:";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseCallbackProc;

    const ItemIdList chosen(*allocator.Get(), ::SHBrowseForFolderA(&info));
    if (!chosen) {
        return;  // cancelled: nothing changes
    }
    // Only the folder is written back. Writing every member to its control
    // would put the direction back to the last value read (at first "Copy
    // image files onto floppy disk"), and the next Copy Image could overwrite
    // the floppy the user meant to save.
    m_strImagePath = g_szBrowsePath;
    m_editImagePath.SetWindowText(m_strImagePath);
}

bool ImagerDlg::OnPaint(WindowMessage&)
{
    if (!::IsIconic(GetHwnd())) {
        return false;
    }
    const PaintDC dc(GetHwnd());
    ::SendMessageA(GetHwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetHandle()), 0);

    const int iconWidth = ::GetSystemMetrics(SM_CXICON);
    const int iconHeight = ::GetSystemMetrics(SM_CYICON);
    RECT client;
    ::GetClientRect(GetHwnd(), &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    ::DrawIcon(dc.GetHandle(), x, y, m_hIcon);
    return true;
}

bool ImagerDlg::OnQueryDragIcon(WindowMessage& msg)
{
    msg.result = reinterpret_cast<LRESULT>(m_hIcon);
    return true;
}

bool ImagerDlg::OnSysCommand(WindowMessage& msg)
{
    // The system keeps the low four bits of a command id for itself.
    if ((msg.wParam & 0xFFF0) == IDM_ABOUTBOX) {
        ShowAboutBox();
        return true;
    }
    return false;
}

void ImagerDlg::OnAbout()
{
    ShowAboutBox();
}

void ImagerDlg::ShowAboutBox()
{
    AboutDlg about;
    about.DoModal();
}

void ImagerDlg::OnHelpText()
{
    MessageBox(kHelpText);
}

void ImagerDlg::OnExit()
{
    OnOK();
}

// The buttons check themselves; the direction is read at Copy Image.
void ImagerDlg::OnDirectionClicked() {}
