#include "cli/Arguments.h"

#include "cli/Drives.h"
#include "engine/DiskRescue.h"

// What differs between the systems: what a DRIVE is, and the paths of the
// examples.
#ifdef _WIN32
#define TRAKONI_SEPARATOR "\\"
#define TRAKONI_DRIVE_TEXT "DRIVE is a letter, with or without the colon (A:, a)."
#define TRAKONI_DRIVE "A:"
#define TRAKONI_DISKS "C:\\disks\\"
#define TRAKONI_DOWNLOADS "C:\\downloads\\"
#define TRAKONI_SIGNALS "Ctrl+C stops"
#define TRAKONI_INTERRUPTED "130 interrupted"
#else
#define TRAKONI_SEPARATOR "/"
#define TRAKONI_DRIVE_TEXT \
    "DRIVE is a floppy block device (/dev/sdb, /dev/fd0) or a disk image file."
#define TRAKONI_DRIVE "/dev/sdb"
#define TRAKONI_DISKS "~/disks/"
#define TRAKONI_DOWNLOADS "~/Downloads/"
#define TRAKONI_SIGNALS "Ctrl+C (or SIGTERM) stops"
#define TRAKONI_INTERRUPTED "130 interrupted (143 by SIGTERM)"
#endif

#include "archive/Catalog.h"

const char kUsage[] =
    "Usage: trakoni-cli COMMAND ARGUMENT... [OPTION]...\n"
    "Copies a floppy disk to 80 cylinder files (cyl00.bin .. cyl79.bin) and back,\n"
    "converts such a set to one disk image file and back, shows checksums, and\n"
    "lists and copies out the files of a disk's FAT file system.\n"
    "\n"
    "  list                                      the floppy drives and their disks\n"
    "  read   DRIVE FOLDER [--verify] [--force]  disk to cylinder files\n"
    "  read   DRIVE FOLDER --rescue [--retries N] [--map FILE]\n"
    "                                            a damaged disk: all that reads\n"
    "  write  FOLDER DRIVE [--verify]            cylinder files to disk\n"
    "  pack   FOLDER IMAGE [--force]             cylinder files to one image file\n"
    "  unpack IMAGE FOLDER [--force]             image file to cylinder files\n"
    "  info   FOLDER | IMAGE | DRIVE             format, CRC32, MD5, SHA-1, SHA-256\n"
    "  map    FOLDER | MAPFILE                   every sector: + read, - unreadable,\n"
    "                                            ? not tried (from the map, or the\n"
    "                                            files' markers)\n"
    "  files  FOLDER | IMAGE | DRIVE [--deleted] [--extract DIR] [--dfxml FILE]\n"
    "         [--force]\n"
    "                                            the files of its FAT file system\n"
    "  archive DRIVE COLLECTION --id ID [--rescue [--retries N]] [--cylinders]\n"
    "          [--operator NAME] [--note TEXT] [--force]\n"
    "                                            the disk as a checked BagIt bag\n"
    "                                            COLLECTION" TRAKONI_SEPARATOR "ID, listed in catalog.tsv\n"
    "  catalog COLLECTION                        print catalog.tsv, rebuilt if stale\n"
    "  validate BAG...                           check bags as RFC 8493 defines them\n"
    "  station DRIVE COLLECTION [--rescue] [--operator NAME] [--ids FILE] [--force]\n"
    "                                            archive a box of disks one by one\n"
    "\n"
    "  --verify  read the disk once more and compare it with the files\n"
    "  --force   replace the cylinder files in FOLDER, or IMAGE\n"
    "  --quiet   no progress line and no summary\n"
    "  --rescue  read what can be read, mark unreadable sectors in the files\n"
    "            (\"TRAKONI BAD SECTOR \" repeated; sectors not tried yet hold\n"
    "            \"TRAKONI NOT READ YET \") and in a map in GNU ddrescue's format\n"
    "            (default FOLDER" TRAKONI_SEPARATOR "rescue.map); run again with the map to read\n"
    "            only what is still missing. --retries N: tries of each\n"
    "            unreadable sector after the first (default 3)\n"
    "  --help    show this text;  --version  show the version\n"
    "  --deleted    files: list the deleted entries too\n"
    "  --extract DIR  files: copy every file into DIR, folders and long names kept,\n"
    "               modification times set; a damaged file (its unreadable sectors\n"
    "               hold the rescue's markers) gets \".damaged\" added to its name;\n"
    "               a name that would leave DIR is refused, a file there is\n"
    "               replaced only with --force\n"
    "  --dfxml FILE files: also write the list as DFXML (as fiwalk writes it, with\n"
    "               MD5 and SHA-256 of each file) into FILE; an existing FILE is\n"
    "               replaced only with --force\n"
    "  --cylinders  the bag holds the 80 cylinder files, not one image\n"
    "  --ids FILE   the identifiers of the station's disks, one a line (default:\n"
    "               asked on the terminal); an empty one ends the station\n"
    "  archive exits with 3 when its two reads differ (no bag), validate when a\n"
    "  bag is not valid; archive --rescue with 4 when sectors are unreadable.\n"
    "\n"
    TRAKONI_DRIVE_TEXT "\n"
    "IMAGE holds the 80 cylinders end to end. read, pack, unpack and archive\n"
    "write under temporary names and give the result its real name only when it\n"
    "is complete. " TRAKONI_SIGNALS " a copy at the end of the current\n"
    "cylinder and says what state the target is in.\n"
    "\n"
    "Examples:\n"
    "  trakoni-cli list\n"
    "  trakoni-cli read " TRAKONI_DRIVE " " TRAKONI_DISKS "disk1 --verify\n"
    "  trakoni-cli read " TRAKONI_DRIVE " " TRAKONI_DISKS "old --rescue --retries 5\n"
    "  trakoni-cli write " TRAKONI_DISKS "disk1 " TRAKONI_DRIVE " --verify\n"
    "  trakoni-cli pack " TRAKONI_DISKS "disk1 " TRAKONI_DISKS "disk1.img\n"
    "  trakoni-cli unpack " TRAKONI_DOWNLOADS "game.img " TRAKONI_DISKS "game\n"
    "  trakoni-cli info " TRAKONI_DOWNLOADS "game.img\n"
    "  trakoni-cli files " TRAKONI_DISKS "disk1 --extract " TRAKONI_DISKS "disk1-files\n"
    "\n"
    "Exit status: 0 success; 1 the copy failed (the message says why);\n"
    "2 usage error; 3 verification found a difference; 4 a rescue left\n"
    "sectors unreadable, info found a rescue's markers, map sectors not read,\n"
    "or files lists damaged files (files: 1 when no FAT file system is found);\n"
    TRAKONI_INTERRUPTED ".\n";

