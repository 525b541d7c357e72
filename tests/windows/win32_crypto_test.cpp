// The system's cryptography on real CNG under Wine: SHA-256 of known texts, the statement that the
// maker's tool signed at test time about a file (signed_file_fixture.py), and where bcrypt.dll is
// loaded from.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "engine/release_statement.h"
#include "net/index_file.h"
#include "platform/win32/crypto_win32.h"
#include "platform/win32/library_loading.h"
#include "platform/win32/win32_handles.h"
#include "support/test_time.h"
#include "windows/windows_test_support.h"

namespace mivetrak {
namespace {

constexpr size_t k64K = 65536;

TEST(Win32CryptoTest, HashesKnownTextsFedInChunks) {
    const struct {
        std::string text;
        size_t chunk;
        const char* sha256;
    } cases[] = {
        {"abc", k64K, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 1,
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), k64K,
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    const auto crypto = CreateWin32Crypto();
    for (const auto& c : cases) {
        std::unique_ptr<Sha256Hash> hash;
        ASSERT_TRUE(crypto->StartSha256(hash).Ok());
        for (size_t offset = 0; offset < c.text.size(); offset += c.chunk) {
            const size_t size = std::min(c.chunk, c.text.size() - offset);
            ASSERT_TRUE(
                hash->Update(reinterpret_cast<const uint8_t*>(c.text.data()) + offset, size).Ok());
        }
        Sha256Digest digest{};
        ASSERT_TRUE(hash->Finish(digest).Ok());
        std::string hex;
        for (uint8_t byte : digest) {
            hex += "0123456789abcdef"[byte >> 4];
            hex += "0123456789abcdef"[byte & 15];
        }
        EXPECT_EQ(hex, c.sha256) << c.text.size() << " bytes";
    }
}

// The statement that the maker's tool wrote into the index for the file (the fixture's
// index section), as the program reads it.
IndexStatement StatementOfTheIndex() {
    std::string index;
    EXPECT_TRUE(test::ReadWholeFile(test::EnvironmentValue("MIVETRAK_SIGNED_INDEX"), index));
    IndexStatement values;
    for (const auto& [key, value] : {std::pair{"Length", &values.length},
                                     {"Released", &values.released},
                                     {"SHA256", &values.sha256},
                                     {"Expires", &values.expires},
                                     {"Signature", &values.signature}}) {
        *value = ReadIndexValue(index, "ZAVFile", key);
    }
    return values;
}

TEST(Win32CryptoTest, TheToolsStatementVerifiesUntilAValueChanges) {
    const auto crypto = CreateWin32Crypto();
    const P256PublicKey key = *ParsePublicKey(test::EnvironmentValue("MIVETRAK_SIGNED_FILE_KEY"));
    const SystemTime now = MakeTime(2026, 12, 1, 0, 0, 0);
    IndexStatement values = StatementOfTheIndex();
    const StatementCheck good = CheckStatement(*crypto, key, values, now);
    EXPECT_EQ(good.verdict, StatementVerdict::Good)
        << good.detail.operation << " " << std::hex << good.detail.code;

    // The file's own SHA-256 on CNG, read in 64 KiB chunks, is the statement's.
    std::string bytes;
    ASSERT_TRUE(test::ReadWholeFile(test::EnvironmentValue("MIVETRAK_SIGNED_FILE"), bytes));
    ASSERT_GT(bytes.size(), 4 * k64K);
    EXPECT_EQ(std::to_string(bytes.size()), values.length);
    std::unique_ptr<Sha256Hash> hash;
    ASSERT_TRUE(crypto->StartSha256(hash).Ok());
    for (size_t offset = 0; offset < bytes.size(); offset += k64K) {
        const size_t size = std::min(k64K, bytes.size() - offset);
        ASSERT_TRUE(
            hash->Update(reinterpret_cast<const uint8_t*>(bytes.data()) + offset, size).Ok());
    }
    Sha256Digest digest{};
    ASSERT_TRUE(hash->Finish(digest).Ok());
    EXPECT_EQ(DigestText(digest), values.sha256);

    values.length = std::to_string(bytes.size() + 1);
    const StatementCheck changed = CheckStatement(*crypto, key, values, now);
    EXPECT_EQ(changed.verdict, StatementVerdict::DoesNotVerify);
    EXPECT_EQ(changed.detail.code, 0xC000A000u);  // STATUS_INVALID_SIGNATURE
}

// A library planted in the current folder, where the ordinary search finds it, is never loaded;
// bcrypt.dll is the system folder's.
TEST(Win32CryptoTest, LoadsOnlyFromTheSystemFolder) {
    char systemFolder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(systemFolder, MAX_PATH);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, static_cast<UINT>(MAX_PATH));
    const std::string systemBcrypt = std::string(systemFolder, length) + "\\bcrypt.dll";
    ASSERT_TRUE(SetCurrentDirectoryA(test::NewScratchFolder("planted").c_str()));
    ASSERT_TRUE(CopyFileA(systemBcrypt.c_str(), "planted.dll", FALSE));
    {
        const LoadedLibrary planted(LoadLibraryA("planted.dll"));
        ASSERT_NE(planted.Get(), nullptr) << "the ordinary search should find the planted copy";
    }
    {
        const LoadedLibrary planted(LoadSystemLibrary("planted.dll"));
        const DWORD error = GetLastError();
        EXPECT_EQ(planted.Get(), nullptr);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    }
    const LoadedLibrary bcrypt(LoadSystemLibrary("bcrypt.dll"));
    ASSERT_NE(bcrypt.Get(), nullptr) << GetLastError();
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(bcrypt.Get(), path, MAX_PATH), 0u);
    EXPECT_EQ(lstrcmpiA(path, systemBcrypt.c_str()), 0) << path;
}

}  // namespace
}  // namespace mivetrak
