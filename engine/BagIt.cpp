// Bags on the file system through the language runtime (std::filesystem and
// binary streams), their checksums by the system's digests.
#include "engine/BagIt.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>

#include "engine/DriveSession.h"
#include "engine/Status.h"
#include "platform/Digest.h"

namespace fs = std::filesystem;

namespace {

struct Algorithm {
    DigestAlgorithm digest;
    const char* name;   // in the manifest's file name
    const char* shown;  // in a problem
};
const Algorithm kMd5{DigestAlgorithm::Md5, "md5", "MD5"};
const Algorithm kSha1{DigestAlgorithm::Sha1, "sha1", "SHA-1"};
const Algorithm kSha256{DigestAlgorithm::Sha256, "sha256", "SHA-256"};
const Algorithm kSha512{DigestAlgorithm::Sha512, "sha512", "SHA-512"};
// The manifests our bags carry.
const std::vector<const Algorithm*> kWritten = {&kSha256, &kSha512};

const Algorithm* AlgorithmNamed(const std::string& name)
{
    for (const Algorithm* algorithm : {&kMd5, &kSha1, &kSha256, &kSha512}) {
        if (name == algorithm->name) {
            return algorithm;
        }
    }
    return nullptr;
}

// The digests of a file, one per algorithm, over one read of it; false when
// it cannot be read or hashed.
bool HashFile(const fs::path& file, const std::vector<const Algorithm*>& algorithms,
              std::vector<std::string>& values)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<std::unique_ptr<Digest>> digests;
    for (const Algorithm* algorithm : algorithms) {
        digests.push_back(std::make_unique<Digest>(algorithm->digest));
    }
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        for (const std::unique_ptr<Digest>& digest : digests) {
            digest->Add(buffer.data(), static_cast<size_t>(in.gcount()));
        }
    }
    values.clear();
    for (const std::unique_ptr<Digest>& digest : digests) {
        values.push_back(digest->Finish());
    }
    return in.eof() && !in.bad() && values.front().size() > 0 && values.back().size() > 0;
}

// A manifest names a file by its path in the bag, with CR, LF and % encoded.
std::string EncodePath(const std::string& path)
{
    std::string encoded;
    for (const char c : path) {
        encoded += c == '%' ? "%25" : c == '\r' ? "%0D" : c == '\n' ? "%0A" : std::string(1, c);
    }
    return encoded;
}

std::string DecodePath(const std::string& path)
{
    std::string decoded;
    for (size_t at = 0; at < path.size(); ++at) {
        const std::string code = path.substr(at, 3);
        const char c = code == "%25" ? '%' : (code == "%0D" || code == "%0d") ? '\r' : (code == "%0A" || code == "%0a") ? '\n' : '\0';
        decoded += c != '\0' ? c : path[at];
        at += c != '\0' ? 2 : 0;
    }
    return decoded;
}

// A path that stays inside the bag: relative, without "..".
bool InsideBag(const std::string& path)
{
    const fs::path parsed(path);
    if (path.empty() || parsed.has_root_name() || parsed.has_root_directory()) {
        return false;
    }
    for (const fs::path& part : parsed) {
        if (part == "..") {
            return false;
        }
    }
    return true;
}

// The payload's files as manifests name them ("data/..."), in order.
std::vector<std::string> PayloadFiles(const fs::path& bag, std::error_code& error)
{
    std::set<std::string> names;
    for (fs::recursive_directory_iterator at(bag / "data", error), end; !error && at != end; at.increment(error)) {
        if (at->is_regular_file(error)) {
            names.insert(at->path().lexically_relative(bag).generic_string());
        }
    }
    return std::vector<std::string>(names.begin(), names.end());
}

// "OCTETS.COUNT" of the files.
std::string Oxum(const fs::path& bag, const std::vector<std::string>& files)
{
    uintmax_t octets = 0;
    for (const std::string& file : files) {
        std::error_code error;
        const uintmax_t size = fs::file_size(bag / file, error);
        octets += error ? 0 : size;
    }
    return std::to_string(octets) + "." + std::to_string(files.size());
}

bool WriteText(const fs::path& file, const std::string& text)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        ShowEngineError("Could not write " + file.string());
    }
    return static_cast<bool>(out);
}

// PREFIX-sha256.txt and PREFIX-sha512.txt of `files`; false after a message.
bool WriteManifests(const fs::path& bag, const std::vector<std::string>& files, const std::string& prefix)
{
    std::vector<std::string> texts(kWritten.size());
    for (const std::string& file : files) {
        std::vector<std::string> values;
        if (!HashFile(bag / file, kWritten, values)) {
            ShowEngineError("Could not read " + (bag / file).string());
            return false;
        }
        for (size_t i = 0; i < kWritten.size(); ++i) {
            texts[i] += values[i] + "  " + EncodePath(file) + "\n";
        }
    }
    for (size_t i = 0; i < kWritten.size(); ++i) {
        if (!WriteText(bag / (prefix + kWritten[i]->name + ".txt"), texts[i])) {
            return false;
        }
    }
    return true;
}

// A field's value on one line.
std::string OneLine(std::string value)
{
    for (char& c : value) {
        c = c == '\r' || c == '\n' ? ' ' : c;
    }
    return value;
}

// The lines of a text file without their ends (LF or CRLF).
bool ReadLines(const fs::path& file, std::vector<std::string>& lines)
{
    std::ifstream in(file, std::ios::binary);
    lines.clear();
    for (std::string line; in && std::getline(in, line);) {
        lines.push_back(!line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line);
    }
    return in.eof() && !in.bad();
}

