// How the replacement hid.dll empties a handle's report ring: it writes the
// flush request on the device pipe; the simulator drops every report held for
// that pipe instance and delivers the marker, and the DLL reads (and throws
// away) everything up to the marker. What follows it is sent after the flush.
// Output and input reports start with report id 0, so neither text can be
// taken for a report.
// Portable: used by the simulator, the replacement hid.dll and native tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vdrawer {

inline constexpr std::string_view kFlushRequest = "quillvane-virtual-drawer-flush";
inline constexpr std::string_view kFlushMarker = "quillvane-virtual-drawer-flushed";

inline bool IsFlushRequest(const std::vector<std::uint8_t>& message) {
  return std::string_view(reinterpret_cast<const char*>(message.data()), message.size()) ==
         kFlushRequest;
}

inline std::vector<std::uint8_t> FlushMarkerReport() {
  return std::vector<std::uint8_t>(kFlushMarker.begin(), kFlushMarker.end());
}

// Finds the marker in what the client reads after its request. The client
// may read the pipe in byte mode, so a report and the marker can come in
// pieces of any size; only the last marker-length bytes are kept.
class FlushMarkerScanner {
 public:
  // True once the bytes fed so far end with the marker.
  bool Feed(std::string_view bytes) {
    mTail.append(bytes);
    if (mTail.size() > kFlushMarker.size()) mTail.erase(0, mTail.size() - kFlushMarker.size());
    return mTail == kFlushMarker;
  }

 private:
  std::string mTail;
};

}  // namespace vdrawer