namespace {

struct Syntax {
    const char* command;
    const char* operands;  // as the usage shows them
    size_t count;          // of operands
    int drive;             // the operand that is a DRIVE, or -1
    bool verify;           // takes --verify
    bool force;            // takes --force
};

const Syntax kCommands[] = {
    {"list", "", 0, -1, false, false},
    {"read", "DRIVE FOLDER", 2, 0, true, true},
    {"write", "FOLDER DRIVE", 2, 1, true, false},
    {"pack", "FOLDER IMAGE", 2, -1, false, true},
    {"unpack", "IMAGE FOLDER", 2, -1, false, true},
    {"info", "FOLDER|IMAGE|DRIVE", 1, -1, false, false},
    {"map", "FOLDER|MAPFILE", 1, -1, false, false},
    {"files", "FOLDER|IMAGE|DRIVE", 1, -1, false, true},
    {"archive", "DRIVE COLLECTION", 2, 0, false, true},
    {"catalog", "COLLECTION", 1, -1, false, false},
    {"validate", "BAG...", 1, -1, false, false},
    {"station", "DRIVE COLLECTION", 2, 0, false, true},
};

// Whether `command` is one of the blank-separated `commands`.
bool OneOf(const std::string& command, const std::string& commands)
{
    return (" " + commands + " ").find(" " + command + " ") != std::string::npos;
}

// What is wrong with the options of archiving, or an empty text.
std::string ArchiveOptionsProblem(const std::string& command, const Arguments& parsed)
{
    const struct {
        const char* option;
        bool given;
        const char* commands;
    } uses[] = {
        {"--id", parsed.idGiven, "archive"},
        {"--note", !parsed.note.empty(), "archive"},
        {"--cylinders", parsed.cylinders, "archive"},
        {"--operator", !parsed.operatorName.empty(), "archive station"},
        {"--ids", !parsed.ids.empty(), "station"},
        {"--deleted", parsed.deleted, "files"},
        {"--extract", !parsed.extract.empty(), "files"},
        {"--dfxml", !parsed.dfxml.empty(), "files"},
    };
    for (const auto& use : uses) {
        if (use.given && !OneOf(command, use.commands)) {
            return command + " takes no " + use.option;
        }
    }
    if (command == "archive") {
        return parsed.idGiven ? IdentifierProblem(parsed.id) : "archive takes --id ID";
    }
    return {};
}

// What is wrong with the command and its operands, or an empty text.
std::string CheckAgainst(const Syntax& syntax, const Arguments& parsed)
{
    const bool many = std::string(syntax.operands).find("...") != std::string::npos;
    if (many ? parsed.operands.size() < syntax.count : parsed.operands.size() != syntax.count) {
        const std::string operands = *syntax.operands ? std::string(" ") + syntax.operands : "";
        return std::string("usage: trakoni-cli ") + syntax.command + operands;
    }
    if (parsed.verify && !syntax.verify) {
        return std::string(syntax.command) + " takes no --verify";
    }
    if (parsed.force && !syntax.force) {
        return std::string(syntax.command) + " takes no --force";
    }
    if (parsed.rescue && (!OneOf(syntax.command, "read archive station") || parsed.verify)) {
        return std::string(syntax.command) + (parsed.verify ? " --rescue takes no --verify" : " takes no --rescue");
    }
    if (!parsed.rescue && (parsed.retries >= 0 || !parsed.map.empty())) {
        return "--retries and --map go with --rescue";
    }
    const std::string archiving = ArchiveOptionsProblem(syntax.command, parsed);
    if (!archiving.empty()) {
        return archiving;
    }
    return syntax.drive >= 0 ? WhyNotADriveOperand(parsed.operands[syntax.drive]) : "";
}

// 0 to 999 tries.
bool ParseRetries(const std::string& text, int& retries)
{
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    retries = std::stoi(text);
    return true;
}

}  // namespace

