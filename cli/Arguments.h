// The command line taken apart: trakoni-cli COMMAND OPERAND... [OPTION]...
#pragma once

#include <string>
#include <vector>

struct Arguments {
    std::string command;  // list, read, write, pack, unpack, info, files, archive, catalog, validate, station, --help or --version
    std::vector<std::string> operands;
    bool verify = false;
    bool force = false;
    bool quiet = false;
    bool rescue = false;  // read around bad sectors
    int retries = -1;     // of a rescue; -1: the default
    std::string map;      // of a rescue; empty: FOLDER\rescue.map
    // Of an archive and the station.
    bool idGiven = false;
    std::string id, operatorName, note, ids;
    bool cylinders = false;  // the cylinder files in the bag, not one image
    // Of files.
    bool deleted = false;  // list the deleted entries too
    std::string extract;   // the folder the files are copied into; empty: none
    std::string dfxml;     // the file the list is written to as DFXML; empty: none
    std::vector<std::string> words;  // the command line as given
};

// Fills `parsed` from the words after the program's name. Returns what is
// wrong with them, or an empty text.
std::string ParseArguments(const std::vector<std::string>& words, Arguments& parsed);

// The tries of each unreadable sector after the first: --retries N, or the
// rescue's default.
int RescueRetriesOf(const Arguments& arguments);

// The command line as a log or a DFXML records it: "trakoni-cli WORD...",
// a word with a blank (or none) in quotes.
std::string CommandLineText(const Arguments& arguments);

// The text of --help.
extern const char kUsage[];
