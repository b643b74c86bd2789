// A small in-memory file system for the simulated platform: folders and
// files by absolute path ("C:\ProgramData\..."), backslash-separated, names
// compared without case for ASCII letters as Windows does. Enough for the
// trace's log files: make folders, append to files, list and delete them.
// The machine starts with C:\ and C:\ProgramData.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

class SimFileSystem {
 public:
  SimFileSystem();

  // Test side.
  void CreateFolder(const std::u16string& path);  // with its parents
  // Makes (or replaces) a file; its folder must exist.
  void PutFile(const std::u16string& path, const std::string& contents);
  void Remove(const std::u16string& path);  // a file, or a folder with all inside
  bool IsFolder(const std::u16string& path) const;
  bool IsFile(const std::u16string& path) const;
  std::string Contents(const std::u16string& path) const;  // empty when absent
  std::uint64_t Size(const std::u16string& path) const;    // 0 when absent
  // The names of what a folder holds, files and folders, in name order.
  std::vector<std::u16string> Names(const std::u16string& folder) const;
  // Off: files keep their size but not what was written (for long benchmarks).
  void SetKeepContents(bool keep) { mKeepContents = keep; }

  // Platform side: Win32 error codes, 0 on success.
  std::uint32_t MakeFolder(const std::u16string& path);
  std::uint32_t OpenForAppend(const std::u16string& path, bool create);
  std::uint32_t Append(const std::u16string& path, const std::uint8_t* data, std::uint32_t size);
  std::uint32_t DeleteFile(const std::u16string& path);
  // Names in `pattern`'s folder that match its last part (* and ?).
  std::uint32_t Find(const std::u16string& pattern, std::vector<std::u16string>* names,
                     std::vector<bool>* folders) const;

 private:
  struct Entry {
    std::u16string name;  // as given when made
    bool folder = false;
    std::string contents;
    std::uint64_t size = 0;
  };
  static std::u16string Key(const std::u16string& path);
  static std::u16string ParentKey(const std::u16string& key);
  const Entry* Lookup(const std::u16string& path) const;

  std::map<std::u16string, Entry> mEntries;  // by Key()
  bool mKeepContents = true;
};

}  // namespace sim
