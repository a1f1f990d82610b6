// Which drives the imaging operations can work on: every drive the platform
// types as removable. No test is made that it really is a floppy drive, nor
// that a disk is in it; opening the drive tells.
#include <ostream>
#include <string>

#include "engine/Imager.h"
#include "drive/win32/FloppyPlatform.h"

std::string FindFloppyDrives(std::ostream& trace)
{
    FloppyPlatform& platform = CurrentPlatform();
    std::string letters;
    DWORD mask = platform.GetLogicalDrives();
    // Bits above Z name no drive letter.
    for (int i = 0; i < 26; ++i, mask >>= 1) {
        if ((mask & 1) == 0) {
            continue;
        }
        const char letter = static_cast<char>('A' + i);
        const std::string root = std::string(1, letter) + ":\\";
        trace << letter << std::endl;
        if (platform.GetDriveTypeA(root.c_str()) == DRIVE_REMOVABLE) {
            letters += letter;
        }
    }
    return letters;
}
