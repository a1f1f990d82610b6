// The catalog of a collection of bags, COLLECTION/catalog.tsv: a header line
// and one tab-separated line per bag, each taken from fields of the bag's
// bag-info.txt, so that the bags alone can always rebuild it. Two programs
// archiving into one collection take turns through the system's lock on the
// file COLLECTION/.catalog.lock; the catalog is written under a temporary name
// and renamed into place, so it is never seen half-written.
#pragma once

#include <functional>
#include <string>
#include <vector>

// The columns, in order: each a heading and the bag-info.txt label it is
// taken from.
struct CatalogColumn {
    const char* heading;
    const char* label;
};
extern const std::vector<CatalogColumn> kCatalogColumns;

// Why `id` cannot name a bag: empty, a path separator, "." or "..", no
// portable file name (letters, digits, '.', '_' and '-', not first a '.' or
// '-', no device name of Windows), or a name the collection uses itself.
// Empty when it can.
std::string IdentifierProblem(const std::string& id);

// Told the lock file's path once when another program holds it, before this
// one waits for it (a minute at most).
using LockWaiting = std::function<void(const std::string& lockFile)>;

// Puts the line of the bag `id` into the catalog of `collection`, in place of
// any line of that id. A missing catalog is made from all the bags there.
// Returns Success, or Failure after its message.
int AddToCatalog(const std::string& collection, const std::string& id, const LockWaiting& waiting = {});

// Rebuilds the catalog from the bags when it is missing or its lines are not
// those of the bags (stale); `rebuilt` tells whether it did. Returns Success,
// or Failure after its message.
int RefreshCatalog(const std::string& collection, bool& rebuilt, const LockWaiting& waiting = {});
