// The files command: what the FAT file system of a set, an image or a disk
// holds, and a copy of its files into a folder.
#pragma once

#include <string>
#include <vector>

#include "cli/Arguments.h"

// Reads the whole disk image of a FOLDER (cylinder set), an IMAGE or a DRIVE
// into `image`. Returns an exit status; a failure has been shown.
int LoadDiskImage(const std::string& source, bool quiet, std::vector<unsigned char>& image);

// trakoni-cli files FOLDER|IMAGE|DRIVE [--deleted] [--extract DIR] [--force]
int RunFiles(const Arguments& arguments);
