#include "drive/FloppyDrive.h"

FloppyDrive::FloppyDrive(char letter) : devicePath("\\\\.\\")
{
    devicePath += letter;
    devicePath += ':';
    if (letter != '\0') {
        name += letter;
    }
    name += ':';
}

FloppyDrive FloppyDrive::AtPath(const std::string& path)
{
    FloppyDrive drive;
    drive.devicePath = path;
    drive.name = path;
    return drive;
}
