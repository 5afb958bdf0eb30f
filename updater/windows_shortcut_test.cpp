#include "updater/windows_shortcut.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "storage/posix_shared_file_factory.h"
#include "storage/testing/test_folder.h"

namespace zarn {
namespace {

std::string Utf16Le(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

TEST(WindowsShortcutTest, WritesUtf16WithAByteOrderMark) {
  EXPECT_EQ(InternetShortcutBytes("/opt/u"),
            std::string("\xFF\xFE[\0I\0n\0t\0e\0r\0n\0e\0t\0S\0h\0o\0r\0t\0c\0u\0t\0]\0\r\0\n\0"
                        "U\0R\0L\0=\0/\0o\0p\0t\0/\0u\0\r\0\n\0"
                        "I\0c\0o\0n\0F\0i\0l\0e\0=\0/\0o\0p\0t\0/\0u\0\r\0\n\0"
                        "I\0c\0o\0n\0I\0n\0d\0e\0x\0=\0"
                        "0\0\r\0\n\0",
                        2 + 2 * 62));
  // U+00E5 is one unit, U+1F3AE a surrogate pair.
  EXPECT_EQ(InternetShortcutBytes("/sp\xc3\xa5l/\xf0\x9f\x8e\xae"),
            Utf16Le(u"[InternetShortcut]\r\nURL=/sp\u00e5l/\U0001F3AE\r\n"
                    u"IconFile=/sp\u00e5l/\U0001F3AE\r\nIconIndex=0\r\n"));
}

TEST(WindowsShortcutTest, CreateWritesReplacesAndKeepsWhatCannotBeRemoved) {
  TestFolder folder;
  PosixSharedFileFactory factory;
  const std::string shortcuts = folder / "a/shortcuts";
  WindowsShortcut shortcut("pkg", shortcuts, &factory);
  ASSERT_TRUE(shortcut.Create("/first"));  // creates the folder too
  ASSERT_TRUE(shortcut.Create("/opt/u"));
  EXPECT_EQ(folder.ReadFile("a/shortcuts/pkg.url"), InternetShortcutBytes("/opt/u"));

  // A non-empty folder in the file's place cannot be removed: false, and it stays.
  WindowsShortcut blocked("dir", shortcuts, &factory);
  std::filesystem::create_directories(shortcuts + "/dir.url/inside");
  EXPECT_FALSE(blocked.Create("/opt/u"));
  EXPECT_TRUE(std::filesystem::is_directory(shortcuts + "/dir.url/inside"));
}

// An existing shortcuts folder is checked as closely as a new one: a folder others may
// write into, or a link, gets no file.
TEST(WindowsShortcutTest, CreateRefusesAFolderOthersControl) {
  TestFolder folder;
  TestFolder elsewhere;
  PosixSharedFileFactory factory;
  std::filesystem::create_directories(folder / "open/shortcuts");
  std::filesystem::permissions(folder / "open/shortcuts", std::filesystem::perms::all);
  std::filesystem::create_directory(folder / "linked");
  std::filesystem::create_directory_symlink(elsewhere.path(), folder / "linked/shortcuts");
  for (const std::string& shortcuts : {folder / "open/shortcuts", folder / "linked/shortcuts"}) {
    WindowsShortcut shortcut("pkg", shortcuts, &factory);
    EXPECT_FALSE(shortcut.Create("/opt/u")) << shortcuts;
    EXPECT_TRUE(std::filesystem::is_empty(shortcuts)) << shortcuts;
  }
}

TEST(WindowsShortcutTest, SaveAsAndRemove) {
  TestFolder folder;
  PosixSharedFileFactory factory;
  WindowsShortcut shortcut("pkg", folder.path(), &factory);
  ASSERT_TRUE(shortcut.Create("/opt/u"));
  EXPECT_TRUE(shortcut.SaveAs(folder.path(), "copy"));
  EXPECT_EQ(folder.ReadFile("copy.url"), InternetShortcutBytes("/opt/u"));

  folder.WriteFile("other.url", "old");
  EXPECT_FALSE(shortcut.SaveAs(folder.path(), "other"));
  EXPECT_EQ(folder.ReadFile("other.url"), "old");
  EXPECT_EQ(folder.ReadFile("pkg.url"), InternetShortcutBytes("/opt/u"));

  EXPECT_TRUE(shortcut.Remove(folder.path(), "copy"));
  EXPECT_FALSE(std::filesystem::exists(folder / "copy.url"));
  EXPECT_FALSE(shortcut.Remove(folder.path(), "copy"));
  EXPECT_TRUE(std::filesystem::exists(folder / "pkg.url"));
}

}  // namespace
}  // namespace zarn
