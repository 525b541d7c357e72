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
    if (!ParseDecimal(text, parsed) || parsed > static_cast<uint32_t>(INT_MAX)) return false;
    value = static_cast<int>(parsed);
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
        if (fields[0] == kBegin && fields.size() == 5) {
            Replayed& entry = records[number];
            entry.record.number = number;
            entry.record.target = fields[2];
            entry.record.side = fields[3];
            entry.record.backup = fields[4];
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
    return file->Write(bytes.data(), bytes.size()) && file->Flush();
}

bool InstallJournal::Begin(JournalRecord& record) {
    std::string text;
    if (!ReadText(text)) return false;
    const std::map<int, Replayed> known = Replay(text);
    record.number = known.empty() ? 0 : known.rbegin()->first + 1;
    record.switching = false;
    return Append(
        Line({kBegin, std::to_string(record.number), record.target, record.side, record.backup}));
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
