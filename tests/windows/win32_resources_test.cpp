// The built program and resource library as Windows sees them: the executable's icon group,
// version block, manifest and imports; the library's dialog template, icon, and that it holds
// no code to run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "resources/resource_ids.h"
#include "windows/windows_test_support.h"

namespace mivetrak {
namespace {

std::string ExePath() { return test::BinFolder() + "Mivetrak.exe"; }
std::string LibraryPath() { return test::BinFolder() + "Mivetrak.rsl"; }

// A module mapped for its resources only: nothing of it runs.
class ResourceModule {
public:
    explicit ResourceModule(const std::string& path)
        : module_(LoadLibraryExA(path.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~ResourceModule() {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;
    HMODULE Get() const { return module_; }

    // The bytes of a resource, or empty when there is none.
    std::vector<uint8_t> Resource(LPCSTR type, int id) const {
        const HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
        if (found == nullptr) return {};
        const HGLOBAL loaded = LoadResource(module_, found);
        const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
        if (data == nullptr) return {};
        const auto* bytes = static_cast<const uint8_t*>(data);
        return std::vector<uint8_t>(bytes, bytes + SizeofResource(module_, found));
    }

private:
    HMODULE module_;
};

// Little-endian reader over a resource's bytes; fails the test instead of reading past the end.
class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    bool Ok() const { return ok_; }
    size_t Offset() const { return offset_; }
    void Align4() { offset_ = (offset_ + 3) & ~size_t{3}; }
    uint8_t Byte() { return static_cast<uint8_t>(Take(1)); }
    uint16_t Word() { return static_cast<uint16_t>(Take(2)); }
    uint32_t Dword() { return static_cast<uint32_t>(Take(4)); }
    void Skip(size_t count) {
        if (offset_ + count > bytes_.size()) ok_ = false;
        offset_ = std::min(offset_ + count, bytes_.size());
    }
    // A string-or-ordinal of a dialog template: ordinal as "#n", text as ASCII.
    std::string StringOrOrdinal() {
        const uint16_t first = Word();
        if (first == 0) return std::string();
        if (first == 0xFFFF) return "#" + std::to_string(Word());
        std::string text(1, static_cast<char>(first));
        for (uint16_t c = Word(); ok_ && c != 0; c = Word()) text += static_cast<char>(c);
        return text;
    }

private:
    uint64_t Take(size_t count) {
        if (offset_ + count > bytes_.size()) {
            ok_ = false;
            return 0;
        }
        uint64_t value = 0;
        for (size_t i = 0; i < count; ++i) value |= uint64_t{bytes_[offset_ + i]} << (8 * i);
        offset_ += count;
        return value;
    }
    const std::vector<uint8_t>& bytes_;
    size_t offset_ = 0;
    bool ok_ = true;
};

struct IconEntry {
    int size;
    int bitCount;
    bool operator<(const IconEntry& other) const {
        return size != other.size ? size < other.size : bitCount < other.bitCount;
    }
    bool operator==(const IconEntry& other) const {
        return size == other.size && bitCount == other.bitCount;
    }
};

void PrintTo(const IconEntry& entry, std::ostream* out) {
    *out << entry.size << "px/" << entry.bitCount << "bit";
}

std::set<IconEntry> IconGroup(const ResourceModule& module) {
    const std::vector<uint8_t> group = module.Resource(RT_GROUP_ICON, IDI_PROGRAM);
    Reader reader(group);
    std::set<IconEntry> entries;
    reader.Word();  // reserved
    if (reader.Word() != 1) return entries;
    const uint16_t count = reader.Word();
    for (uint16_t i = 0; i < count && reader.Ok(); ++i) {
        const int width = reader.Byte();
        const int height = reader.Byte();
        reader.Skip(4);  // colour count, reserved, planes
        const int bitCount = reader.Word();
        reader.Skip(6);  // bytes in resource, icon id
        if (reader.Ok() && width == height) entries.insert({width == 0 ? 256 : width, bitCount});
    }
    return entries;
}

const std::set<IconEntry> kNineImages = {{16, 4},  {16, 8}, {16, 32}, {32, 4}, {32, 8},
                                         {32, 32}, {48, 4}, {48, 8},  {48, 32}};

TEST(Win32ResourcesTest, ExecutableIconGroupHasNineImages) {
    const ResourceModule exe(ExePath());
    ASSERT_NE(exe.Get(), nullptr);
    EXPECT_EQ(IconGroup(exe), kNineImages);
    // And the system can make an icon of it.
    const HICON icon = static_cast<HICON>(
        LoadImageA(exe.Get(), MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON, 32, 32, 0));
    EXPECT_NE(icon, nullptr);
    if (icon != nullptr) DestroyIcon(icon);
}

TEST(Win32ResourcesTest, LibraryIconGroupHasNineImages) {
    const ResourceModule library(LibraryPath());
    ASSERT_NE(library.Get(), nullptr);
    EXPECT_EQ(IconGroup(library), kNineImages);
}

std::string VersionString(const std::vector<uint8_t>& info, const char* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueA(info.data(), query.c_str(), &value, &length) || value == nullptr) {
        return "<missing>";
    }
    return std::string(static_cast<const char*>(value));
}

TEST(Win32ResourcesTest, ExecutableVersionBlock) {
    const std::string path = ExePath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<uint8_t> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", &value, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);  // 1.0
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00010005u);  // .1.5
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00010005u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    const auto* translation = static_cast<const WORD*>(value);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);

