// Bags on the file system through the language runtime (std::filesystem, and
// binary streams for what is written), what a bag holds read as PlainFile, the
// checksums by the system's digests.
#include "archive/BagIt.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>

#include "archive/PlainFile.h"
#include "archive/Utf8.h"
#include "digest/Digest.h"
#include "engine/ErrorMessages.h"
#include "engine/Status.h"

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
bool HashFile(PlainFile& file, const std::vector<const Algorithm*>& algorithms, std::vector<std::string>& values)
{
    std::vector<std::unique_ptr<Digest>> digests;
    for (const Algorithm* algorithm : algorithms) {
        digests.push_back(std::make_unique<Digest>(algorithm->digest));
    }
    std::vector<char> buffer(1 << 16);
    long long moved = 0;
    while ((moved = file.Read(buffer.data(), buffer.size())) > 0) {
        for (const std::unique_ptr<Digest>& digest : digests) {
            digest->Add(buffer.data(), static_cast<size_t>(moved));
        }
    }
    values.clear();
    for (const std::unique_ptr<Digest>& digest : digests) {
        values.push_back(digest->Finish());
    }
    return moved == 0 && values.front().size() > 0 && values.back().size() > 0;
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

// Whether a path from a manifest or fetch.txt would lead out of the bag:
// absolute, on a drive, through a backslash (a separator on Windows) or "..".
bool LeavesBag(const std::string& path)
{
    const bool drive = path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
    if (path.empty() || path[0] == '/' || drive || path.find('\\') != std::string::npos) {
        return true;
    }
    for (size_t first = 0; first <= path.size();) {
        const size_t end = std::min(path.find('/', first), path.size());
        if (path.compare(first, end - first, "..") == 0) {
            return true;
        }
        first = end + 1;
    }
    return false;
}

// The payload's files as manifests name them ("data/..."), in order. An
// entry that is neither a folder nor a regular file (a symbolic link above
// all, which could lead anywhere) is not followed but named in `odd`.
std::vector<std::string> PayloadFiles(const fs::path& bag, std::error_code& error,
                                      std::vector<std::string>& odd)
{
    std::set<std::string> names;
    if (fs::symlink_status(bag / "data", error).type() != fs::file_type::directory) {
        error = std::make_error_code(std::errc::not_a_directory);
        return {};
    }
    for (fs::recursive_directory_iterator at(bag / "data", error), end; !error && at != end; at.increment(error)) {
        const fs::file_type type = at->symlink_status(error).type();
        const std::string name = at->path().lexically_relative(bag).generic_string();
        if (type == fs::file_type::regular) {
            names.insert(name);
        } else if (type != fs::file_type::directory) {
            odd.push_back(name + (type == fs::file_type::symlink ? " is a symbolic link, which is not followed"
                                                                 : " is no regular file"));
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
        PlainFile plain(bag, file);
        if (!HashFile(plain, kWritten, values)) {
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

// A tag file's lines, without their ends (LF or CRLF), as RFC 8493 wants its
// text: UTF-8 without NUL bytes, and (ours) no line over kLongestLine bytes,
// so that a hostile file cannot take the memory. The first breach ends the
// reading and is its problem. Only a regular file is opened, never through a
// symbolic link.
class TagLines {
public:
    TagLines(const fs::path& bag, const std::string& name) : m_name(name), m_file(bag, name) {}

    bool Opened() const { return m_file.Why().empty(); }
    const std::string& Problem() const { return m_problem; }
    // "NAME line N", of the line last read.
    std::string Where() const { return m_name + " line " + std::to_string(m_number); }

    bool Next(std::string& line)
    {
        line.clear();
        if (!m_problem.empty() || !Opened()) {
            return false;
        }
        int c = EOF;
        ++m_number;
        while ((c = Get()) != EOF && c != '\n') {
            if (line.size() == kLongestLine) {
                return Breach("is longer than " + std::to_string(kLongestLine) + " bytes");
            }
            if (c == '\r' && Peek() != '\n') {
                return Breach("ends in a CR alone; lines end in LF or CR LF");
            }
            if (c == '\0') {
                return Breach("holds a NUL byte");
            }
            if (c != '\r') {
                line.push_back(static_cast<char>(c));
            }
        }
        if (c == EOF && line.empty()) {
            --m_number;
            return false;
        }
        return IsUtf8(line) || Breach("is not UTF-8");
    }

private:
    static constexpr size_t kLongestLine = 65536;

    // The next byte, left to be read (Get reads it); EOF at the end, and a
    // failure to read ends the file too.
    int Peek()
    {
        if (m_at == m_end) {
            const long long moved = m_file.Read(m_buffer.data(), m_buffer.size());
            m_at = 0;
            m_end = moved > 0 ? static_cast<size_t>(moved) : 0;
        }
        return m_at < m_end ? static_cast<unsigned char>(m_buffer[m_at]) : EOF;
    }
    int Get()
    {
        const int c = Peek();
        m_at += c == EOF ? 0 : 1;
        return c;
    }

    bool Breach(const std::string& why)
    {
        m_problem = Where() + " " + why;
        return false;
    }

    std::string m_name, m_problem;
    PlainFile m_file;
    std::vector<char> m_buffer = std::vector<char>(1 << 16);
    size_t m_at = 0, m_end = 0;
    int m_number = 0;
};

// The problems of one tag file: the first few in full, then only how many
// more, so that a hostile manifest cannot flood the report.
class FileProblems {
public:
    FileProblems(const std::string& name, std::vector<std::string>& problems) : m_name(name), m_problems(problems) {}
    ~FileProblems()
    {
        if (m_more > 0) {
            m_problems.push_back(m_name + ": " + std::to_string(m_more) + " more problems of this file");
        }
    }
    FileProblems(const FileProblems&) = delete;
    FileProblems& operator=(const FileProblems&) = delete;

    void Add(const std::string& problem)
    {
        if (m_shown < kShown) {
            ++m_shown;
            m_problems.push_back(problem);
        } else {
            ++m_more;
        }
    }

private:
    static constexpr size_t kShown = 20;
    std::string m_name;
    std::vector<std::string>& m_problems;
    size_t m_shown = 0, m_more = 0;
};

// "M.N": digits, a dot, digits.
bool IsVersionNumber(const std::string& text)
{
    const size_t dot = text.find('.');
    return dot != std::string::npos && dot > 0 && dot + 1 < text.size() &&
           text.find_first_not_of("0123456789") == dot &&
           text.find_first_not_of("0123456789", dot + 1) == std::string::npos;
}

void CheckDeclaration(const fs::path& bag, std::vector<std::string>& problems)
{
    TagLines lines(bag, "bagit.txt");
    if (!lines.Opened()) {
        problems.push_back("bagit.txt is missing");
        return;
    }
    const std::string version = "BagIt-Version: ", encoding = "Tag-File-Character-Encoding: ";
    std::string first, second, third;
    const bool declared = lines.Next(first) && lines.Next(second) && !lines.Next(third) &&
                          first.rfind(version, 0) == 0 && IsVersionNumber(first.substr(version.size())) &&
                          second.rfind(encoding, 0) == 0 && second.size() > encoding.size();
    if (!lines.Problem().empty()) {
        problems.push_back(lines.Problem());
    } else if (!declared) {
        problems.push_back("bagit.txt is not the two lines BagIt-Version: M.N and Tag-File-Character-Encoding: ENCODING");
    }
}

// The line's first `count` fields, separated by blanks (spaces or tabs), the
// last of them the rest of the line; fewer when there are fewer.
std::vector<std::string> Fields(const std::string& line, size_t count)
{
    std::vector<std::string> fields;
    for (size_t at = 0; at < line.size() && fields.size() < count;) {
        const size_t end = fields.size() + 1 == count ? line.size() : std::min(line.find_first_of(" \t", at), line.size());
        fields.push_back(line.substr(at, end - at));
        at = std::min(line.find_first_not_of(" \t", end), line.size());
    }
    return fields;
}

// A manifest's line: a checksum in hexadecimal digits, blanks, a path
// (encoded).
bool SplitEntry(const std::string& line, std::string& checksum, std::string& path)
{
    const std::vector<std::string> fields = Fields(line, 2);
    if (fields.size() != 2 || fields[0].empty() ||
        fields[0].find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) {
        return false;
    }
    checksum = fields[0];
    for (char& c : checksum) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    path = DecodePath(fields[1]);
    return true;
}

// Why a manifest may not list `file`, before any look at the bag: empty when
// it may.
std::string WhyNotListed(const std::string& file, bool ofPayload)
{
    if (LeavesBag(file)) {
        return "which leaves the bag";
    }
    if (ofPayload != (file.rfind("data/", 0) == 0)) {
        return ofPayload ? "which is no payload file" : "which is no tag file";
    }
    return {};
}

// One payload manifest (manifest-ALGORITHM.txt) or tag manifest
// (tagmanifest-ALGORITHM.txt): every line's file there and of its checksum,
// and for the payload every file listed. Only files found in the bag are
// opened or remembered, so nothing outside it is read and a manifest of any
// length takes memory only for the bag's own files.
void CheckManifest(const fs::path& bag, const std::string& manifest, bool ofPayload,
                   const std::vector<std::string>& payload, std::vector<std::string>& problems)
{
    const size_t prefix = ofPayload ? 9 : 12;
    const Algorithm* algorithm = AlgorithmNamed(manifest.substr(prefix, manifest.size() - prefix - 4));
    TagLines lines(bag, manifest);
    if (algorithm == nullptr || !lines.Opened()) {
        problems.push_back(manifest + (algorithm ? " cannot be read" : " is of an algorithm this program does not know"));
        return;
    }
    std::set<std::string> listed;
    {
        FileProblems found(manifest, problems);
        std::string checksum, file;
        std::vector<std::string> value;
        for (std::string line; lines.Next(line);) {
            if (line.empty()) {
                continue;
            }
            if (!SplitEntry(line, checksum, file)) {
                found.Add(lines.Where() + " is no checksum and path");
                continue;
            }
            if (const std::string why = WhyNotListed(file, ofPayload); !why.empty()) {
                found.Add(manifest + " lists " + file + ", " + why);
                continue;
            }
            PlainFile plain(bag, file);
            if (!plain.Why().empty()) {
                found.Add(manifest + " lists " + file + ", " + plain.Why());
            } else if (!listed.insert(file).second) {
                found.Add(manifest + " lists " + file + " twice");
            } else if (!HashFile(plain, {algorithm}, value)) {
                found.Add(file + " cannot be read");
            } else if (value.front() != checksum) {
                found.Add(file + " does not match its " + algorithm->shown + " in " + manifest);
            }
        }
        if (!lines.Problem().empty()) {
            found.Add(lines.Problem());
        }
        for (const std::string& file : payload) {
            if (ofPayload && listed.count(file) == 0) {
                found.Add(file + " is not in " + manifest);
            }
        }
    }
}

// fetch.txt names files to be fetched into the bag ("URL LENGTH PATH"); a
// bag is complete only once they are all there.
void CheckFetched(const fs::path& bag, std::vector<std::string>& problems)
{
    TagLines lines(bag, "fetch.txt");
    FileProblems found("fetch.txt", problems);
    for (std::string line; lines.Next(line);) {
        const std::vector<std::string> fields = Fields(line, 3);
        const std::string file = fields.size() == 3 ? DecodePath(fields[2]) : "";
        if (line.empty()) {
            continue;
        }
        if (file.empty()) {
            found.Add(lines.Where() + " is no URL, length and path");
        } else if (LeavesBag(file)) {
            found.Add("fetch.txt lists " + file + ", which leaves the bag");
        } else if (!PlainFile(bag, file).Why().empty()) {
            found.Add("fetch.txt lists " + file + ", which is not there: the bag is not complete");
        }
    }
    if (!lines.Problem().empty()) {
        found.Add(lines.Problem());
    }
}

// The fields of bag-info.txt; `problem` tells why its reading ended early.
BagTags ParseBagInfo(const fs::path& bag, std::string& problem)
{
    TagLines lines(bag, "bag-info.txt");
    BagTags tags;
    for (std::string line; lines.Next(line);) {
        const size_t colon = line.find(':');
        const size_t text = line.find_first_not_of(" \t");
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !tags.empty()) {
            tags.back().value += text == std::string::npos ? "" : " " + line.substr(text);
        } else if (colon != std::string::npos) {
            const size_t value = line.find_first_not_of(" \t", colon + 1);
            tags.push_back({line.substr(0, colon), value == std::string::npos ? "" : line.substr(value)});
        }
    }
    problem = lines.Problem();
    return tags;
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
    std::string problem;
    return ParseBagInfo(bag, problem);
}

int CompleteBag(const std::string& bagName, const BagTags& tags)
{
    const fs::path bag(bagName);
    std::error_code error;
    std::vector<std::string> odd;
    const std::vector<std::string> payload = PayloadFiles(bag, error, odd);
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
    const std::vector<std::string> payload = PayloadFiles(bag, error, problems);
    if (error) {
        problems.push_back("data/ is missing");
    }
    std::set<std::string> tagFiles;
    for (fs::directory_iterator at(bag, error), end; !error && at != end; at.increment(error)) {
        const std::string name = at->path().filename().string();
        if (at->symlink_status(error).type() == fs::file_type::symlink) {
            problems.push_back(name + " is a symbolic link, which is not followed");
        } else {
            tagFiles.insert(name);
        }
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
    if (tagFiles.count("fetch.txt") > 0) {
        CheckFetched(bag, problems);
    }
    std::string unread;
    const std::string oxum = TagValue(ParseBagInfo(bag, unread), "Payload-Oxum");
    if (!unread.empty()) {
        problems.push_back(unread);
    }
    if (!oxum.empty() && !error && oxum != Oxum(bag, payload)) {
        problems.push_back("Payload-Oxum is " + oxum + " but the payload is " + Oxum(bag, payload) +
                           " (octets.files)");
    }
    return problems;
}
