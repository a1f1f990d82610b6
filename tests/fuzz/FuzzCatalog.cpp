// The catalog on any catalog.tsv: a bag added to it, then the catalog checked
// against its collection's one bag, as archive and catalog do.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "archive/BagIt.h"
#include "archive/Catalog.h"

namespace fs = std::filesystem;

const fs::path kCollection = fs::temp_directory_path() / ("fuzz-collection-" + std::to_string(getpid()));

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool made = fs::create_directories(kCollection / "d1/data") &&
                             CompleteBag((kCollection / "d1").string(), {{"External-Identifier", "d1"}}) == 0 &&
                             std::atexit([] { fs::remove_all(kCollection); }) == 0;
    if (!made) {
        return 0;
    }
    std::ofstream(kCollection / "catalog.tsv", std::ios::binary).write(reinterpret_cast<const char*>(data),
                                                                        static_cast<std::streamsize>(size));
    bool rebuilt = false;
    AddToCatalog(kCollection.string(), "d1");
    RefreshCatalog(kCollection.string(), rebuilt);
    return 0;
}