    EXPECT_EQ(VersionString(info, "FileVersion"), "1.0.1.5");
    EXPECT_EQ(VersionString(info, "ProductVersion"), "1.0.1.5");
    EXPECT_EQ(VersionString(info, "InternalName"), "Mivetrak.exe");
    EXPECT_EQ(VersionString(info, "OriginalFilename"), "Mivetrak.exe");
    EXPECT_EQ(VersionString(info, "ProductName"), "Mivetrak");
    EXPECT_EQ(VersionString(info, "CompanyName"), "Orvanta");
    for (const char* name : {"FileDescription", "LegalCopyright"}) {
        const std::string text = VersionString(info, name);
        EXPECT_NE(text, "<missing>") << name;
        EXPECT_FALSE(text.empty()) << name;
    }
}

TEST(Win32ResourcesTest, ExecutableManifestRunsAsInvokerWithCommonControls) {
    const ResourceModule exe(ExePath());
    ASSERT_NE(exe.Get(), nullptr);
    // CREATEPROCESS_MANIFEST_RESOURCE_ID, the manifest that the loader applies to the process.
    constexpr int kProcessManifestId = 1;
    const std::vector<uint8_t> bytes = exe.Resource(RT_MANIFEST, kProcessManifestId);
    ASSERT_FALSE(bytes.empty());
    const std::string manifest(bytes.begin(), bytes.end());
    for (const char* part :
         {"level=\"asInvoker\"", "uiAccess=\"false\"", "processorArchitecture=\"x86\"",
          "name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"}) {
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
}

struct DialogItem {
    uint32_t style;
    uint32_t id;
    std::string windowClass;
};

struct Dialog {
    uint32_t style = 0;
    std::string font;
    std::vector<DialogItem> items;
};

bool ParseDialogEx(const std::vector<uint8_t>& bytes, Dialog& dialog) {
    Reader reader(bytes);
    if (reader.Word() != 1 || reader.Word() != 0xFFFF) return false;  // DLGTEMPLATEEX
    reader.Dword();                                                   // help id
    reader.Dword();                                                   // extended style
    dialog.style = reader.Dword();
    const uint16_t count = reader.Word();
    reader.Skip(8);            // x, y, cx, cy
    reader.StringOrOrdinal();  // menu
    reader.StringOrOrdinal();  // class
    reader.StringOrOrdinal();  // title
    if (dialog.style & (DS_SETFONT | DS_FIXEDSYS)) {
        reader.Skip(6);  // point size, weight, italic, character set
        dialog.font = reader.StringOrOrdinal();
    }
    for (uint16_t i = 0; i < count && reader.Ok(); ++i) {
        reader.Align4();
        DialogItem item;
        reader.Dword();  // help id
        reader.Dword();  // extended style
        item.style = reader.Dword();
        reader.Skip(8);
        item.id = reader.Dword();
        item.windowClass = reader.StringOrOrdinal();
        reader.StringOrOrdinal();    // title
        reader.Skip(reader.Word());  // creation data
        dialog.items.push_back(item);
    }
    return reader.Ok();
}

TEST(Win32ResourcesTest, ProgressDialogTemplate) {
    const ResourceModule library(LibraryPath());
    ASSERT_NE(library.Get(), nullptr);
    Dialog dialog;
    ASSERT_TRUE(ParseDialogEx(library.Resource(RT_DIALOG, IDD_PROGRESS), dialog));
    EXPECT_NE(dialog.style & DS_CENTER, 0u);
    EXPECT_NE(dialog.style & WS_MINIMIZEBOX, 0u);
    EXPECT_NE(dialog.style & WS_SYSMENU, 0u);
    EXPECT_EQ(dialog.style & WS_CAPTION, static_cast<uint32_t>(WS_CAPTION));
    EXPECT_EQ(dialog.font, "MS Shell Dlg");

    auto find = [&](uint32_t id) -> const DialogItem* {
        for (const DialogItem& item : dialog.items) {
            if (item.id == id) return &item;
        }
        return nullptr;
    };
    const DialogItem* bar = find(IDC_PROGRESS_BAR);
    ASSERT_NE(bar, nullptr);
    std::string barClass = bar->windowClass;
    std::transform(barClass.begin(), barClass.end(), barClass.begin(),
                   [](char c) { return static_cast<char>(std::tolower(c)); });
    EXPECT_EQ(barClass, "msctls_progress32");
    const char* kStatic = "#130";  // the predefined static class
    const char* kButton = "#128";  // the predefined button class
    ASSERT_NE(find(IDC_STATUS_TEXT), nullptr);
    EXPECT_EQ(find(IDC_STATUS_TEXT)->windowClass, kStatic);
    ASSERT_NE(find(IDC_PERCENT_TEXT), nullptr);
    EXPECT_EQ(find(IDC_PERCENT_TEXT)->windowClass, kStatic);
    ASSERT_NE(find(IDCANCEL), nullptr);
    EXPECT_EQ(find(IDCANCEL)->windowClass, kButton);
    EXPECT_EQ(dialog.items.size(), 4u);
}

// The machine type of an Intel 80386 image, and the optional header's magic number of PE32 (as
// opposed to PE32+, the 64-bit format).
constexpr uint16_t kMachineI386 = 0x14C;
constexpr uint16_t kPe32Magic = 0x10B;

// Names of the DLLs that a 32-bit Intel PE file imports, read from its headers; false when it
// cannot be read or is not a PE32 image for the Intel 80386.
bool ImportedDlls(const std::string& path, std::vector<std::string>& names, uint32_t& entryPoint) {
    std::string file;
    if (!test::ReadWholeFile(path, file)) return false;
    const std::vector<uint8_t> bytes(file.begin(), file.end());
    Reader header(bytes);
    header.Skip(0x3C);
    const uint32_t peOffset = header.Dword();
    Reader pe(bytes);
    pe.Skip(peOffset);
    if (pe.Dword() != 0x00004550) return false;  // "PE\0\0"
    if (pe.Word() != kMachineI386) return false;
    const uint16_t sections = pe.Word();
    pe.Skip(12);
    const uint16_t optionalSize = pe.Word();
    pe.Skip(2);
    const size_t optionalStart = pe.Offset();
    if (pe.Word() != kPe32Magic) return false;
    pe.Skip(14);
    entryPoint = pe.Dword();
    Reader directories(bytes);
    directories.Skip(optionalStart + 96 + 8);  // data directory 1 of PE32: imports
    const uint32_t importRva = directories.Dword();
    struct Section {
        uint32_t rva, size, offset;
    };
    std::vector<Section> table;
    Reader sectionReader(bytes);
    sectionReader.Skip(optionalStart + optionalSize);
    for (uint16_t i = 0; i < sections; ++i) {
        sectionReader.Skip(8);
        const uint32_t virtualSize = sectionReader.Dword();
        const uint32_t rva = sectionReader.Dword();
        const uint32_t rawSize = sectionReader.Dword();
        const uint32_t rawOffset = sectionReader.Dword();
        sectionReader.Skip(16);
        table.push_back({rva, std::max(virtualSize, rawSize), rawOffset});
    }
    if (!sectionReader.Ok()) return false;
    auto toOffset = [&](uint32_t rva) -> size_t {
        for (const Section& s : table) {
            if (rva >= s.rva && rva < s.rva + s.size) return rva - s.rva + s.offset;
        }
        return bytes.size();
    };
    names.clear();
    if (importRva == 0) return true;
    for (size_t descriptor = toOffset(importRva);; descriptor += 20) {
        Reader entry(bytes);
        entry.Skip(descriptor + 12);
        const uint32_t nameRva = entry.Dword();
        if (!entry.Ok()) return false;
        if (nameRva == 0) break;
        const size_t nameOffset = toOffset(nameRva);
        if (nameOffset >= bytes.size()) return false;
        std::string name;
        for (size_t i = nameOffset; i < bytes.size() && bytes[i] != 0; ++i) {
            name += static_cast<char>(std::tolower(bytes[i]));
        }
        names.push_back(name);
    }
    return true;
}

TEST(Win32ResourcesTest, ExecutableImportsOnlySystemLibraries) {
    std::vector<std::string> names;
    uint32_t entryPoint = 0;
    ASSERT_TRUE(ImportedDlls(ExePath(), names, entryPoint));
    EXPECT_NE(entryPoint, 0u);
    const std::set<std::string> system = {
        "kernel32.dll", "user32.dll", "advapi32.dll", "comctl32.dll", "gdi32.dll",  "shell32.dll",
        "wininet.dll",  "msvcrt.dll", "ole32.dll",    "version.dll",  "shlwapi.dll"};
    EXPECT_FALSE(names.empty());
    for (const std::string& name : names) {
        EXPECT_EQ(system.count(name), 1u) << "imports " << name;
    }
}

TEST(Win32ResourcesTest, ResourceLibraryHasNoEntryAndNoImports) {
    std::vector<std::string> names = {"unread"};
    uint32_t entryPoint = 1;
    ASSERT_TRUE(ImportedDlls(LibraryPath(), names, entryPoint));
    EXPECT_EQ(entryPoint, 0u);
    EXPECT_TRUE(names.empty());
    // Loaded as an image of resources, as the program does, its strings are there.
    const HMODULE library = LoadLibraryExA(
        LibraryPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(library, nullptr);
    char caption[256] = {};
    EXPECT_GT(LoadStringA(library, IDS_CAPTION, caption, sizeof caption), 0);
    FreeLibrary(library);
}

}  // namespace
}  // namespace mivetrak
