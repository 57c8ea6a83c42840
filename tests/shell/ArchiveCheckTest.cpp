#include "ArchiveCheck.h"
#include "TempWorkDir.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <sys/stat.h>

#include <cstdint>
#include <vector>

using namespace zel;
using namespace zel::test;

namespace {
struct Entry {
    std::string name;
    std::string data; // for a link: where it leads
    mode_t mode = S_IFREG | 0644;
    zip_uint8_t system = ZIP_OPSYS_UNIX;
    bool encrypted = false;
};

// Writes an archive as a packer would, external attributes included.
void MakeArchive(const std::string& path, const std::vector<Entry>& entries) {
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    ASSERT_NE(archive, nullptr);
    for (const Entry& e : entries) {
        zip_source_t* source = zip_source_buffer(archive, e.data.data(), e.data.size(), 0);
        zip_int64_t index = zip_file_add(archive, e.name.c_str(), source, ZIP_FL_ENC_RAW);
        ASSERT_GE(index, 0) << e.name << ": " << zip_strerror(archive);
        const zip_uint32_t attributes =
            e.system == ZIP_OPSYS_UNIX ? static_cast<zip_uint32_t>(e.mode) << 16 : 0x20;
        zip_file_set_external_attributes(archive, index, 0, e.system, attributes);
        if (e.encrypted)
            zip_file_set_encryption(archive, index, ZIP_EM_AES_256, "secret");
    }
    ASSERT_EQ(zip_close(archive), 0);
}

// Replaces every occurrence of `from` in the file by `to`, of the same length:
// for what a packer would not write.
void Patch(const std::string& path, const std::string& from, const std::string& to) {
    std::string bytes = ReadFile(path);
    for (std::size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at))
        bytes.replace(at, from.size(), to);
    WriteFile(path, bytes);
}

std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

const Entry Page{"page.htm", "<html>page</html>"};

// The refusal for an archive of the page and `entry`, or "" when accepted.
std::string RefusalWith(const Entry& entry) {
    TempWorkDir dir;
    MakeArchive("page.zip", {Page, entry});
    return CheckPageArchive("page.zip").value_or("");
}
} // namespace

TEST(CheckPageArchive, AcceptsThePagesOwnFilesAndFolders) {
    TempWorkDir dir;
    MakeArchive("page.zip", {Page,
                             {"page.files/", "", S_IFDIR | 0755},
                             {"page.files/a.gif", "GIF89a"},
                             {"page.files/.hidden", "h"},
                             {"page.files/sub/", "", S_IFDIR | 0755},
                             {"page.files/sub/b.css", "b{}"},
                             {"page.files/caf\xc3\xa9 1.png", "png", S_IFREG | 0600}});
    EXPECT_EQ(CheckPageArchive("page.zip"), std::nullopt);

    // Made on a system that keeps no file types, and a folder without its slash.
    MakeArchive("page.zip", {{"page.htm", "p", 0, ZIP_OPSYS_DOS},
                             {"page.files/x.gif", "x", 0, ZIP_OPSYS_DOS},
                             {"page.files", "", S_IFDIR | 0755}});
    EXPECT_EQ(CheckPageArchive("page.zip"), std::nullopt);
}

TEST(CheckPageArchive, RefusesLinksAndSpecialFiles) {
    TempWorkDir dir;
    MakeArchive("page.zip", {{"page.htm", "/home/user/.bashrc", S_IFLNK | 0777}});
    EXPECT_EQ(CheckPageArchive("page.zip"),
              "The page archive cannot be shown: it holds a symbolic link: page.htm");

    EXPECT_EQ(RefusalWith({"page.files/up", "../..", S_IFLNK | 0777}),
              "The page archive cannot be shown: it holds a symbolic link: page.files/up");
    EXPECT_EQ(RefusalWith({"page.files/pipe", "", S_IFIFO | 0644}),
              "The page archive cannot be shown: it holds a special file: page.files/pipe");
}

