#include "sim/SimFileSystem.h"

namespace sim {
namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorAlreadyExists = 183;

char16_t Fold(char16_t unit) {
  return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

// Wildcards of a file name: * any run, ? any one unit.
bool Matches(const std::u16string& pattern, std::size_t p, const std::u16string& name,
             std::size_t n) {
  while (p < pattern.size()) {
    if (pattern[p] == u'*') {
      for (std::size_t rest = n; rest <= name.size(); ++rest) {
        if (Matches(pattern, p + 1, name, rest)) return true;
      }
      return false;
    }
    if (n == name.size()) return false;
    if (pattern[p] != u'?' && Fold(pattern[p]) != Fold(name[n])) return false;
    ++p;
    ++n;
  }
  return n == name.size();
}

}  // namespace

SimFileSystem::SimFileSystem() { CreateFolder(u"C:\\ProgramData"); }

std::u16string SimFileSystem::Key(const std::u16string& path) {
  std::u16string key = path;
  while (!key.empty() && key.back() == u'\\') key.pop_back();
  for (char16_t& unit : key) unit = Fold(unit);
  return key;
}

std::u16string SimFileSystem::ParentKey(const std::u16string& key) {
  const std::size_t slash = key.rfind(u'\\');
  return slash == std::u16string::npos ? std::u16string() : key.substr(0, slash);
}

const SimFileSystem::Entry* SimFileSystem::Lookup(const std::u16string& path) const {
  auto found = mEntries.find(Key(path));
  return found == mEntries.end() ? nullptr : &found->second;
}

void SimFileSystem::CreateFolder(const std::u16string& path) {
  const std::u16string key = Key(path);
  if (key.empty() || mEntries.count(key)) return;
  CreateFolder(path.substr(0, path.rfind(u'\\') == std::u16string::npos ? 0 : path.rfind(u'\\')));
  Entry& entry = mEntries[key];
  entry.name = path.substr(path.rfind(u'\\') + 1);
  entry.folder = true;
}

void SimFileSystem::PutFile(const std::u16string& path, const std::string& contents) {
  const std::u16string key = Key(path);
  Entry& entry = mEntries[key];
  entry.name = path.substr(path.rfind(u'\\') + 1);
  entry.folder = false;
  entry.contents = contents;
  entry.size = contents.size();
}

void SimFileSystem::Remove(const std::u16string& path) {
  const std::u16string key = Key(path);
  for (auto it = mEntries.begin(); it != mEntries.end();) {
    const bool inside = it->first.size() > key.size() &&
                        it->first.compare(0, key.size(), key) == 0 &&
                        it->first[key.size()] == u'\\';
    it = (it->first == key || inside) ? mEntries.erase(it) : std::next(it);
  }
}

bool SimFileSystem::IsFolder(const std::u16string& path) const {
  const Entry* entry = Lookup(path);
  return entry && entry->folder;
}

bool SimFileSystem::IsFile(const std::u16string& path) const {
  const Entry* entry = Lookup(path);
  return entry && !entry->folder;
}

std::string SimFileSystem::Contents(const std::u16string& path) const {
  const Entry* entry = Lookup(path);
  return entry && !entry->folder ? entry->contents : std::string();
}

std::uint64_t SimFileSystem::Size(const std::u16string& path) const {
  const Entry* entry = Lookup(path);
  return entry && !entry->folder ? entry->size : 0;
}

std::vector<std::u16string> SimFileSystem::Names(const std::u16string& folder) const {
  std::vector<std::u16string> names;
  const std::u16string key = Key(folder);
  for (const auto& [entryKey, entry] : mEntries) {
    if (ParentKey(entryKey) == key) names.push_back(entry.name);
  }
  return names;
}

std::uint32_t SimFileSystem::MakeFolder(const std::u16string& path) {
  const std::u16string key = Key(path);
  if (mEntries.count(key)) return kErrorAlreadyExists;
  if (!IsFolder(ParentKey(key))) return kErrorPathNotFound;
  CreateFolder(path);
  return 0;
}

std::uint32_t SimFileSystem::OpenForAppend(const std::u16string& path, bool create) {
  const std::u16string key = Key(path);
  auto found = mEntries.find(key);
  if (found != mEntries.end()) return found->second.folder ? kErrorAccessDenied : 0;
  if (!IsFolder(ParentKey(key))) return kErrorPathNotFound;
  if (!create) return kErrorFileNotFound;
  PutFile(path, std::string());
  return 0;
}

std::uint32_t SimFileSystem::Append(const std::u16string& path, const std::uint8_t* data,
                                    std::uint32_t size) {
  auto found = mEntries.find(Key(path));
  // Deleted while open (the share mode allows it): the writes go nowhere.
  if (found == mEntries.end()) return 0;
  if (mKeepContents) found->second.contents.append(reinterpret_cast<const char*>(data), size);
  found->second.size += size;
  return 0;
}

std::uint32_t SimFileSystem::DeleteFile(const std::u16string& path) {
  auto found = mEntries.find(Key(path));
  if (found == mEntries.end()) return kErrorFileNotFound;
  if (found->second.folder) return kErrorAccessDenied;
  mEntries.erase(found);
  return 0;
}

std::uint32_t SimFileSystem::Find(const std::u16string& pattern, std::vector<std::u16string>* names,
                                  std::vector<bool>* folders) const {
  const std::size_t slash = pattern.rfind(u'\\');
  if (slash == std::u16string::npos) return kErrorPathNotFound;
  const std::u16string folder = Key(pattern.substr(0, slash));
  const std::u16string wildcard = pattern.substr(slash + 1);
  if (!IsFolder(folder)) return kErrorPathNotFound;
  for (const auto& [key, entry] : mEntries) {
    if (ParentKey(key) == folder && Matches(wildcard, 0, entry.name, 0)) {
      names->push_back(entry.name);
      folders->push_back(entry.folder);
    }
  }
  return names->empty() ? kErrorFileNotFound : 0;
}

}  // namespace sim
