// The simulated registry under HKEY_LOCAL_MACHINE: a tree of keys with raw
// typed values. Names compare case-insensitively, as Windows does.
#include "sim/SimPlatform.h"
#include "sim/SimPlatformState.h"

namespace sim {
namespace {

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(LowerAscii(part));
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(LowerAscii(part));
  return parts;
}

}  // namespace

std::string NormalizeKeyPath(const std::string& path) {
  std::string joined;
  for (const std::string& part : Components(path)) {
    if (!joined.empty()) joined += '\\';
    joined += part;
  }
  return joined;
}

const SimRegistry::Key* SimRegistry::FindKey(const std::string& path) const {
  const Key* key = &mRoot;
  for (const std::string& part : Components(path)) {
    auto it = key->subkeys.find(part);
    if (it == key->subkeys.end()) return nullptr;
    key = it->second.get();
  }
  return key;
}

SimRegistry::Key* SimRegistry::FindOrCreate(const std::string& path) {
  Key* key = &mRoot;
  for (const std::string& part : Components(path)) {
    std::unique_ptr<Key>& child = key->subkeys[part];
    if (!child) child = std::make_unique<Key>();
    key = child.get();
  }
  return key;
}

void SimRegistry::CreateKey(const std::string& path) { FindOrCreate(path); }

void SimRegistry::DeleteKey(const std::string& path) {
  std::vector<std::string> parts = Components(path);
  if (parts.empty()) {
    mRoot = Key{};
    return;
  }
  std::string leaf = parts.back();
  parts.pop_back();
  Key* parent = &mRoot;
  for (const std::string& part : parts) {
    auto it = parent->subkeys.find(part);
    if (it == parent->subkeys.end()) return;
    parent = it->second.get();
  }
  parent->subkeys.erase(leaf);
}

void SimRegistry::SetValue(const std::string& path, const std::string& name, std::uint32_t type,
                           const std::vector<std::uint8_t>& data) {
  FindOrCreate(path)->values[LowerAscii(name)] = Value{type, data};
}

void SimRegistry::SetString(const std::string& path, const std::string& name,
                            const std::string& text, bool withNul) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  if (withNul) data.push_back(0);
  SetValue(path, name, quillvane::kRegSz, data);
}

void SimRegistry::SetDword(const std::string& path, const std::string& name, std::uint32_t value) {
  std::vector<std::uint8_t> data(4);
  for (std::size_t i = 0; i < 4; ++i) data[i] = static_cast<std::uint8_t>(value >> (8 * i));
  SetValue(path, name, quillvane::kRegDword, data);
}

void SimRegistry::DeleteValue(const std::string& path, const std::string& name) {
  // FindOrCreate only walks here: the key exists.
  if (KeyExists(path)) FindOrCreate(path)->values.erase(LowerAscii(name));
}

bool SimRegistry::KeyExists(const std::string& path) const { return FindKey(path) != nullptr; }

}  // namespace sim