void CheckDeclaration(const fs::path& bag, std::vector<std::string>& problems)
{
    std::vector<std::string> lines;
    if (!ReadLines(bag / "bagit.txt", lines)) {
        problems.push_back("bagit.txt is missing");
        return;
    }
    static const std::regex version("BagIt-Version: [0-9]+\\.[0-9]+");
    static const std::regex encoding("Tag-File-Character-Encoding: .+");
    if (lines.size() != 2 || !std::regex_match(lines[0], version) || !std::regex_match(lines[1], encoding)) {
        problems.push_back("bagit.txt is not the two lines BagIt-Version: M.N and Tag-File-Character-Encoding: ENCODING");
    }
}

// One payload manifest (manifest-ALGORITHM.txt) or tag manifest
// (tagmanifest-ALGORITHM.txt): every line's file there and of its checksum,
// and for the payload every file listed.
void CheckManifest(const fs::path& bag, const std::string& manifest, bool ofPayload,
                   const std::vector<std::string>& payload, std::vector<std::string>& problems)
{
    const size_t prefix = ofPayload ? 9 : 12;
    const Algorithm* algorithm = AlgorithmNamed(manifest.substr(prefix, manifest.size() - prefix - 4));
    std::vector<std::string> lines;
    if (algorithm == nullptr || !ReadLines(bag / manifest, lines)) {
        problems.push_back(manifest + (algorithm ? " cannot be read" : " is of an algorithm this program does not know"));
        return;
    }
    std::set<std::string> listed;
    static const std::regex entry("([0-9A-Fa-f]+)[ \t]+(.+)");
    std::smatch parts;
    for (const std::string& line : lines) {
        if (line.empty()) {
            continue;
        }
        if (!std::regex_match(line, parts, entry)) {
            problems.push_back(manifest + " holds a line that is no checksum and path: " + line);
            continue;
        }
        const std::string file = DecodePath(parts[2]);
        std::string checksum = parts[1];
        for (char& c : checksum) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        std::vector<std::string> value;
        listed.insert(file);
        if (!InsideBag(file) || ofPayload != (file.rfind("data/", 0) == 0)) {
            problems.push_back(manifest + " lists " + file + (ofPayload ? ", which is no payload file" : ", which is no tag file"));
        } else if (!fs::is_regular_file(bag / file)) {
            problems.push_back(manifest + " lists " + file + ", which does not exist");
        } else if (!HashFile(bag / file, {algorithm}, value)) {
            problems.push_back(file + " cannot be read");
        } else if (value.front() != checksum) {
            problems.push_back(file + " does not match its " + algorithm->shown + " in " + manifest);
        }
    }
    for (const std::string& file : payload) {
        if (ofPayload && listed.count(file) == 0) {
            problems.push_back(file + " is not in " + manifest);
        }
    }
}

}  // namespace

std::string TagValue(const BagTags& tags, const std::string& label)
{
    for (const BagTag& tag : tags) {
        if (tag.label == label) {
            return tag.value;
        }
    }
    return {};
}

BagTags ReadBagInfo(const std::string& bag)
{
    std::vector<std::string> lines;
    BagTags tags;
    ReadLines(fs::path(bag) / "bag-info.txt", lines);
    for (const std::string& line : lines) {
        const size_t colon = line.find(':');
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !tags.empty()) {
            tags.back().value += " " + line.substr(line.find_first_not_of(" \t"));
        } else if (colon != std::string::npos) {
            const size_t value = line.find_first_not_of(" \t", colon + 1);
            tags.push_back({line.substr(0, colon), value == std::string::npos ? "" : line.substr(value)});
        }
    }
    return tags;
}

int CompleteBag(const std::string& bagName, const BagTags& tags)
{
    const fs::path bag(bagName);
    std::error_code error;
    const std::vector<std::string> payload = PayloadFiles(bag, error);
    if (error) {
        ShowEngineError("Could not read the folder " + (bag / "data").string());
        return EngineStatus::Failure;
    }
    std::string info;
    for (const BagTag& tag : tags) {
        info += tag.label + ": " + OneLine(tag.value) + "\n";
    }
    info += "Payload-Oxum: " + Oxum(bag, payload) + "\n";
    const bool complete =
        WriteText(bag / "bagit.txt", "BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n") &&
        WriteText(bag / "bag-info.txt", info) && WriteManifests(bag, payload, "manifest-") &&
        WriteManifests(bag, {"bagit.txt", "bag-info.txt", "manifest-sha256.txt", "manifest-sha512.txt"}, "tagmanifest-");
    return complete ? EngineStatus::Success : EngineStatus::Failure;
}

std::vector<std::string> ValidateBag(const std::string& bagName)
{
    const fs::path bag(bagName);
    std::vector<std::string> problems;
    CheckDeclaration(bag, problems);
    std::error_code error;
    const std::vector<std::string> payload = PayloadFiles(bag, error);
    if (error) {
        problems.push_back("data/ is missing");
    }
    std::set<std::string> tagFiles;
    for (fs::directory_iterator at(bag, error), end; !error && at != end; at.increment(error)) {
        tagFiles.insert(at->path().filename().string());
    }
    bool payloadManifest = false;
    static const std::regex manifest("(tag)?manifest-[a-z0-9]+\\.txt");
    for (const std::string& name : tagFiles) {
        if (std::regex_match(name, manifest)) {
            payloadManifest = payloadManifest || name[0] == 'm';
            CheckManifest(bag, name, name[0] == 'm', payload, problems);
        }
    }
    if (!payloadManifest) {
        problems.push_back("no payload manifest (manifest-ALGORITHM.txt) is there");
    }
    const std::string oxum = TagValue(ReadBagInfo(bagName), "Payload-Oxum");
    if (!oxum.empty() && !error && oxum != Oxum(bag, payload)) {
        problems.push_back("Payload-Oxum is " + oxum + " but the payload is " + Oxum(bag, payload) +
                           " (octets.files)");
    }
    return problems;
}
