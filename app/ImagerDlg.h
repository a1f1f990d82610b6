// The main dialog: pick a floppy drive, an image folder and a direction, then
// Copy Image. It also carries the menu bar and the system-menu About item.
#pragma once

#include <string>

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/Menu.h"
#include "framework/MessageMap.h"
#include "platform/Win32.h"

// The folder last selected in a folder browser, as a file-system path; empty
// until the first selection. Shared by every browser the dialog opens.
extern char g_szBrowsePath[MAX_PATH];

// The folder browser's callback: enlarges the browser's folder tree when it
// opens, and keeps g_szBrowsePath on the current selection. Returns 0.
int CALLBACK BrowseCallbackProc(HWND hwndBrowser, UINT message, LPARAM value, LPARAM appValue);

class ImagerDlg : public Dialog {
public:
    explicit ImagerDlg(HWND parent = nullptr);
    ~ImagerDlg() override;

protected:
    void DoDataExchange(DataExchange& dx) override;
    BOOL OnInitDialog() override;
    MessageMap GetMessageMap() const override;

private:
    bool OnSysCommand(WindowMessage& msg);
    bool OnPaint(WindowMessage& msg);
    bool OnQueryDragIcon(WindowMessage& msg);
    void OnAbout();
    void OnCopyImage();
    void OnBrowse();
    void OnHelpText();
    void OnExit();
    void OnDirectionClicked();

    void AddAboutItemToSystemMenu();
    void FillDriveList();
    void ShowAboutBox();

    static const MessageMapEntry s_messageMap[];

    Menu m_menu;
    HICON m_hIcon;
    std::string m_strImagePath;
    int m_nDirection = 0;  // 0: image files onto the floppy; anything else: floppy to image files
    ComboBox m_cbDrive;
    std::string m_strDrive;
    Edit m_editImagePath;
    Button m_btnCopyImage;
};
