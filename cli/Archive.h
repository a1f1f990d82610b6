// The archiving station: each disk one checked BagIt bag in a collection
// folder, listed in the collection's catalog, and the station that archives
// a box of disks one after the other.
#pragma once

#include <istream>
#include <string>

#include "cli/Arguments.h"

// archive DRIVE COLLECTION --id ID: reads the disk twice (or rescues it) and
// makes the bag COLLECTION/ID. Exits with 0, 4 for a bag of a disk with
// unreadable sectors, 3 when the two reads differ, 1 or 130; only with 0 and 4
// is there a bag.
int RunArchive(const Arguments& arguments);
// catalog COLLECTION: prints catalog.tsv, rebuilt first when missing or stale.
int RunCatalog(const Arguments& arguments);
// validate BAG...: prints each problem of each bag; 3 when any bag is invalid.
int RunValidate(const Arguments& arguments);
// station DRIVE COLLECTION: archives disk after disk until no identifier
// comes, then prints a summary.
int RunStation(const Arguments& arguments);
// The station's next identifier, from the file or (`asking`, after a prompt)
// the terminal, without its line end (LF or CRLF); false at the end or at an
// empty line.
bool NextIdentifier(std::istream& source, bool asking, std::string& id);
