// validate on any tag file: the input's first line names one (bagit.txt,
// bag-info.txt, a manifest, a tag manifest, fetch.txt), the rest is its text,
// put for one run into a bag of one payload file made at the start.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "archive/BagIt.h"

namespace fs = std::filesystem;

const fs::path kBag = fs::temp_directory_path() / ("fuzz-bag-" + std::to_string(getpid()));
const std::string kTagFiles[] = {"bagit.txt", "bag-info.txt", "manifest-sha256.txt", "tagmanifest-md5.txt", "fetch.txt"};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool made = fs::create_directories(kBag / "data") && std::ofstream(kBag / "data/f.txt") << "text\n" &&
                             CompleteBag(kBag.string(), {}) == 0 && std::atexit([] { fs::remove_all(kBag); }) == 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string name = input.substr(0, input.find('\n'));
    if (!made || std::find(std::begin(kTagFiles), std::end(kTagFiles), name) == std::end(kTagFiles)) {
        return 0;
    }
    std::ifstream in(kBag / name, std::ios::binary);
    const bool existed = in.is_open();
    const std::string original(std::istreambuf_iterator<char>(in), {});
    in.close();
    std::ofstream(kBag / name, std::ios::binary) << input.substr(std::min(input.size(), name.size() + 1));
    ValidateBag(kBag.string());
    ReadBagInfo(kBag.string());
    if (existed) {
        std::ofstream(kBag / name, std::ios::binary) << original;
    } else {
        fs::remove(kBag / name);
    }
    return 0;
}
