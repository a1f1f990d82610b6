// A file list in DFXML, as The Sleuth Kit's fiwalk writes it for a FAT
// image: the schema's element names for everything it has, our own namespace
// (prefix "trakoni") for what it has not, such as a file the damage hit.
#pragma once

#include <cstddef>
#include <string>

#include "archive/FatVolume.h"

// Text from the disk or the command line as XML character data: the five
// special characters escaped, and what XML 1.0 cannot hold at all (control
// characters, U+FFFE and U+FFFF, bytes that are no UTF-8) as U+FFFD.
std::string XmlEscaped(const std::string& text);

struct DfxmlSource {
    std::string imageName;    // the image's file name, as <image_filename>
    std::string commandLine;  // the program's, as <command_line>
};

// The whole document for `report` of `image`: a creator (program, version,
// command line), the source, one volume with its file system's type, block
// size and count, and one fileobject per entry of the report with its path,
// size, allocation, times, byte runs, and MD5 and SHA-256 of its content.
// Everything taken from the disk is escaped for XML.
std::string WriteDfxml(const FatReport& report, const unsigned char* image, size_t bytes,
                       const DfxmlSource& source);
