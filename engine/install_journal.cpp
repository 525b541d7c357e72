#include "engine/install_journal.h"

#include <climits>
#include <cstdint>
#include <map>
#include <memory>

#include "platform/ascii_text.h"

namespace mivetrak {

namespace {

constexpr char kBegin[] = "begin";
constexpr char kSwitch[] = "switch";
constexpr char kDone[] = "done";
constexpr char kLineEnd[] = "\r\n";
// A journal holds a few lines; more than this is not one of ours and is not read.
constexpr size_t kMaxJournalBytes = 1024 * 1024;

// FNV-1a: enough to tell a line that was written whole from one that was not.
uint32_t Checksum(const std::string& text) {
    uint32_t hash = 2166136261u;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

std::string Hex(uint32_t value) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out(8, '0');
    for (int i = 7; i >= 0; --i) {
        out[static_cast<size_t>(i)] = kDigits[value & 0xF];
        value >>= 4;
    }
    return out;
}

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(
            text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return parts;
        start = end + separator.size();
    }
}

// The fields of a line whose checksum holds; none for any other line.
std::vector<std::string> Fields(const std::string& line) {
    const size_t tab = line.rfind('\t');
    if (tab == std::string::npos) return {};
    const std::string body = line.substr(0, tab);
    if (line.substr(tab + 1) != Hex(Checksum(body))) return {};
    return Split(body, "\t");
}

bool ToNumber(const std::string& text, int& value) {
    uint32_t parsed = 0;
    // Below INT_MAX, so that the number after the last one read still fits.
    if (!ParseDecimal(text, parsed) || parsed >= static_cast<uint32_t>(INT_MAX)) return false;
    value = static_cast<int>(parsed);
    return true;
}

// A 64-bit number in hex, without leading zeros.
std::string HexText(uint64_t value) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return out;
}

// "serial:index" in hex, or "" for none.
std::string IdentityText(const std::optional<FileIdentity>& identity) {
    if (!identity) return std::string();
    std::string index = Hex(static_cast<uint32_t>(identity->fileIndex >> 32)) +
                        Hex(static_cast<uint32_t>(identity->fileIndex));
    return Hex(identity->volumeSerial) + ":" + index;
}

bool HexNumber(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 16) return false;
    value = 0;
    for (const char c : text) {
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return false;
        value = value * 16 + static_cast<uint64_t>(digit);
    }
    return true;
}

bool ParseIdentity(const std::string& text, std::optional<FileIdentity>& identity) {
    identity.reset();
    if (text.empty()) return true;
    const size_t colon = text.find(':');
    uint64_t serial = 0;
    uint64_t index = 0;
    if (colon == std::string::npos || !HexNumber(text.substr(0, colon), serial) ||
        serial > 0xFFFFFFFFu || !HexNumber(text.substr(colon + 1), index)) {
        return false;
    }
    identity = FileIdentity{static_cast<uint32_t>(serial), index};
    return true;
}

// A begin line's fields as a record; false when one of them cannot be read.
bool ReadBegin(const std::vector<std::string>& fields, int number, JournalRecord& record) {
    uint64_t length = 0;
    if (!HexNumber(fields[5], length) || !ParseIdentity(fields[7], record.oldCopy)) return false;
    record.number = number;
    record.target = fields[2];
    record.side = fields[3];
    record.backup = fields[4];
    record.length = length;
    record.sha256 = fields[6];
    return true;
}

struct Replayed {
    JournalRecord record;
    bool done = false;
};

// Every valid line of the journal, in order, applied to the records they name.
std::map<int, Replayed> Replay(const std::string& text) {
    std::map<int, Replayed> records;
    for (const std::string& line : Split(text, kLineEnd)) {
        const std::vector<std::string> fields = Fields(line);
        int number = 0;
        if (fields.size() < 2 || !ToNumber(fields[1], number)) continue;
        JournalRecord begun;
        if (fields[0] == kBegin && fields.size() == 8 && ReadBegin(fields, number, begun)) {
            records[number].record = begun;
        } else if (fields[0] == kSwitch && records.count(number) != 0) {
            records[number].record.switching = true;
        } else if (fields[0] == kDone && records.count(number) != 0) {
            records[number].done = true;
        }
    }
    return records;
}

std::string Line(const std::vector<std::string>& fields) {
    std::string body;
    for (const std::string& field : fields) {
        if (!body.empty()) body += '\t';
        body += field;
    }
    return body + '\t' + Hex(Checksum(body));
}

}  // namespace

InstallJournal::InstallJournal(FileSystem& files, const std::string& workFolder)
    : files_(files), path_(workFolder + kInstallJournalFileName) {}

bool InstallJournal::ReadText(std::string& text) {
    text.clear();
    if (!PathExists(files_, path_)) return true;
    SystemError error;
    return ReadSmallFile(files_, path_, kMaxJournalBytes, text, error);
}

bool InstallJournal::ReadOpenRecords(std::vector<JournalRecord>& open) {
    open.clear();
    std::string text;
    if (!ReadText(text)) return false;
    for (const auto& item : Replay(text)) {
        if (!item.second.done) open.push_back(item.second.record);
    }
    return true;
}

bool InstallJournal::Append(const std::string& line) {
    SystemError error;
    std::unique_ptr<File> file = files_.OpenFile(path_, FileOpenMode::AppendShareRead, error);
    if (!file) return false;
    // The line end in front closes a line that an earlier run may have left unfinished.
    const std::string bytes = kLineEnd + line + kLineEnd;
    return file->Write(bytes.data(), bytes.size(), error) && file->Flush();
}

bool InstallJournal::Begin(JournalRecord& record) {
    std::string text;
    if (!ReadText(text)) return false;
    const std::map<int, Replayed> known = Replay(text);
    record.number = known.empty() ? 0 : known.rbegin()->first + 1;
    record.switching = false;
    return Append(
        Line({kBegin, std::to_string(record.number), record.target, record.side, record.backup,
              HexText(record.length), record.sha256, IdentityText(record.oldCopy)}));
}

bool InstallJournal::MarkSwitching(JournalRecord& record) {
    if (!Append(Line({kSwitch, std::to_string(record.number)}))) return false;
    record.switching = true;
    return true;
}

bool InstallJournal::MarkDone(const JournalRecord& record) {
    if (!Append(Line({kDone, std::to_string(record.number)}))) return false;
    std::vector<JournalRecord> open;
    if (ReadOpenRecords(open) && open.empty()) {
        SystemError error;
        files_.RemoveFile(path_, error);  // a journal with nothing open left over is harmless
    }
    return true;
}

}  // namespace mivetrak
