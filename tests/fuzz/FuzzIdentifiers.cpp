// The station's identifier file and the identifier check on any text. An
// identifier accepted is joined to the collection's path: it must stay one
// name in it.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "cli/Archive.h"
#include "archive/Catalog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::istringstream file(std::string(reinterpret_cast<const char*>(data), size));
    std::string id;
    while (NextIdentifier(file, false, id)) {
        const std::filesystem::path path = std::filesystem::path("collection") / id;
        if (IdentifierProblem(id).empty() &&
            (path.parent_path() != "collection" || path.filename() != id || id == "." || id == "..")) {
            std::abort();
        }
    }
    return 0;
}
