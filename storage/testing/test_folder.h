#ifndef ZARN_STORAGE_TESTING_TEST_FOLDER_H_
#define ZARN_STORAGE_TESTING_TEST_FOLDER_H_

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

namespace zarn {

// A fresh folder below the system temporary folder for one test, removed with everything
// in it on destruction. Test support only.
class TestFolder {
 public:
  TestFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zarn-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TestFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // Writes `content` to the file `name` below the folder.
  void WriteFile(const std::string& name, const std::string& content) const {
    std::ofstream(*this / name, std::ios::binary) << content;
  }

  // The content of the file `name` below the folder.
  std::string ReadFile(const std::string& name) const {
    std::ifstream in(*this / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string path_;
};

// Sets the environment variable `name` to `value`, or unsets it for nullopt, while it
// lives; the previous value comes back on destruction. Test support only.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    Set(value);
  }
  ~ScopedVariable() { Set(old_); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  void Set(const std::optional<std::string>& value) {
    if (value) {
      setenv(name_, value->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

  const char* name_;
  std::optional<std::string> old_;
};

// Points TMPDIR, and with it the system temporary folder, at `path` while it lives; the
// previous value comes back on destruction. Test support only.
class ScopedTmpdir : public ScopedVariable {
 public:
  explicit ScopedTmpdir(const std::string& path) : ScopedVariable("TMPDIR", path) {}
};

// Sets the process's umask while it lives; the previous one comes back on destruction. The
// umask belongs to the whole process, so only a test that runs alone in its process may use
// it. Test support only.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : old_(umask(mask)) {}
  ~ScopedUmask() { umask(old_); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t old_;
};

}  // namespace zarn

#endif  // ZARN_STORAGE_TESTING_TEST_FOLDER_H_