std::string ParseArguments(const std::vector<std::string>& words, Arguments& parsed)
{
    bool optionsEnded = false;
    for (auto at = words.begin(); at != words.end(); ++at) {
        const std::string& word = *at;
        if (optionsEnded || word.empty() || word[0] != '-' || word == "-") {
            if (parsed.command.empty()) {
                parsed.command = word;
            } else {
                parsed.operands.push_back(word);
            }
        } else if (word == "--") {
            optionsEnded = true;
        } else if (word == "--help" || word == "--version") {
            parsed = Arguments();
            parsed.command = word;
            return {};
        } else if (word == "--verify") {
            parsed.verify = true;
        } else if (word == "--force") {
            parsed.force = true;
        } else if (word == "--quiet" || word == "-q") {
            parsed.quiet = true;
        } else if (word == "--rescue") {
            parsed.rescue = true;
        } else if (word == "--map" || word == "--retries") {
            const std::string value = at + 1 != words.end() ? *++at : "";
            if (word == "--map" ? value.empty() : !ParseRetries(value, parsed.retries)) {
                return word == "--map" ? "--map takes a file" : "--retries takes a number from 0 to 999";
            }
            parsed.map = word == "--map" ? value : parsed.map;
        } else if (word == "--deleted") {
            parsed.deleted = true;
        } else if (word == "--extract" || word == "--dfxml") {
            if (at + 1 == words.end() || (at + 1)->empty()) {
                return word + (word == "--extract" ? " takes a folder" : " takes a file");
            }
            (word == "--extract" ? parsed.extract : parsed.dfxml) = *++at;
        } else if (word == "--cylinders") {
            parsed.cylinders = true;
        } else if (word == "--id" || word == "--operator" || word == "--note" || word == "--ids") {
            if (at + 1 == words.end()) {
                return word + " takes a text";
            }
            std::string& value = word == "--id" ? parsed.id : word == "--operator" ? parsed.operatorName : word == "--note" ? parsed.note : parsed.ids;
            value = *++at;
            parsed.idGiven = parsed.idGiven || word == "--id";
        } else {
            return "unrecognized option '" + word + "'";
        }
    }
    parsed.words = words;
    if (parsed.command.empty()) {
        return "missing command";
    }
    for (const Syntax& syntax : kCommands) {
        if (parsed.command == syntax.command) {
            return CheckAgainst(syntax, parsed);
        }
    }
    return "unknown command '" + parsed.command + "'";
}

int RescueRetriesOf(const Arguments& arguments)
{
    return arguments.retries >= 0 ? arguments.retries : kDefaultRescueRetries;
}

std::string CommandLineText(const Arguments& arguments)
{
    std::string line = "trakoni-cli";
    for (const std::string& word : arguments.words) {
        const bool quote = word.empty() || word.find(' ') != std::string::npos;
        line += " " + (quote ? "\"" + word + "\"" : word);
    }
    return line;
}
