#include "archive/Dfxml.h"

#include <sstream>

#include "archive/Utf8.h"
#include "digest/Digest.h"
#include "trakoni/Version.h"

namespace {

// Our own elements and attributes; a reader of DFXML skips what it does not know.
constexpr char kOwnNamespace[] = "urn:x-trakoni:dfxml:1";

}  // namespace

std::string XmlEscaped(const std::string& text)
{
    std::string out;
    for (size_t at = 0; at < text.size();) {
        char32_t code = 0;
        const size_t length = Utf8Length(text, at, code);
        const bool legal = length > 0 && (code >= 0x20 || code == '\t' || code == '\n' || code == '\r') &&
                           code != 0xFFFE && code != 0xFFFF;
        if (!legal) {
            out += "\xEF\xBF\xBD";
            at += length > 0 ? length : 1;
            continue;
        }
        switch (code) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\'': out += "&apos;"; break;
        case '"': out += "&quot;"; break;
        default: out.append(text, at, length);
        }
        at += length;
    }
    return out;
}

namespace {

uint64_t RunBytes(const FatFile& file)
{
    uint64_t total = 0;
    for (const ByteRun& run : file.runs) {
        total += run.bytes;
    }
    return total;
}

// A time with its precision in seconds, as fiwalk writes FAT's: two
// seconds, and a day for the access date.
void WriteTime(std::ostringstream& out, const char* name, const FatTimestamp& stamp, int precision)
{
    const std::string text = FormatFatIso(stamp);
    if (!text.empty()) {
        out << "      <" << name << " prec=\"" << precision << "\">" << text << "</" << name << ">\n";
    }
}

void WriteHashes(std::ostringstream& out, const FatFile& file, const unsigned char* image)
{
    Digest md5(DigestAlgorithm::Md5);
    Digest sha256(DigestAlgorithm::Sha256);
    for (const ByteRun& run : file.runs) {
        md5.Add(image + run.offset, run.bytes);
        sha256.Add(image + run.offset, run.bytes);
    }
    if (md5.Ready() && sha256.Ready()) {
        out << "      <hashdigest type='md5'>" << md5.Finish() << "</hashdigest>\n";
        out << "      <hashdigest type='sha256'>" << sha256.Finish() << "</hashdigest>\n";
    }
}

void WriteFileObject(std::ostringstream& out, const FatFile& file, size_t id, const unsigned char* image)
{
    out << "    <fileobject>\n";
    out << "      <filename>" << XmlEscaped(file.path) << "</filename>\n";
    out << "      <partition>1</partition>\n";
    out << "      <id>" << id << "</id>\n";
    out << "      <name_type>" << (file.IsFolder() ? 'd' : 'r') << "</name_type>\n";
    // As fiwalk: a folder's size is that of its clusters.
    out << "      <filesize>" << (file.IsFolder() ? RunBytes(file) : file.size) << "</filesize>\n";
    out << (file.allocated ? "      <alloc>1</alloc>\n" : "      <unalloc>1</unalloc>\n");
    out << "      <meta_type>" << (file.IsFolder() ? 2 : 1) << "</meta_type>\n";
    WriteTime(out, "mtime", file.modified, 2);
    WriteTime(out, "atime", file.accessed, 86400);
    WriteTime(out, "crtime", file.created, 2);
    if (!file.runs.empty()) {
        out << "      <byte_runs>\n";
        uint64_t fileOffset = 0;
        for (const ByteRun& run : file.runs) {
            out << "       <byte_run file_offset='" << fileOffset << "' fs_offset='" << run.offset
                << "' img_offset='" << run.offset << "' len='" << run.bytes << "'/>\n";
            fileOffset += run.bytes;
        }
        out << "      </byte_runs>\n";
    }
    WriteHashes(out, file, image);
    if (file.Damaged()) {
        out << "      <trakoni:damaged sectors='";
        for (size_t i = 0; i < file.damagedSectors.size(); ++i) {
            out << (i > 0 ? " " : "") << file.damagedSectors[i];
        }
        out << "'/>\n";
    }
    out << "    </fileobject>\n";
}

}  // namespace

std::string WriteDfxml(const FatReport& report, const unsigned char* image, size_t bytes,
                       const DfxmlSource& source)
{
    std::ostringstream out;
    out << "<?xml version='1.0' encoding='UTF-8'?>\n"
           "<dfxml\n"
           "  xmlns='http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML'\n"
           "  xmlns:dc='http://purl.org/dc/elements/1.1/'\n"
           "  xmlns:trakoni='" << kOwnNamespace << "'\n"
           "  version='1.0'>\n"
           "  <metadata>\n"
           "    <dc:type>Disk Image</dc:type>\n"
           "  </metadata>\n"
           "  <creator version='1.0'>\n"
           "    <program>trakoni-cli</program>\n"
           "    <version>" TRAKONI_VERSION_STRING "</version>\n"
           "    <execution_environment>\n"
           "      <command_line>" << XmlEscaped(source.commandLine) << "</command_line>\n"
           "    </execution_environment>\n"
           "  </creator>\n"
           "  <source>\n"
           "    <image_filename>" << XmlEscaped(source.imageName) << "</image_filename>\n"
           "    <image_size>" << bytes << "</image_size>\n"
           "  </source>\n";
    if (report.found) {
        // As fiwalk counts them: the blocks the boot sector describes, which
        // may be more or fewer than the image holds.
        const uint64_t blocks = report.describedSectors;
        out << "  <volume offset='0'>\n"
               "    <partition_offset>0</partition_offset>\n"
               "    <sector_size>" << report.blockBytes << "</sector_size>\n"
               "    <block_size>" << report.blockBytes << "</block_size>\n"
               "    <ftype_str>" << report.type << "</ftype_str>\n"
               "    <block_count>" << blocks << "</block_count>\n"
               "    <first_block>0</first_block>\n"
               "    <last_block>" << (blocks > 0 ? blocks - 1 : 0) << "</last_block>\n";
        if (!report.label.empty()) {
            out << "    <trakoni:label>" << XmlEscaped(report.label) << "</trakoni:label>\n";
        }
        for (size_t i = 0; i < report.files.size(); ++i) {
            WriteFileObject(out, report.files[i], i + 1, image);
        }
        out << "  </volume>\n";
    }
    for (const std::string& problem : report.problems) {
        out << "  <trakoni:problem>" << XmlEscaped(problem) << "</trakoni:problem>\n";
    }
    out << "</dfxml>\n";
    return out.str();
}