TEST(CheckPageArchive, RefusesNamesThatLeaveThePage) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/tmp/x.htm", "an absolute file name: /tmp/x.htm"},
        {"../x.htm", "a name that leads out of its folder: ../x.htm"},
        {"page.files/../../x", "a name that leads out of its folder: page.files/../../x"},
        {"page.files\\..\\..\\x", "a name with a backslash: page.files\\..\\..\\x"},
        {"page.files/a\nb", "a name with a control character: page.files/a?b"},
        {"page.files/a\x7f", "a name with a control character: page.files/a?"},
        {"nastr.dat", "a file outside page.htm and page.files: nastr.dat"},
        {"page.files", "a file outside page.htm and page.files: page.files"},
        {"PAGE.HTM", "a file outside page.htm and page.files: PAGE.HTM"},
        {"./page.htm", "a file outside page.htm and page.files: ./page.htm"},
        {"page.filesX/y", "a file outside page.htm and page.files: page.filesX/y"},
        {"page.files/./a", "a file outside page.htm and page.files: page.files/./a"},
        {"page.files//a", "a file outside page.htm and page.files: page.files//a"},
        {"zelhistory/1.htm", "a file outside page.htm and page.files: zelhistory/1.htm"},
    };
    for (const auto& [name, reason] : cases)
        EXPECT_EQ(RefusalWith({name, "x"}), "The page archive cannot be shown: it holds " + reason);

    // A folder may not take the document's name.
    EXPECT_EQ(RefusalWith({"page.htm/", "", S_IFDIR | 0755}),
              "The page archive cannot be shown: it holds a file outside page.htm and "
              "page.files: page.htm/");
    const std::string longName = "page.files/" + std::string(300, 'a') + "/../x";
    EXPECT_EQ(RefusalWith({longName, "x"}).size(),
              std::string("The page archive cannot be shown: it holds a name that leads out of "
                          "its folder: ")
                      .size() +
                  120 + 3);
}

TEST(CheckPageArchive, JudgesTheNamesTheUnpackingToolUses) {
    TempWorkDir dir;
    // A Unicode path field (id 0x7075) stands in for the stored name when its
    // CRC matches that name; written under another id and patched.
    const std::string stored = "page.files/a.gif";
    const std::uint32_t crc = Crc32(stored);
    std::string field(1, '\x01');
    for (int shift = 0; shift < 32; shift += 8)
        field += static_cast<char>((crc >> shift) & 0xFF);
    field += "../evil";
    {
        int code = 0;
        zip_t* archive = zip_open("page.zip", ZIP_CREATE | ZIP_TRUNCATE, &code);
        zip_source_t* source = zip_source_buffer(archive, "x", 1, 0);
        zip_int64_t index = zip_file_add(archive, stored.c_str(), source, ZIP_FL_ENC_RAW);
        zip_file_extra_field_set(archive, index, 0x7076, ZIP_EXTRA_FIELD_NEW,
                                 reinterpret_cast<const zip_uint8_t*>(field.data()),
                                 static_cast<zip_uint16_t>(field.size()),
                                 ZIP_FL_CENTRAL | ZIP_FL_LOCAL);
        ASSERT_EQ(zip_close(archive), 0);
    }
    EXPECT_EQ(CheckPageArchive("page.zip"), std::nullopt) << "the field is not yet in force";
    Patch("page.zip", "\x76\x70", "\x75\x70");
    EXPECT_EQ(CheckPageArchive("page.zip"),
              "The page archive cannot be shown: it holds a name that leads out of its folder: "
              "../evil");

    // A NUL byte inside a stored name.
    MakeArchive("page.zip", {Page, {"page.files/aQ/../../x", "x"}});
    Patch("page.zip", "aQ", std::string("a\0", 2));
    const std::optional<std::string> refusal = CheckPageArchive("page.zip");
    ASSERT_TRUE(refusal);
    EXPECT_NE(refusal->find("leads out of its folder"), std::string::npos) << *refusal;
}

TEST(CheckPageArchive, RefusesEncryptedDamagedAndMissingArchives) {
    TempWorkDir dir;
    MakeArchive("page.zip",
                {Page, {"page.files/a.gif", "GIF89a", S_IFREG | 0644, ZIP_OPSYS_UNIX, true}});
    EXPECT_EQ(CheckPageArchive("page.zip"),
              "The page archive cannot be shown: it holds an encrypted file: page.files/a.gif");

    MakeArchive("page.zip", {Page, {"page.files/a.gif", std::string(5000, 'g')}});
    const std::string whole = ReadFile("page.zip");
    const std::string start = "The page archive cannot be shown: it cannot be read (";
    for (const std::string& damaged :
         {whole.substr(0, whole.size() / 2), whole.substr(0, whole.size() - 10),
          std::string("not an archive at all, just some text")}) {
        WriteFile("page.zip", damaged);
        EXPECT_EQ(CheckPageArchive("page.zip").value_or("").rfind(start, 0), 0u);
    }
    EXPECT_EQ(CheckPageArchive("missing.zip").value_or("").rfind(start, 0), 0u);
}
